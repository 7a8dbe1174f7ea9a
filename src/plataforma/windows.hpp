// As declarações do Windows, sem as macros min e max e sem o resto do
// windows.h que a camada não usa. Só para os arquivos desta pasta.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif
