#include "sistema_de_arquivos.hpp"

#include "windows.hpp"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// FNV-1a de 32 bits.
std::uint32_t misturar(std::uint32_t h, std::string_view bytes)
{
    for (const char c : bytes) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    return h;
}

std::string em_hexadecimal(std::uint32_t h)
{
    char texto[9];
    std::snprintf(texto, sizeof texto, "%08x", static_cast<unsigned>(h));
    return texto;
}

} // namespace

std::string diretorio_do_arquivo(const std::string& arquivo)
{
#ifdef _WIN32
    const std::size_t barra = arquivo.find_last_of("/\\");
    if (barra == 2 && arquivo[1] == ':') return arquivo.substr(0, 3);
#else
    const std::size_t barra = arquivo.rfind('/');
#endif
    if (barra == std::string::npos) return ".";
    return barra == 0 ? arquivo.substr(0, 1) : arquivo.substr(0, barra);
}

#ifdef _WIN32
namespace {

std::wstring largo(std::string_view utf8)
{
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
    return w;
}

std::string estreito(std::wstring_view w)
{
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

bool utf8_valido(std::string_view s)
{
    return s.empty() || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()),
                                            nullptr, 0) != 0;
}

// Os erros do Windows sem equivalente no errno vão acima desta base, para que
// a mensagem dê o código e o texto do próprio Windows.
constexpr int base_windows = 0x10000;

int errno_de(DWORD erro)
{
    switch (erro) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_WRITE_PROTECT: return EROFS;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    case ERROR_DIRECTORY: return ENOTDIR;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME: return EINVAL;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return ENOMEM;
    case ERROR_NOT_SAME_DEVICE: return EXDEV;
    case ERROR_CRC:
    case ERROR_IO_DEVICE: return EIO;
    default: return base_windows + static_cast<int>(erro);
    }
}

} // namespace

std::filesystem::path caminho(const std::string& nome) { return std::filesystem::path(largo(nome)); }

std::string nome_do_sistema(std::string_view nome, std::string_view inteiro)
{
    if (!utf8_valido(inteiro)) {
        const int n = MultiByteToWideChar(1252, 0, nome.data(), static_cast<int>(nome.size()), nullptr, 0);
        std::wstring w(static_cast<std::size_t>(n), L'\0');
        MultiByteToWideChar(1252, 0, nome.data(), static_cast<int>(nome.size()), w.data(), n);
        return estreito(w);
    }
    std::string s(nome);
    // Uma sequência começada e não terminada antes do corte.
    std::size_t fim = s.size(), i = s.size();
    while (i > 0 && (static_cast<unsigned char>(s[i - 1]) & 0xC0) == 0x80) --i;
    if (i > 0) {
        const unsigned char c = static_cast<unsigned char>(s[i - 1]);
        const std::size_t esperado = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (fim - (i - 1) < esperado) fim = i - 1;
    }
    s.resize(fim);
    return s;
}

std::string nome_recusado_pelo_sistema(const std::string& nome)
{
    for (std::size_t i = 0; i < nome.size(); ++i) {
        const bool letra_do_disco = i == 1 && ((nome[0] >= 'A' && nome[0] <= 'Z') || (nome[0] >= 'a' && nome[0] <= 'z'));
        if (nome[i] == ':' && !letra_do_disco) {
            return "o nome não pode ter ':' (no Windows, fora da letra do disco, os dois-pontos nomeiam um fluxo "
                   "alternativo escondido dentro de outro arquivo)";
        }
    }
    static const char* const dispositivos[] = {"CON", "PRN", "AUX", "NUL"};
    std::size_t inicio = 0;
    while (inicio <= nome.size()) {
        std::size_t fim = nome.find_first_of("/\\", inicio);
        if (fim == std::string::npos) fim = nome.size();
        std::string parte = nome.substr(inicio, fim - inicio);
        parte = parte.substr(0, parte.find('.'));
        while (!parte.empty() && parte.back() == ' ') parte.pop_back();
        for (char& c : parte) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        bool reservado = false;
        for (const char* d : dispositivos) reservado = reservado || parte == d;
        reservado = reservado || (parte.size() == 4 && (parte.starts_with("COM") || parte.starts_with("LPT")) &&
                                  parte[3] >= '1' && parte[3] <= '9');
        if (reservado) {
            return "\"" + parte + "\" é o nome de um dispositivo do Windows (CON, PRN, AUX, NUL, COM1 a COM9, LPT1 a " +
                   "LPT9), com ou sem extensão; escolha outro nome";
        }
        inicio = fim + 1;
    }
    return "";
}

