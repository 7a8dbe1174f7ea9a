#include "plataforma/cpus.hpp"

#include "cpus_internos.hpp"
#include "windows.hpp"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>

#if defined(__linux__)
#include <sched.h>
#endif
#if !defined(_WIN32)
#include <pthread.h>
#endif

namespace {

#if !defined(_WIN32)
// O /proc é do Linux; noutro POSIX (macOS, os BSDs) os arquivos não existem e
// a carga fica invisível.
const std::filesystem::path raiz_do_proc = "/proc";

// "0.16 1.20 1.66 3/234 12345": prontas/total no quarto campo; -1 sem ele.
// (O getloadavg dos outros sistemas é uma média de um minuto que conta as
// nossas threads: não serve no lugar desta contagem.)
int prontas_no_sistema(const std::filesystem::path& proc)
{
    std::ifstream carga(proc / "loadavg");
    std::string m1, m5, m15, tarefas;
    if (!(carga >> m1 >> m5 >> m15 >> tarefas) || tarefas.find('/') == std::string::npos) return -1;
    return std::atoi(tarefas.c_str());
}

// As threads deste processo prontas ("R" depois do nome em /proc/self/task/*/stat).
int prontas_deste_processo(const std::filesystem::path& proc)
{
    int nossas = 0;
    std::error_code erro;
    for (const auto& tarefa : std::filesystem::directory_iterator(proc / "self" / "task", erro)) {
        std::ifstream estado(tarefa.path() / "stat");
        std::string linha;
        std::getline(estado, linha);
        const std::size_t fim_do_nome = linha.rfind(')');
        if (fim_do_nome != std::string::npos && linha.compare(fim_do_nome, 3, ") R") == 0) ++nossas;
    }
    return nossas;
}
#endif

} // namespace

int cpus_internos::tarefas_prontas_de_outros([[maybe_unused]] const std::filesystem::path& proc)
{
#if !defined(_WIN32)
    // Menos as nossas: a thread do progresso, ociosa, fica pronta enquanto as
    // de cálculo ocupam as CPUs, e uma thread da equipe pode estar girando à
    // espera. A menor de duas leituras, antes e depois das nossas: uma
    // tarefa que acabou de parar (a nossa que girava, uma do núcleo do
    // sistema) não conta.
    const int antes = prontas_no_sistema(proc);
    if (antes < 0) return 0;
    const int nossas = prontas_deste_processo(proc);
    const int depois = prontas_no_sistema(proc);
    if (depois < 0) return 0;
    return std::max(0, std::min(antes, depois) - std::max(nossas, 1));
#else
    return 0;
#endif
}

bool cpus_internos::carga_do_sistema_visivel([[maybe_unused]] const std::filesystem::path& proc)
{
#if !defined(_WIN32)
    return prontas_no_sistema(proc) >= 0;
#else
    return false;
#endif
}

int cpus_internos::cpus_disponiveis([[maybe_unused]] bool com_afinidade)
{
    int n = 0;
#ifdef _WIN32
    DWORD_PTR processo = 0, sistema = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &processo, &sistema)) {
        for (; processo != 0; processo &= processo - 1) ++n;
    }
#elif defined(__linux__)
    // Sem a afinidade (outro POSIX), as CPUs do hardware.
    cpu_set_t mascara;
    CPU_ZERO(&mascara);
    if (com_afinidade && sched_getaffinity(0, sizeof mascara, &mascara) == 0) n = CPU_COUNT(&mascara);
#endif
    if (n <= 0) n = static_cast<int>(std::thread::hardware_concurrency());
    return n > 0 ? n : 1;
}

#if !defined(_WIN32)
int tarefas_prontas_de_outros() { return cpus_internos::tarefas_prontas_de_outros(raiz_do_proc); }
bool carga_do_sistema_visivel() { return cpus_internos::carga_do_sistema_visivel(raiz_do_proc); }
#else
int tarefas_prontas_de_outros() { return cpus_internos::tarefas_prontas_de_outros({}); }
bool carga_do_sistema_visivel() { return cpus_internos::carga_do_sistema_visivel({}); }
#endif
int cpus_disponiveis() { return cpus_internos::cpus_disponiveis(true); }

void thread_so_com_cpu_ociosa()
{
#ifdef _WIN32
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_IDLE);
#elif defined(__linux__)
    sched_param parametro{};
    pthread_setschedparam(pthread_self(), SCHED_IDLE, &parametro);
#endif
}
