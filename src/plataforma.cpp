#include "plataforma.hpp"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
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
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

int executar_comando(const std::string& linha)
{
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    return std::system(linha.c_str());
}

bool comando_interrompido(int status)
{
#ifdef _WIN32
    return static_cast<unsigned>(status) == 0xC000013Au || status == 128 + SIGINT;
#else
    if (status == -1) return false;
    return (WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) || (WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGINT);
#endif
}

double relogio()
{
    using Relogio = std::chrono::steady_clock;
    static const Relogio::time_point inicio = Relogio::now();
    const std::chrono::duration<double> decorrido = Relogio::now() - inicio;
    return decorrido.count();
}

namespace {

bool caractere_seguro(char c, bool cmd)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    if (c == '.' || c == '_' || c == '-' || c == '/') return true;
    return cmd && (c == '\\' || c == ':');
}

} // namespace

std::string_view caracteres_sem_citacao(Interpretador interpretador)
{
    return interpretador == Interpretador::cmd ? std::string_view("%!\"") : std::string_view();
}

std::string citar_argumento(const std::string& nome_arquivo, Interpretador interpretador)
{
    const bool cmd = interpretador == Interpretador::cmd;
    std::string nome = nome_arquivo;
    if (cmd) {
        if (nome.find_first_of(caracteres_sem_citacao(interpretador)) != std::string::npos) return "";
        std::replace(nome.begin(), nome.end(), '/', '\\');
    }
    if (!nome.empty() && (nome[0] == '-' || nome[0] == '+')) nome.insert(0, cmd ? ".\\" : "./");
    bool seguro = !nome.empty();
    for (const char c : nome) seguro = seguro && caractere_seguro(c, cmd);
    if (seguro) return nome;
    if (cmd) return "\"" + nome + "\"";
    std::string citado = "'";
    for (const char c : nome) {
        if (c == '\'') citado += "'\\''";
        else citado += c;
    }
    return citado + "'";
}

#ifdef _WIN32
namespace {

int errno_de(DWORD erro)
{
    switch (erro) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_WRITE_PROTECT: return EROFS;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    case ERROR_DIRECTORY: return ENOTDIR;
    case ERROR_INVALID_NAME: return EINVAL;
    default: return EIO;
    }
}

} // namespace

