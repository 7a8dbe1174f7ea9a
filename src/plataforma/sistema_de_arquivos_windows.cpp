// O sistema de arquivos no Windows: nomes em UTF-8 passados à API larga.
#ifdef _WIN32
#include "plataforma/sistema_de_arquivos.hpp"
#include "sistema_de_arquivos_interno.hpp"

#include "windows.hpp"

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <system_error>

std::wstring largo(std::string_view utf8)
{
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
    return w;
}

namespace {

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

std::string identidade_da_maquina()
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
    return estreito(nome) + inicio;
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
#endif
