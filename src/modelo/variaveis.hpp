// Estado da simulação: o registro único que todas as rotinas compartilham.
// A numeração dos nós e a posição de cada um nos vetores estão em malha.hpp.
// As histórias L1, L2, Linf guardam a entrada n (0..itmax) no elemento n; com os
// solvers rápidos são exatas em Linf até it e em L1, L2 só em 0, it e nos
// múltiplos de passo_hist (as linhas do relatório).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int tamanho_nome_relatorio = 100;

struct Variaveis {
    // Parâmetros de entrada, na ordem do arquivo.
    std::string nome_relatorio = std::string(tamanho_nome_relatorio, '\0');
    double Lx = 0.0;
    double Ly = 0.0;
    std::int32_t Nx = 0;
    std::int32_t Ny = 0;
    std::int32_t itmax = 0;
    std::int32_t itgs = 0;
    std::int32_t itdesl = 0;
    double tol = 0.0;
    double reserva = 0.0;
    double nu = 0.0;
    double alpha = 0.0;
    std::int32_t modo_saida = 0;
    std::int32_t passo_hist = 0;

    // Constantes derivadas.
    double pi = 0.0;
    double K = 0.0;
    std::int32_t N = 0;
    double dx = 0.0;
    double dy = 0.0;

    // Coeficientes das três equações (centro, x, y).
    double aPT = 0.0, aXT = 0.0, aYT = 0.0;
    double aPu = 0.0, aXu = 0.0, aYu = 0.0;
    double aPv = 0.0, aXv = 0.0, aYv = 0.0;

    // Resultados e contadores.
    std::int32_t it = 0;
    double tempo = 0.0;
    double Tmed_a = 0.0;
    double Tmed_n = 0.0;
    std::int32_t itd = 0;

    // Vetores, na ordem de alocação.
    std::vector<double> Ta, T, y, x, L2, Linf, L1, v, Su, Sv, u;
};

// A instância única do processo.
extern Variaveis estado;

// Devolve o estado à condição de início de programa (zeros, nome em NUL, sem vetores).
void reiniciar_variaveis();
