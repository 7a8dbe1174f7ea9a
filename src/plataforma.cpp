#include "plataforma.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace {

// As mensagens saem em UTF-8: o console do Windows passa a interpretá-las
// assim enquanto o programa roda e volta à página de código anterior no fim.
struct Console_utf8 {
    UINT anterior = GetConsoleOutputCP(); // 0 quando não há console
    Console_utf8()
    {
        if (anterior != 0) SetConsoleOutputCP(CP_UTF8);
    }
    ~Console_utf8()
    {
        if (anterior != 0) SetConsoleOutputCP(anterior);
    }
} console_utf8;

} // namespace
#else
#include <unistd.h>
#endif

int executar_comando(const std::string& linha)
{
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    return std::system(linha.c_str());
}

double relogio()
{
    using Relogio = std::chrono::steady_clock;
    static const Relogio::time_point inicio = Relogio::now();
    const std::chrono::duration<double> decorrido = Relogio::now() - inicio;
    return decorrido.count();
}

namespace {

#ifdef _WIN32
constexpr bool windows = true;
#else
constexpr bool windows = false;
#endif

bool caractere_seguro(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    if (c == '.' || c == '_' || c == '-' || c == '/') return true;
    return windows && (c == '\\' || c == ':');
}

} // namespace

std::string citar_argumento(const std::string& nome)
{
    bool seguro = !nome.empty();
    for (const char c : nome) seguro = seguro && caractere_seguro(c);
    if (seguro) return nome;
    if (windows) return "\"" + nome + "\"";
    std::string citado = "'";
    for (const char c : nome) {
        if (c == '\'') citado += "'\\''";
        else citado += c;
    }
    return citado + "'";
}

unsigned long long memoria_fisica()
{
#ifdef _WIN32
    MEMORYSTATUSEX situacao{};
    situacao.dwLength = sizeof situacao;
    return GlobalMemoryStatusEx(&situacao) ? situacao.ullTotalPhys : 0;
#else
    const long paginas = sysconf(_SC_PHYS_PAGES);
    const long tamanho = sysconf(_SC_PAGE_SIZE);
    if (paginas <= 0 || tamanho <= 0) return 0;
    return static_cast<unsigned long long>(paginas) * static_cast<unsigned long long>(tamanho);
#endif
}

#include <thread>
#if !defined(_WIN32) && defined(__linux__)
#include <sched.h>
#endif

int cpus_disponiveis()
{
    int n = 0;
#ifdef _WIN32
    DWORD_PTR processo = 0, sistema = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &processo, &sistema)) {
        for (; processo != 0; processo &= processo - 1) ++n;
    }
#elif defined(__linux__)
    cpu_set_t mascara;
    CPU_ZERO(&mascara);
    if (sched_getaffinity(0, sizeof mascara, &mascara) == 0) n = CPU_COUNT(&mascara);
#endif
    if (n <= 0) n = static_cast<int>(std::thread::hardware_concurrency());
    return n > 0 ? n : 1;
}
