// Falha que encerra a execução: sobe até `principal`, que imprime a mensagem
// e escolhe o status de saída. Nenhuma rotina abaixo dela encerra o processo.
#pragma once

#include <stdexcept>
#include <string>

class Erro_execucao : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
