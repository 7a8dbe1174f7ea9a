// A versão (cmake/versao.cmake) e com o que o programa foi compilado.
#pragma once

#include <string>

const char* versao_do_programa();
// "GCC 12.2.0, para Linux x86-64"
std::string compilacao();
