// Comandos externos (o editor e os visualizadores): a linha entregue ao
// interpretador do sistema e a citação dos nomes de arquivo nela.
#pragma once

#include <string>
#include <string_view>

// Entrega a linha de comando ao interpretador do sistema (/bin/sh -c ou
// COMSPEC /c), espera o fim e devolve o status bruto, como std::system. Um
// comando que nem começa (sem processos livres, por exemplo) dá um aviso de
// uma linha e o status -1.
int executar_comando(const std::string& linha);

// O status de executar_comando diz que o comando foi interrompido pelo
// usuário (Ctrl-C): morto por SIGINT, status 130 do sh, ou STATUS_CONTROL_C_EXIT.
bool comando_interrompido(int status);

enum class Interpretador { sh, cmd };
#ifdef _WIN32
constexpr Interpretador interpretador_do_sistema = Interpretador::cmd;
#else
constexpr Interpretador interpretador_do_sistema = Interpretador::sh;
#endif

// Caracteres que nenhuma citação protege no interpretador: no cmd, % e !
// expandem variáveis mesmo entre aspas, e " fecharia as aspas. Vazio no sh.
std::string_view caracteres_sem_citacao(Interpretador interpretador);

// O nome de arquivo como um argumento de linha de comando: sem aspas quando
// só tem letras, algarismos e ._-/ (no cmd também \ e :); senão entre aspas
// do interpretador (simples no sh, duplas no cmd), para abrir aquele arquivo
// e nunca executar um segundo comando. Um nome que começa com - ou + vai como
// ./nome (.\nome no cmd, onde toda / vira \), para não ser lido como opção.
// Vazio se o nome tem caracteres_sem_citacao.
std::string citar_argumento(const std::string& nome, Interpretador interpretador = interpretador_do_sistema);
