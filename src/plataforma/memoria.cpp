#include "memoria.hpp"

#include "windows.hpp"

#ifndef _WIN32
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