std::FILE* criar_exclusivo(const std::string& caminho)
{
    // FILE_SHARE_DELETE: a interrupção consegue apagar o temporário ainda aberto.
    const HANDLE h = CreateFileA(caminho.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        errno = errno_de(GetLastError());
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
    std::FILE* arquivo = fd == -1 ? nullptr : _fdopen(fd, "wb");
    if (arquivo == nullptr) {
        const int erro = errno;
        if (fd == -1) CloseHandle(h);
        else _close(fd);
        DeleteFileA(caminho.c_str());
        errno = erro;
    }
    return arquivo;
}

unsigned long numero_do_processo() { return GetCurrentProcessId(); }
#else
std::FILE* criar_exclusivo(const std::string& caminho)
{
    const int fd = ::open(caminho.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd == -1) return nullptr;
    std::FILE* arquivo = ::fdopen(fd, "wb");
    if (arquivo == nullptr) {
        const int erro = errno;
        ::close(fd);
        ::unlink(caminho.c_str());
        errno = erro;
    }
    return arquivo;
}

unsigned long numero_do_processo() { return static_cast<unsigned long>(::getpid()); }
#endif

// Interrupções. O tratador só usa o que é seguro num tratador de sinal: lê
// vagas de tamanho fixo, cada uma marcada como ocupada só depois de escrita e
// desmarcada antes de ser reusada, e chama unlink, write e _exit.
namespace {

// Colunas da linha de progresso na tela, lidas pelo tratador.
volatile std::sig_atomic_t colunas_de_progresso = 0;

constexpr int vagas = 8;
constexpr std::size_t tamanho_vaga = 512;
char temporarios[vagas][tamanho_vaga];
volatile std::sig_atomic_t ocupada[vagas];
const char* mensagem_interrupcao = "";
std::size_t tamanho_mensagem = 0;

void apagar_temporarios()
{
    for (int i = 0; i < vagas; ++i) {
#ifdef _WIN32
        if (ocupada[i]) DeleteFileA(temporarios[i]);
#else
        if (ocupada[i]) ::unlink(temporarios[i]);
#endif
    }
}

#ifdef _WIN32
// O tratador do console roda numa thread própria: a trava o mantém fora das
// vagas enquanto são mudadas e fora do trecho da substituição.
struct Trava {
    CRITICAL_SECTION secao;
    Trava() { InitializeCriticalSection(&secao); }
} trava;
bool tratando = false;

struct Travado {
    Travado() { EnterCriticalSection(&trava.secao); }
    ~Travado() { LeaveCriticalSection(&trava.secao); }
};

BOOL WINAPI ao_interromper(DWORD evento)
{
    const UINT status = evento == CTRL_C_EVENT ? 130 : evento == CTRL_BREAK_EVENT ? 149 : 129;
    EnterCriticalSection(&trava.secao);
    if (!tratando) {
        LeaveCriticalSection(&trava.secao);
        return FALSE;
    }
    apagar_temporarios();
    const HANDLE erro = GetStdHandle(STD_ERROR_HANDLE);
    DWORD escritos = 0;
    if (colunas_de_progresso > 0) {
        for (int n = colunas_de_progresso, i = -1; i <= n; ++i) {
            WriteFile(erro, i < 0 || i == n ? "\r" : " ", 1, &escritos, nullptr);
        }
    }
    WriteFile(erro, mensagem_interrupcao, static_cast<DWORD>(tamanho_mensagem), &escritos, nullptr);
    if (console_utf8.anterior != 0) SetConsoleOutputCP(console_utf8.anterior);
    // Sem ExitProcess: outra thread pode ter travas da biblioteca de C.
    TerminateProcess(GetCurrentProcess(), status);
    return TRUE;
}
#else
struct Travado {
    Travado() {} // sem threads no tratador de sinal: nada a travar
};

constexpr int sinais[] = {SIGINT, SIGTERM, SIGHUP};
bool instalado[3];
volatile std::sig_atomic_t adiado = 0;
volatile std::sig_atomic_t pendente = 0;

extern "C" void ao_interromper(int sinal)
{
    if (adiado) {
        pendente = sinal;
        return;
    }
    apagar_temporarios();
    if (colunas_de_progresso > 0) {
        // A linha de progresso apagada com brancos: a mensagem sai numa linha limpa.
        static const char brancos[] = "\r                                                                ";
        [[maybe_unused]] ssize_t escritos = ::write(STDERR_FILENO, brancos, 1);
        for (int falta = colunas_de_progresso; falta > 0; falta -= 64) {
            escritos = ::write(STDERR_FILENO, brancos + 1, static_cast<std::size_t>(falta < 64 ? falta : 64));
        }
        escritos = ::write(STDERR_FILENO, brancos, 1);
    }
    [[maybe_unused]] const ssize_t escritos = ::write(STDERR_FILENO, mensagem_interrupcao, tamanho_mensagem);
    ::_exit(128 + sinal);
}
#endif

} // namespace

void tratar_interrupcoes(const char* mensagem)
{
    mensagem_interrupcao = mensagem;
    tamanho_mensagem = std::strlen(mensagem);
#ifdef _WIN32
    {
        Travado t;
        tratando = true;
    }
    SetConsoleCtrlHandler(ao_interromper, TRUE);
#else
    struct sigaction acao {};
    acao.sa_handler = ao_interromper;
    sigemptyset(&acao.sa_mask);
    for (const int s : sinais) sigaddset(&acao.sa_mask, s);
    for (int i = 0; i < 3; ++i) {
        struct sigaction anterior {};
        if (sigaction(sinais[i], nullptr, &anterior) != 0 || anterior.sa_handler == SIG_IGN) continue;
        instalado[i] = sigaction(sinais[i], &acao, nullptr) == 0;
    }
#endif
}

void registrar_temporario(const std::string& caminho)
{
    if (caminho.size() >= tamanho_vaga) return;
    Travado t;
    for (int i = 0; i < vagas; ++i) {
        if (ocupada[i]) continue;
        std::memcpy(temporarios[i], caminho.c_str(), caminho.size() + 1);
        std::atomic_signal_fence(std::memory_order_seq_cst);
        ocupada[i] = 1;
        return;
    }
}

void esquecer_temporario(const std::string& caminho)
{
    Travado t;
    for (int i = 0; i < vagas; ++i) {
        if (ocupada[i] && caminho == temporarios[i]) ocupada[i] = 0;
    }
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

#ifdef _WIN32
Trecho_sem_interrupcao::Trecho_sem_interrupcao() { EnterCriticalSection(&trava.secao); }

Trecho_sem_interrupcao::~Trecho_sem_interrupcao()
{
    tratando = false;
    LeaveCriticalSection(&trava.secao);
}
#else
// Com um sinalizador e não com sigprocmask: o sinal pode chegar a outra thread.
Trecho_sem_interrupcao::Trecho_sem_interrupcao()
{
    adiado = 1;
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

Trecho_sem_interrupcao::~Trecho_sem_interrupcao()
{
    struct sigaction padrao {};
    padrao.sa_handler = SIG_DFL;
    sigemptyset(&padrao.sa_mask);
    for (int i = 0; i < 3; ++i) {
        if (instalado[i]) sigaction(sinais[i], &padrao, nullptr);
        instalado[i] = false;
    }
    std::atomic_signal_fence(std::memory_order_seq_cst);
    adiado = 0;
    if (pendente) std::raise(pendente);
}
#endif

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

bool erro_padrao_no_terminal()
{
#ifdef _WIN32
    DWORD modo = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &modo) != 0;
#else
    return ::isatty(STDERR_FILENO) == 1;
#endif
}

int colunas_do_terminal()
{
#ifdef _WIN32
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
#else
    struct winsize tamanho {};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &tamanho) != 0) return 0;
    return tamanho.ws_col;
#endif
}

