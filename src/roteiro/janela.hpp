// A janela do console no fim da execução: esperar o Enter antes de ela
// fechar? Regras:
// - só quando a janela some com o processo: ele era o único no console no
//   começo (um clique duplo no Windows; num Prompt, num .bat ou num script o
//   console é de outro processo também, e fica aberto);
// - só com a entrada padrão no console: sem ela ninguém aperta o Enter (o CI,
//   um redirecionamento, o wine num script);
// - só quando há o que ler: um erro, uma interrupção (Ctrl-C, Ctrl-Break) ou
//   um aviso. Uma execução completa e calada fecha na hora.
#pragma once

#include "plataforma/console.hpp"

enum class Desfecho { sucesso, aviso, erro, interrupcao };

bool esperar_enter_ao_fechar(const Console_inicial& console, Desfecho desfecho);