Situacao_arquivo situacao_do_arquivo(const std::string& nome)
{
    Situacao_arquivo s;
    const DWORD atributos = GetFileAttributesW(largo(nome).c_str());
    if (atributos == INVALID_FILE_ATTRIBUTES) {
        const int erro = errno_de(GetLastError());
        if (erro != ENOENT) s.erro = erro;
        return s;
    }
    s.tipo = (atributos & FILE_ATTRIBUTE_DIRECTORY) ? Tipo_arquivo::diretorio : Tipo_arquivo::regular;
    s.protegido = s.tipo == Tipo_arquivo::regular && (atributos & FILE_ATTRIBUTE_READONLY);
    return s;
}

Arquivo_lido ler_arquivo_comum(const std::string& nome, std::size_t limite)
{
    Arquivo_lido r;
    const std::wstring w = largo(nome);
    const DWORD atributos = GetFileAttributesW(w.c_str());
    if (atributos == INVALID_FILE_ATTRIBUTES) {
        r.erro = errno_de(GetLastError());
        return r;
    }
    if (atributos & FILE_ATTRIBUTE_DIRECTORY) {
        r.tipo = Tipo_arquivo::diretorio;
        return r;
    }
    const HANDLE h = CreateFileW(w.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        r.erro = errno_de(GetLastError());
        return r;
    }
    const DWORD tipo = GetFileType(h);
    r.tipo = tipo == FILE_TYPE_DISK ? Tipo_arquivo::regular
             : tipo == FILE_TYPE_CHAR ? Tipo_arquivo::caracteres
             : tipo == FILE_TYPE_PIPE ? Tipo_arquivo::fifo
                                      : Tipo_arquivo::outro;
    while (r.tipo == Tipo_arquivo::regular) {
        char bloco[1 << 16];
        DWORD lidos = 0;
        if (!ReadFile(h, bloco, sizeof bloco, &lidos, nullptr)) {
            r.erro = errno_de(GetLastError());
            break;
        }
        if (lidos == 0) break;
        r.conteudo.append(bloco, lidos);
        if (r.conteudo.size() > limite) {
            r.grande_demais = true;
            r.conteudo.clear();
            break;
        }
    }
    CloseHandle(h);
    return r;
}

std::FILE* criar_exclusivo(const std::string& caminho)
{
    // FILE_SHARE_DELETE: a interrupção consegue apagar o temporário ainda aberto.
    const std::wstring w = largo(caminho);
    const HANDLE h = CreateFileW(w.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
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
        DeleteFileW(w.c_str());
        errno = erro;
    }
    return arquivo;
}

void copiar_permissoes(std::FILE*, const std::string&) {}

int gravar_no_disco(std::FILE* arquivo)
{
    const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(arquivo)));
    return FlushFileBuffers(h) ? 0 : errno_de(GetLastError());
}

int substituir(const std::string& de, const std::string& para)
{
    return MoveFileExW(largo(de).c_str(), largo(para).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? 0
               : errno_de(GetLastError());
}

int gravar_diretorio_no_disco(const std::string&) { return 0; }

int apagar_arquivo(const std::string& nome) { return DeleteFileW(largo(nome).c_str()) ? 0 : errno_de(GetLastError()); }

unsigned long numero_do_processo() { return GetCurrentProcessId(); }

bool processo_existe(unsigned long numero)
{
    const HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(numero));
    if (h == nullptr) return GetLastError() != ERROR_INVALID_PARAMETER;
    DWORD saida = 0;
    const bool vivo = !GetExitCodeProcess(h, &saida) || saida == STILL_ACTIVE;
    CloseHandle(h);
    return vivo;
}

