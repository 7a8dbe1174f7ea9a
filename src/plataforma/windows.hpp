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

#include <string>
#include <string_view>

// UTF-8 em UTF-16, para a API larga.
std::wstring largo(std::string_view utf8);
#endif
