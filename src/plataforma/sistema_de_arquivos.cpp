#include "plataforma/sistema_de_arquivos.hpp"

#include "sistema_de_arquivos_interno.hpp"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <system_error>

#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
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

std::string diretorio_de_trabalho()
{
    std::error_code erro;
    const std::u8string u8 = std::filesystem::current_path(erro).u8string();
    return erro ? "." : std::string(u8.begin(), u8.end());
}

std::string marca_da_maquina() { return em_hexadecimal(misturar(2166136261u, identidade_da_maquina())); }

// O Windows em sistema_de_arquivos_windows.cpp.
#ifndef _WIN32
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

std::string nome_do_usuario(uid_t uid)
{
    char espaco[4096];
    struct passwd dados {};
    struct passwd* achado = nullptr;
    if (::getpwuid_r(uid, &dados, espaco, sizeof espaco, &achado) == 0 && achado != nullptr) return achado->pw_name;
    return "UID " + std::to_string(uid);
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
    const uid_t eu = ::geteuid();
    struct stat pasta {};
    if (s.tipo == Tipo_arquivo::regular && eu != 0 && dados.st_uid != eu &&
        ::stat(diretorio_do_arquivo(nome).c_str(), &pasta) == 0 && (pasta.st_mode & S_ISVTX) != 0 && pasta.st_uid != eu) {
        s.impedido_por = nome_do_usuario(dados.st_uid);
    }
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

namespace {

// 0 ou errno; os sistemas de arquivos que não têm o que levar ao disco
// (EINVAL, ENOTSUP) contam como feito.
int sincronizar(int fd)
{
    if (::fsync(fd) == 0) return 0;
    return errno == EINVAL || errno == ENOTSUP ? 0 : errno;
}

} // namespace

int gravar_no_disco(std::FILE* arquivo) { return sincronizar(::fileno(arquivo)); }

int substituir(const std::string& de, const std::string& para)
{
    return ::rename(de.c_str(), para.c_str()) == 0 ? 0 : errno;
}

int gravar_diretorio_no_disco(const std::string& diretorio)
{
    const int fd = ::open(diretorio.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd == -1) return errno;
    const int erro = sincronizar(fd);
    ::close(fd);
    return erro;
}

int apagar_arquivo(const std::string& nome) { return ::unlink(nome.c_str()) == 0 ? 0 : errno; }

unsigned long numero_do_processo() { return static_cast<unsigned long>(::getpid()); }

bool processo_existe(unsigned long numero)
{
    return ::kill(static_cast<pid_t>(numero), 0) == 0 || errno == EPERM;
}

std::string identidade_da_maquina()
{
    char maquina[256] = {};
    ::gethostname(maquina, sizeof maquina - 1);
    char espaco[128] = {};
    const ssize_t n = ::readlink("/proc/self/ns/pid", espaco, sizeof espaco - 1);
    return maquina + conteudo_de("/proc/sys/kernel/random/boot_id") +
           std::string(espaco, n > 0 ? static_cast<std::size_t>(n) : 0);
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
