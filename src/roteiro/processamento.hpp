// Sequência de passos de uma execução e a solução analítica.
#pragma once

#include "entrada_saida/dados.hpp"

// Uma execução completa: entrada, cálculo, pós-processamento e saída.
void simulacao(const Opcoes_de_saida& opcoes = {});

// O cálculo, de preparar_malha a iteracoes_deslocamento (o trecho que `tempo`
// mede), nas fases abaixo, nesta ordem.
void processar();
void preparar_malha();             // pi, K, N, alocação, dx, dy, x, y, zeros
void discretizacao_termica();      // coeficientes e contornos de T
void medidas_iniciais();           // entrada 0 das histórias
void solucao_termica();            // gs_laplace
void discretizacao_deslocamentos();// coeficientes e contornos de u e v
void iteracoes_deslocamento();     // itdesl iterações externas

// Solução analítica, média numérica e saída, nos temporários preparados antes do cálculo.
void pos_processamento(Saidas_preparadas saidas);
void solucao_analitica();
