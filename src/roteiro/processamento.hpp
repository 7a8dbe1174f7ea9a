// Sequência de passos de uma execução e a solução analítica.
#pragma once

#include "entrada_saida/dados.hpp"
#include "solvers/solvers_rapidos.hpp"

// Uma execução completa: entrada, cálculo, pós-processamento e saída.
void simulacao(const Opcoes_de_saida& opcoes = {});

// Os caminhos que as duas fases tomaram nos solvers rápidos (nenhum com os
// de referência no driver): para os testes e a bancada.
struct Percursos {
    rapido::Percurso termico, deslocamentos;
};

// O cálculo, de preparar_malha a iteracoes_deslocamento (o trecho que `tempo`
// mede), nas fases abaixo, nesta ordem.
Percursos processar();
void preparar_malha();             // pi, K, N, alocação (tudo zero), dx, dy, x, y
void discretizacao_termica();      // coeficientes e contornos de T
void medidas_iniciais();           // entrada 0 das histórias
rapido::Percurso solucao_termica();          // gs_laplace
void discretizacao_deslocamentos();          // coeficientes e contornos de u e v
rapido::Percurso iteracoes_deslocamento();   // itdesl iterações externas

// Solução analítica, média numérica e saída, nos temporários preparados antes do cálculo.
void pos_processamento(Saidas_preparadas saidas);
void solucao_analitica();
