#include "plataforma/memoria.hpp"

#include "windows.hpp"

#ifndef _WIN32
#include <sys/mman.h>
#include <unistd.h>
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

void* alocar_sob_demanda(std::size_t bytes)
{
    if (bytes == 0) bytes = 1;
#ifdef _WIN32
    return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
#else
    void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
#endif
}

void liberar_sob_demanda(void* inicio, std::size_t bytes)
{
    if (inicio == nullptr) return;
#ifdef _WIN32
    (void)bytes;
    VirtualFree(inicio, 0, MEM_RELEASE);
#else
    ::munmap(inicio, bytes == 0 ? 1 : bytes);
#endif
}
