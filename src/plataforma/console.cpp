#include "plataforma/console.hpp"

#include "sinais_internos.hpp"
#include "windows.hpp"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#else
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#ifdef _WIN32
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
#endif

// Interrupções. O tratador só usa o que é seguro num tratador de sinal: lê
// vagas de tamanho fixo, cada uma marcada como ocupada só depois de escrita e
// desmarcada antes de ser reusada, e chama unlink, write e _exit.
namespace {

// Colunas da linha de progresso na tela, lidas pelo tratador.
volatile std::sig_atomic_t colunas_de_progresso = 0;

constexpr int vagas = 8;
constexpr std::size_t tamanho_vaga = 512;
#ifdef _WIN32
wchar_t temporarios[vagas][tamanho_vaga]; // em UTF-16, para DeleteFileW
#else
char temporarios[vagas][tamanho_vaga];
#endif
volatile std::sig_atomic_t ocupada[vagas];
const char* mensagem_interrupcao = "";
std::size_t tamanho_mensagem = 0;
bool esperar_na_interrupcao = false;
std::atomic<bool> aviso_escrito{false};

void apagar_temporarios()
{
    for (int i = 0; i < vagas; ++i) {
#ifdef _WIN32
        if (ocupada[i]) DeleteFileW(temporarios[i]);
#else
        if (ocupada[i]) ::unlink(temporarios[i]);
#endif
    }
}

#ifdef _WIN32
void esperar_enter_no_console()
{
    const HANDLE entrada = GetStdHandle(STD_INPUT_HANDLE);
    const char pedido[] = "Pressione Enter para fechar esta janela.";
    DWORD escritos = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), pedido, sizeof pedido - 1, &escritos, nullptr);
    FlushConsoleInputBuffer(entrada);
    wchar_t lido[64];
    DWORD n = 0;
    while (ReadConsoleW(entrada, lido, 64, &n, nullptr) && n > 0) {
        if (std::wmemchr(lido, L'\r', n) != nullptr || std::wmemchr(lido, L'\n', n) != nullptr) break;
    }
}

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
    // Outro Ctrl-C durante a espera chega numa outra thread e fica parado na
    // trava; o ReadConsoleW desta volta sem nada e o processo termina.
    if (esperar_na_interrupcao && evento != CTRL_CLOSE_EVENT) esperar_enter_no_console();
    if (console_utf8.anterior != 0) SetConsoleOutputCP(console_utf8.anterior);
    // Sem ExitProcess: outra thread pode ter travas da biblioteca de C.
    TerminateProcess(GetCurrentProcess(), status);
    return TRUE;
}
#else
struct Travado {
    Travado() {} // sem threads no tratador de sinal: nada a travar
};

constexpr int sinais[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGXCPU};
constexpr int numero_sinais = static_cast<int>(std::size(sinais));
bool instalado[numero_sinais];
sigset_t padrao_nos_filhos;
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

void tratar_interrupcoes(const char* mensagem, bool esperar)
{
    mensagem_interrupcao = mensagem;
    tamanho_mensagem = std::strlen(mensagem);
    esperar_na_interrupcao = esperar;
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
    sigemptyset(&padrao_nos_filhos);
    const auto ignorado = [](int sinal) {
        struct sigaction anterior {};
        return sigaction(sinal, nullptr, &anterior) != 0 || anterior.sa_handler == SIG_IGN;
    };
    for (int i = 0; i < numero_sinais; ++i) {
        if (ignorado(sinais[i])) continue;
        instalado[i] = sigaction(sinais[i], &acao, nullptr) == 0;
        sigaddset(&padrao_nos_filhos, sinais[i]);
    }
    struct sigaction ignorar {};
    ignorar.sa_handler = SIG_IGN;
    sigemptyset(&ignorar.sa_mask);
    for (const int s : {SIGPIPE, SIGXFSZ}) {
        if (ignorado(s)) continue;
        sigaction(s, &ignorar, nullptr);
        sigaddset(&padrao_nos_filhos, s);
    }
#endif
}

#ifndef _WIN32
const sigset_t& sinais_padrao_nos_filhos() { return padrao_nos_filhos; }
#endif

namespace {

#ifdef _WIN32
bool copiar_para_vaga(wchar_t* vaga, const std::string& caminho)
{
    const int n = caminho.empty() ? 0 : MultiByteToWideChar(CP_UTF8, 0, caminho.data(), static_cast<int>(caminho.size()),
                                                              vaga, static_cast<int>(tamanho_vaga) - 1);
    if (n <= 0) return false;
    vaga[n] = L'\0';
    return true;
}

bool mesmo_caminho(const wchar_t* vaga, const std::string& caminho)
{
    wchar_t convertido[tamanho_vaga];
    return copiar_para_vaga(convertido, caminho) && std::wcscmp(convertido, vaga) == 0;
}
#else
bool copiar_para_vaga(char* vaga, const std::string& caminho)
{
    if (caminho.size() >= tamanho_vaga) return false;
    std::memcpy(vaga, caminho.c_str(), caminho.size() + 1);
    return true;
}

bool mesmo_caminho(const char* vaga, const std::string& caminho) { return caminho == vaga; }
#endif

} // namespace

void registrar_temporario(const std::string& caminho)
{
    Travado t;
    for (int i = 0; i < vagas; ++i) {
        if (ocupada[i]) continue;
        if (!copiar_para_vaga(temporarios[i], caminho)) return;
        std::atomic_signal_fence(std::memory_order_seq_cst);
        ocupada[i] = 1;
        return;
    }
}

