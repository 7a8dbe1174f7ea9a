// Solvers de Gauss-Seidel rápidos: assinaturas e bits dos de referência
// (solvers.hpp) em T, phi, nas entradas listadas das histórias e em it, para
// qualquer malha e qualquer número de threads; nenhuma exceção de ponto
// flutuante que a referência não levante. As exceções levantadas nas threads
// de trabalho reaparecem na thread que chamou.
#pragma once

#include "nucleos_faixas.hpp"

#include <cstdint>
#include <span>

namespace rapido {

// Conjunto de instruções dos núcleos vetoriais: por padrão o melhor que a CPU
// tem (AVX-512, AVX2 ou o portável), escolhido na primeira chamada. Os
// resultados são os mesmos com qualquer um.
using faixas::Instrucoes;
bool instrucoes_disponiveis(Instrucoes conjunto);
// Usa o conjunto dado, se a CPU o tiver (devolve se usou).
bool usar_instrucoes(Instrucoes conjunto);
// Volta ao padrão.
void usar_melhores_instrucoes();
Instrucoes instrucoes_em_uso();
const char* nome(Instrucoes conjunto);

// Threads dos solvers rápidos; n <= 0 volta ao padrão: a variável de
// ambiente PLACA2D_THREADS, se for um inteiro positivo, ou as CPUs em que o
// processo pode rodar (a afinidade, não todas as da máquina).
void definir_threads(int n);
int numero_threads();

// Escolha do driver entre os solvers rápidos (padrão) e os de referência.
void usar_nucleos_rapidos(bool sim);
bool nucleos_rapidos();

// O caminho que a última chamada tomou (para os testes e a bancada): nas
// faixas, com quantas threads, ou a referência (malha, coeficientes ou
// memória que as faixas não aceitam). O driver com os solvers de referência
// não passa por aqui.
enum class Caminho { nenhum, faixas, referencia };
struct Percurso {
    Caminho caminho = Caminho::nenhum;
    int threads = 0;
};
Percurso ultimo_termico();
Percurso ultimo_deslocamento(); // de gs_fonte ou de iteracoes_deslocamento
void esquecer_percursos();
// Só para testes: as faixas não conseguem memória (como se a alocação
// falhasse), enquanto ligado.
void simular_falta_de_memoria(bool sim);

// Como ::gs_laplace, com passo_hist, o passo do histórico do relatório. Bit
// a bit iguais aos da referência: T, it, as exceções de ponto flutuante e,
// nas histórias, Linf(m) para todo m de 1 a it, L1(m) e L2(m) para m = it e
// para os múltiplos de passo_hist (todos com passo_hist 0 ou 1, nenhum além
// de it com passo negativo). Nas outras entradas até it, L1(m) é a soma dos
// |r| em outra ordem (relativamente a menos de 2 gama(n) da exata) ou a
// exata, e L2(m) fica como estava ou recebe a exata. Nada além de it muda.
void gs_laplace(double aP, double aX, double aY, std::int32_t itmax, double tol, std::int32_t Nx, std::int32_t Ny,
                std::span<double> L1, std::span<double> L2, std::span<double> Linf, std::int32_t& it,
                std::span<double> T, std::int32_t passo_hist = 1);

void gs_fonte(double aP, double aX, double aY, std::span<const double> S, std::int32_t nsweeps, std::int32_t Nx,
              std::int32_t Ny, std::span<double> phi);

// O passo 14 inteiro (itdesl vezes: fonte_u, gs_fonte em u, fonte_v,
// gs_fonte em v) sobre o estado, com os mesmos bits em u, v, Su, Sv, itd e
// nas exceções. Em faixas do começo ao fim quando pode; senão, as mesmas
// chamadas uma a uma.
void iteracoes_deslocamento();

} // namespace rapido
