// Solvers de Gauss-Seidel rápidos: as assinaturas dos de referência
// (solvers.hpp) e os mesmos bits em T, phi, u, v, Su, Sv, it e nas entradas
// das histórias que o relatório lista (o contrato de gs_laplace diz quais),
// para qualquer malha e qualquer número de threads; nenhuma exceção de ponto
// flutuante que a referência não levante. As exceções levantadas nas threads
// de trabalho reaparecem na thread que chamou. A implementação fica em
// rapidos/ (o arranjo em faixas, a equipe de threads e os protocolos entre
// elas) e os núcleos vetoriais em rapidos/nucleos/.
#pragma once

#include "solvers/solvers.hpp"

#include <cstdint>
#include <span>

namespace rapido {

// Conjunto de instruções dos núcleos vetoriais: por padrão o melhor que a CPU
// tem (AVX-512, AVX2 ou o portável), escolhido na primeira chamada. Os
// resultados são os mesmos com qualquer um.
enum class Instrucoes { portavel, avx2, avx512 }; // do mais simples ao mais largo
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

// Se o driver (processamento) usa os solvers rápidos (padrão) ou os de
// referência.
void usar_no_driver(bool sim);
bool usados_no_driver();

// O caminho que a última chamada tomou (para os testes e a bancada): nas
// faixas, ou a referência (malha, coeficientes ou memória que as faixas não
// aceitam), e o maior número de threads que algum lote dela usou (1 na
// referência). O driver com os solvers de referência não passa por aqui.
enum class Caminho { nenhum, faixas, referencia };
// Alinhado a 8: guardado num std::atomic, que assim o Clang também lê e grava
// numa instrução (com alinhamento 4 ele chama o __atomic_store da libatomic).
struct alignas(8) Percurso {
    Caminho caminho = Caminho::nenhum;
    int threads = 0;
};
Percurso ultimo_termico();
Percurso ultimo_deslocamento(); // de gs_fonte ou de iteracoes_deslocamento
void esquecer_percursos();
// Só para testes: as faixas não conseguem memória (como se a alocação
// falhasse), enquanto ligado.
void simular_falta_de_memoria(bool sim);

// Como referencia::gs_laplace, com passo_hist, o passo do histórico do relatório. Bit
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

// A fase dos deslocamentos inteira, como referencia::iteracoes_deslocamento,
// com os mesmos bits em u, v, Su, Sv e nas exceções. Em faixas do começo ao
// fim quando pode (uma só tubulação: sem criar threads, alocar ou converter
// entre as chamadas); senão, o laço de referência com gs_fonte rápido.
void iteracoes_deslocamento(const Deslocamentos& d, const Campos_deslocamento& c);

} // namespace rapido