void escrever_no_terminal(std::string_view texto)
{
#ifdef _WIN32
    std::fwrite(texto.data(), 1, texto.size(), stderr);
    std::fflush(stderr);
#else
    while (!texto.empty()) {
        const ssize_t n = ::write(STDERR_FILENO, texto.data(), texto.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        texto.remove_prefix(static_cast<std::size_t>(n));
    }
#endif
}

void marcar_linha_de_progresso(int colunas)
{
    colunas_de_progresso = colunas;
}

#include <thread>
#if !defined(_WIN32) && defined(__linux__)
#include <sched.h>
#endif

#if defined(__linux__)
namespace {
// "0.16 1.20 1.66 3/234 12345": prontas/total no quarto campo; -1 sem ele.
int prontas_no_sistema()
{
    std::ifstream carga("/proc/loadavg");
    std::string m1, m5, m15, tarefas;
    if (!(carga >> m1 >> m5 >> m15 >> tarefas)) return -1;
    return std::atoi(tarefas.c_str());
}

// As threads deste processo prontas ("R" depois do nome em /proc/self/task/*/stat).
int prontas_deste_processo()
{
    int nossas = 0;
    std::error_code erro;
    for (const auto& tarefa : std::filesystem::directory_iterator("/proc/self/task", erro)) {
        std::ifstream estado(tarefa.path() / "stat");
        std::string linha;
        std::getline(estado, linha);
        const std::size_t fim_do_nome = linha.rfind(')');
        if (fim_do_nome != std::string::npos && linha.compare(fim_do_nome, 3, ") R") == 0) ++nossas;
    }
    return nossas;
}
} // namespace
#endif

int tarefas_prontas_de_outros()
{
#if defined(__linux__)
    // Menos as nossas: a thread do progresso, ociosa, fica pronta enquanto as
    // de cálculo ocupam as CPUs, e uma thread da equipe pode estar girando à
    // espera. A menor de duas leituras, antes e depois das nossas: uma
    // tarefa que acabou de parar (a nossa que girava, uma do núcleo do
    // sistema) não conta.
    const int antes = prontas_no_sistema();
    const int nossas = prontas_deste_processo();
    const int depois = prontas_no_sistema();
    if (antes < 0 || depois < 0) return 0;
    return std::max(0, std::min(antes, depois) - std::max(nossas, 1));
#else
    return 0;
#endif
}

bool carga_do_sistema_visivel()
{
#if defined(__linux__)
    return true;
#else
    return false;
#endif
}

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

#if !defined(_WIN32)
#include <pthread.h>
#endif

void thread_so_com_cpu_ociosa()
{
#ifdef _WIN32
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_IDLE);
#elif defined(__linux__)
    sched_param parametro{};
    pthread_setschedparam(pthread_self(), SCHED_IDLE, &parametro);
#endif
}
