// Só para os arquivos do sistema de arquivos: o que cada sistema dá para a
// marca da máquina (nome, inicialização, espaço de processos), em bytes.
#pragma once

#include <string>

std::string identidade_da_maquina();
