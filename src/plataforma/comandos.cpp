#include "plataforma/comandos.hpp"

#include "plataforma/console.hpp"
#include "plataforma/sistema_de_arquivos.hpp"
#include "sinais_internos.hpp"
#include "windows.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#ifndef _WIN32
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace {

void avisar_que_nao_iniciou(const std::string& linha, int erro)
{
    const std::string motivo = erro == EAGAIN ? "o limite de processos do usuário foi atingido"
                               : erro == ENOMEM ? "memória insuficiente"
                                                : "erro do sistema " + std::to_string(erro) + " (" +
                                                      texto_do_erro(erro) + ")";
    avisar("não foi possível iniciar o comando \"" + linha + "\": " + motivo + "; a execução segue sem ele");
}

} // namespace

#ifdef _WIN32
// Pela API larga: a linha, com o nome do relatório, vai em UTF-16.
int executar_comando(const std::string& linha)
{
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    errno = 0;
    const int status = _wsystem(largo(linha).c_str());
    if (status == -1) avisar_que_nao_iniciou(linha, errno);
    return status;
}
#else
// Como std::system (sh -c, Ctrl-C e Ctrl-\ ignorados aqui enquanto o comando
// roda), mas o comando recebe com o tratamento padrão os sinais que este
// processo ignora ou trata: um sinal ignorado continuaria ignorado depois do exec.
int executar_comando(const std::string& linha)
{
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    struct sigaction ignorar {}, antes_int {}, antes_quit {};
    ignorar.sa_handler = SIG_IGN;
    sigemptyset(&ignorar.sa_mask);
    sigaction(SIGINT, &ignorar, &antes_int);
    sigaction(SIGQUIT, &ignorar, &antes_quit);
    posix_spawnattr_t atributos;
    posix_spawnattr_init(&atributos);
    sigset_t padrao = sinais_padrao_nos_filhos();
    if (antes_int.sa_handler != SIG_IGN) sigaddset(&padrao, SIGINT);
    if (antes_quit.sa_handler != SIG_IGN) sigaddset(&padrao, SIGQUIT);
    posix_spawnattr_setsigdefault(&atributos, &padrao);
    posix_spawnattr_setflags(&atributos, POSIX_SPAWN_SETSIGDEF);
    const char* argumentos[] = {"sh", "-c", linha.c_str(), nullptr};
    pid_t filho = -1;
    const int erro = posix_spawn(&filho, "/bin/sh", nullptr, &atributos, const_cast<char* const*>(argumentos), environ);
    posix_spawnattr_destroy(&atributos);
    int status = -1;
    if (erro == 0) {
        while (::waitpid(filho, &status, 0) == -1 && errno == EINTR) {
        }
    }
    sigaction(SIGINT, &antes_int, nullptr);
    sigaction(SIGQUIT, &antes_quit, nullptr);
    if (erro != 0) avisar_que_nao_iniciou(linha, erro);
    return status;
}
#endif

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
