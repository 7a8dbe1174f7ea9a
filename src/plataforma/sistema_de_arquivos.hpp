// Arquivos: a criação exclusiva dos temporários e o número do processo que
// entra no nome deles.
#pragma once

#include <cstdio>
#include <string>

// Cria o arquivo para escrita binária só se nada existe com esse nome (nem
// uma ligação simbólica). nullptr em caso de falha, com errno.
std::FILE* criar_exclusivo(const std::string& caminho);

// Número do processo, para nomes de arquivos temporários.
unsigned long numero_do_processo();
