#include "roteiro/versao.hpp"

#ifndef PLACA2D_VERSAO
#define PLACA2D_VERSAO "desconhecida"
#endif

const char* versao_do_programa() { return PLACA2D_VERSAO; }

std::string compilacao()
{
#if defined(__clang__)
    std::string texto = "Clang " __clang_version__;
#elif defined(__GNUC__)
    std::string texto = "GCC " __VERSION__;
#else
    std::string texto = "compilador desconhecido";
#endif
#if defined(_WIN32)
    texto += ", para Windows";
#elif defined(__APPLE__)
    texto += ", para macOS";
#elif defined(__linux__)
    texto += ", para Linux";
#endif
#if defined(__x86_64__) || defined(_M_X64)
    texto += " x86-64";
#elif defined(__aarch64__) || defined(_M_ARM64)
    texto += " ARM64";
#endif
    return texto;
}