std::string marca_da_maquina()
{
    wchar_t nome[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD tamanho = MAX_COMPUTERNAME_LENGTH + 1;
    GetComputerNameW(nome, &tamanho);
    FILETIME agora{};
    GetSystemTimeAsFileTime(&agora);
    const unsigned long long segundos =
        ((static_cast<unsigned long long>(agora.dwHighDateTime) << 32) | agora.dwLowDateTime) / 10000000ull;
    // A hora da inicialização, em minutos (uma borda cruzada só faz não apagar).
    const std::string inicio = std::to_string((segundos - GetTickCount64() / 1000ull) / 60ull);
    return em_hexadecimal(misturar(misturar(2166136261u, estreito(nome)), inicio));
}

std::vector<Item_diretorio> arquivos_comuns(const std::string& diretorio)
{
    std::vector<Item_diretorio> itens;
    WIN32_FIND_DATAW dados{};
    const HANDLE h = FindFirstFileW(largo(diretorio + "\\*").c_str(), &dados);
    if (h == INVALID_HANDLE_VALUE) return itens;
    FILETIME agora{};
    GetSystemTimeAsFileTime(&agora);
    const auto em_segundos = [](const FILETIME& t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    do {
        if (dados.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) continue;
        itens.push_back({estreito(dados.cFileName), em_segundos(agora) - em_segundos(dados.ftLastWriteTime)});
    } while (FindNextFileW(h, &dados));
    FindClose(h);
    return itens;
}

std::string texto_do_erro(int erro)
{
    if (erro < base_windows) return std::generic_category().message(erro);
    wchar_t* texto = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   static_cast<DWORD>(erro - base_windows), 0, reinterpret_cast<wchar_t*>(&texto), 0, nullptr);
    std::string s = texto ? estreito(texto) : std::string();
    if (texto) LocalFree(texto);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' || s.back() == '.')) s.pop_back();
    return "erro do Windows " + std::to_string(erro - base_windows) + (s.empty() ? "" : ": " + s);
}
#else
namespace {

Tipo_arquivo tipo_de(mode_t modo)
{
    if (S_ISREG(modo)) return Tipo_arquivo::regular;
    if (S_ISDIR(modo)) return Tipo_arquivo::diretorio;
    if (S_ISCHR(modo)) return Tipo_arquivo::caracteres;
    if (S_ISBLK(modo)) return Tipo_arquivo::blocos;
    if (S_ISFIFO(modo)) return Tipo_arquivo::fifo;
    if (S_ISSOCK(modo)) return Tipo_arquivo::socket;
    return Tipo_arquivo::outro;
}

std::string conteudo_de(const char* arquivo)
{
    std::string s;
    if (std::FILE* f = std::fopen(arquivo, "rb")) {
        char bloco[256];
        const std::size_t n = std::fread(bloco, 1, sizeof bloco, f);
        s.assign(bloco, n);
        std::fclose(f);
    }
    return s;
}

} // namespace

std::filesystem::path caminho(const std::string& nome) { return std::filesystem::path(nome); }

std::string nome_do_sistema(std::string_view nome, std::string_view) { return std::string(nome); }

std::string nome_recusado_pelo_sistema(const std::string&) { return ""; }

Situacao_arquivo situacao_do_arquivo(const std::string& nome)
{
    Situacao_arquivo s;
    struct stat dados {};
    if (::stat(nome.c_str(), &dados) != 0) {
        if (errno != ENOENT) s.erro = errno;
        return s;
    }
    s.tipo = tipo_de(dados.st_mode);
    s.protegido = s.tipo == Tipo_arquivo::regular && (dados.st_mode & S_IWUSR) == 0;
    return s;
}

Arquivo_lido ler_arquivo_comum(const std::string& nome, std::size_t limite)
{
    Arquivo_lido r;
    struct stat dados {};
    if (::stat(nome.c_str(), &dados) != 0) {
        r.erro = errno;
        return r;
    }
    r.tipo = tipo_de(dados.st_mode);
    if (r.tipo != Tipo_arquivo::regular) return r;
    // O_NONBLOCK: se no meio tempo o nome virou um FIFO, a abertura não espera.
    const int fd = ::open(nome.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd == -1) {
        r.erro = errno;
        return r;
    }
    if (::fstat(fd, &dados) != 0) r.erro = errno;
    else r.tipo = tipo_de(dados.st_mode);
    while (r.erro == 0 && r.tipo == Tipo_arquivo::regular) {
        char bloco[1 << 16];
        const ssize_t n = ::read(fd, bloco, sizeof bloco);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) r.erro = errno;
        if (n <= 0) break;
        r.conteudo.append(bloco, static_cast<std::size_t>(n));
        if (r.conteudo.size() > limite) {
            r.grande_demais = true;
            r.conteudo.clear();
            break;
        }
    }
    ::close(fd);
    return r;
}

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

