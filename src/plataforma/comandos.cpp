#include "comandos.hpp"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#ifndef _WIN32
#include <sys/wait.h>
#endif

int executar_comando(const std::string& linha)
{
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    return std::system(linha.c_str());
}

bool comando_interrompido(int status)
{
#ifdef _WIN32
    return static_cast<unsigned>(status) == 0xC000013Au || status == 128 + SIGINT;
#else
    if (status == -1) return false;
    return (WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) || (WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGINT);
#endif
}

namespace {

bool caractere_seguro(char c, bool cmd)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    if (c == '.' || c == '_' || c == '-' || c == '/') return true;
    return cmd && (c == '\\' || c == ':');
}

} // namespace

std::string_view caracteres_sem_citacao(Interpretador interpretador)
{
    return interpretador == Interpretador::cmd ? std::string_view("%!\"") : std::string_view();
}

std::string citar_argumento(const std::string& nome_arquivo, Interpretador interpretador)
{
    const bool cmd = interpretador == Interpretador::cmd;
    std::string nome = nome_arquivo;
    if (cmd) {
        if (nome.find_first_of(caracteres_sem_citacao(interpretador)) != std::string::npos) return "";
        std::replace(nome.begin(), nome.end(), '/', '\\');
    }
    if (!nome.empty() && (nome[0] == '-' || nome[0] == '+')) nome.insert(0, cmd ? ".\\" : "./");
    bool seguro = !nome.empty();
    for (const char c : nome) seguro = seguro && caractere_seguro(c, cmd);
    if (seguro) return nome;
    if (cmd) return "\"" + nome + "\"";
    std::string citado = "'";
    for (const char c : nome) {
        if (c == '\'') citado += "'\\''";
        else citado += c;
    }
    return citado + "'";
}
