// Só para os arquivos desta pasta: os sinais que os comandos externos devem
// receber com o tratamento padrão (os que este processo ignora ou trata e que
// não eram ignorados quando ele começou).
#pragma once

#ifndef _WIN32
#include <csignal>

const sigset_t& sinais_padrao_nos_filhos();
#endif