void copiar_permissoes(std::FILE* arquivo, const std::string& modelo)
{
    struct stat dados {};
    if (::stat(modelo.c_str(), &dados) != 0 || !S_ISREG(dados.st_mode)) return;
    const int fd = ::fileno(arquivo);
    // O dono antes do modo: a troca de dono pode apagar bits do modo. Quem não
    // pode dar o arquivo a outro usuário talvez possa manter o grupo.
    if (dados.st_uid != ::geteuid() || dados.st_gid != ::getegid()) {
        if (::fchown(fd, dados.st_uid, dados.st_gid) != 0 && ::fchown(fd, static_cast<uid_t>(-1), dados.st_gid) != 0) {
            // fica com o dono desta execução, como um arquivo novo
        }
    }
    ::fchmod(fd, dados.st_mode & 0777);
}

int gravar_no_disco(std::FILE* arquivo)
{
    if (::fsync(::fileno(arquivo)) == 0) return 0;
    // Sistemas de arquivos que não têm o que levar ao disco.
    return errno == EINVAL || errno == ENOTSUP ? 0 : errno;
}

int substituir(const std::string& de, const std::string& para)
{
    return ::rename(de.c_str(), para.c_str()) == 0 ? 0 : errno;
}

int gravar_diretorio_no_disco(const std::string& diretorio)
{
    const int fd = ::open(diretorio.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd == -1) return errno;
    int erro = ::fsync(fd) == 0 ? 0 : errno;
    if (erro == EINVAL || erro == ENOTSUP) erro = 0;
    ::close(fd);
    return erro;
}

int apagar_arquivo(const std::string& nome) { return ::unlink(nome.c_str()) == 0 ? 0 : errno; }

unsigned long numero_do_processo() { return static_cast<unsigned long>(::getpid()); }

bool processo_existe(unsigned long numero)
{
    return ::kill(static_cast<pid_t>(numero), 0) == 0 || errno == EPERM;
}

std::string marca_da_maquina()
{
    char maquina[256] = {};
    ::gethostname(maquina, sizeof maquina - 1);
    char espaco[128] = {};
    const ssize_t n = ::readlink("/proc/self/ns/pid", espaco, sizeof espaco - 1);
    std::uint32_t h = misturar(2166136261u, maquina);
    h = misturar(h, conteudo_de("/proc/sys/kernel/random/boot_id"));
    return em_hexadecimal(misturar(h, std::string_view(espaco, n > 0 ? static_cast<std::size_t>(n) : 0)));
}

std::vector<Item_diretorio> arquivos_comuns(const std::string& diretorio)
{
    std::vector<Item_diretorio> itens;
    DIR* d = ::opendir(diretorio.c_str());
    if (d == nullptr) return itens;
    const std::time_t agora = std::time(nullptr);
    while (const dirent* e = ::readdir(d)) {
        struct stat dados {};
        if (::fstatat(::dirfd(d), e->d_name, &dados, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(dados.st_mode)) continue;
        itens.push_back({e->d_name, std::difftime(agora, dados.st_mtime)});
    }
    ::closedir(d);
    return itens;
}

std::string texto_do_erro(int erro) { return std::generic_category().message(erro); }
#endif
