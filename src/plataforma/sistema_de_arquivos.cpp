#include "sistema_de_arquivos.hpp"

#include "windows.hpp"

#include <cerrno>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

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
