// A linha de comando: uma tabela de opções (linha_de_comando.cpp) e o que ela
// pede. Sem argumentos, a execução de sempre; um argumento fora da tabela é
// recusado antes de qualquer coisa. Uma opção nova é uma linha da tabela e um
// campo aqui.
#pragma once

#include <optional>
#include <span>
#include <string>

struct Linha_de_comando {
    bool ajuda = false;
    bool versao = false;
    bool campos = false; // também campos.vti e campos.csv
    std::optional<std::string> nao_entendido; // o primeiro argumento fora da tabela
};

Linha_de_comando interpretar_linha_de_comando(std::span<const std::string> argumentos);

// O que cada pedido escreve: a ajuda e a versão na saída padrão, a recusa
// (sem o "placa2d: erro: ") no erro padrão.
std::string texto_da_ajuda();
std::string texto_da_versao();
std::string recusa_do_argumento(const std::string& argumento);