void esquecer_temporario(const std::string& caminho)
{
    Travado t;
    for (int i = 0; i < vagas; ++i) {
        if (ocupada[i] && mesmo_caminho(temporarios[i], caminho)) ocupada[i] = 0;
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
    for (int i = 0; i < numero_sinais; ++i) {
        if (instalado[i]) sigaction(sinais[i], &padrao, nullptr);
        instalado[i] = false;
    }
    std::atomic_signal_fence(std::memory_order_seq_cst);
    adiado = 0;
    if (pendente) std::raise(pendente);
}
#endif

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

namespace {

// Com PLACA2D_AVISOS, cada aviso vai também para o fim desse arquivo (o
// placa2d-rodar os repete no resumo do fim). Uma falha aqui não conta.
void anotar_aviso(std::string_view linha)
{
    const char* arquivo = std::getenv("PLACA2D_AVISOS");
    if (arquivo == nullptr || *arquivo == '\0') return;
#ifdef _WIN32
    const HANDLE h = CreateFileW(largo(arquivo).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD escritos = 0;
    WriteFile(h, linha.data(), static_cast<DWORD>(linha.size()), &escritos, nullptr);
    CloseHandle(h);
#else
    // O_NONBLOCK: um FIFO sem leitor não segura o programa.
    const int fd = ::open(arquivo, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (fd == -1) return;
    [[maybe_unused]] const ssize_t escritos = ::write(fd, linha.data(), linha.size());
    ::close(fd);
#endif
}

} // namespace

void avisar(std::string_view texto)
{
    anotar_aviso(std::string("placa2d: aviso: ").append(texto).append("\n"));
    std::string linha;
    if (colunas_de_progresso > 0) {
        linha.assign(static_cast<std::size_t>(colunas_de_progresso) + 2, ' ');
        linha.front() = linha.back() = '\r';
    }
    linha.append("placa2d: aviso: ").append(texto).append("\n");
    escrever_no_terminal(linha);
    aviso_escrito = true;
}

bool houve_aviso() { return aviso_escrito; }

void marcar_linha_de_progresso(int colunas)
{
    colunas_de_progresso = colunas;
}

#ifdef _WIN32
void abrir_fluxos_padrao_fechados()
{
    const struct {
        DWORD alca;
        int fd;
        std::FILE* fluxo;
        const char* modo;
    } padrao[] = {{STD_INPUT_HANDLE, 0, stdin, "r"}, {STD_OUTPUT_HANDLE, 1, stdout, "w"}, {STD_ERROR_HANDLE, 2, stderr, "w"}};
    for (const auto& p : padrao) {
        // Ausente, ou um valor herdado que não é alça deste processo (e que
        // um arquivo aberto depois poderia receber).
        const HANDLE h = GetStdHandle(p.alca);
        SetLastError(NO_ERROR);
        const bool invalida = h == nullptr || h == INVALID_HANDLE_VALUE ||
                              (GetFileType(h) == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR);
        if (invalida) {
            const HANDLE nulo = CreateFileW(L"NUL", p.fd == 0 ? GENERIC_READ : GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
            if (nulo != INVALID_HANDLE_VALUE) SetStdHandle(p.alca, nulo);
        }
        const intptr_t crt = _get_osfhandle(p.fd);
        if (invalida || crt == -1 || crt == -2) {
            [[maybe_unused]] std::FILE* f = std::freopen("NUL", p.modo, p.fluxo);
        }
    }
}

std::vector<std::string> argumentos_do_programa(int, char**)
{
    std::vector<std::string> argumentos;
    int n = 0;
    wchar_t** lista = CommandLineToArgvW(GetCommandLineW(), &n);
    if (lista == nullptr) return argumentos;
    for (int i = 1; i < n; ++i) {
        const std::wstring_view w(lista[i]);
        const int tamanho = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr,
                                                nullptr);
        std::string s(static_cast<std::size_t>(tamanho), '\0');
        WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), tamanho, nullptr, nullptr);
        argumentos.push_back(s);
    }
    LocalFree(lista);
    return argumentos;
}

Console_inicial observar_console()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr) return {};
    DWORD processos[2];
    DWORD modo = 0;
    const HANDLE entrada = GetStdHandle(STD_INPUT_HANDLE);
    Console_inicial c;
    c.sozinho = GetConsoleProcessList(processos, 2) == 1;
    c.entrada_no_console = GetFileType(entrada) == FILE_TYPE_CHAR && GetConsoleMode(entrada, &modo) != 0;
    return c;
}

void esperar_enter() { esperar_enter_no_console(); }
#else
void abrir_fluxos_padrao_fechados()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // O menor descritor livre é este; sem /dev/null (um chroot), a raiz,
        // que não aceita escrita.
        int novo = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (novo == -1) novo = ::open("/", O_RDONLY | O_DIRECTORY);
        if (novo != -1 && novo != fd) {
            ::dup2(novo, fd);
            ::close(novo);
        }
    }
}

std::vector<std::string> argumentos_do_programa(int argc, char** argv)
{
    std::vector<std::string> argumentos;
    for (int i = 1; i < argc; ++i) argumentos.emplace_back(argv[i]);
    return argumentos;
}

Console_inicial observar_console() { return {}; }

void esperar_enter() {}
#endif
