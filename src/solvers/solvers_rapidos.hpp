// Solvers de Gauss-Seidel rápidos: as assinaturas dos de referência
// (solvers.hpp) e os mesmos bits em T, phi, u, v, Su, Sv, it e nas entradas
// das histórias que o relatório lista (o contrato de gs_laplace diz quais),
// para qualquer malha e qualquer número de threads; nenhuma exceção de ponto
// flutuante que a referência não levante. As exceções levantadas nas threads
// de trabalho reaparecem na thread que chamou. A implementação fica em
// rapidos/ (o arranjo em faixas, a equipe de threads e os protocolos entre
// elas) e os núcleos vetoriais em rapidos/nucleos/; os ajustes que só a
// bancada e os testes mudam (o conjunto de instruções em uso, as threads),
// em rapidos/ajustes.hpp.
#pragma once

#include "solvers/solvers.hpp"

#include <cstdint>
#include <span>

namespace rapido {

// Conjunto de instruções dos núcleos vetoriais: por padrão o melhor que a CPU
// tem (AVX-512, AVX2 ou o portável), escolhido na primeira chamada.
enum class Instrucoes { portavel, avx2, avx512 }; // do mais simples ao mais largo
bool instrucoes_disponiveis(Instrucoes conjunto);
Instrucoes instrucoes_em_uso();
const char* nome(Instrucoes conjunto);

// O maior número de threads dos solvers rápidos (e de PLACA2D_THREADS).
constexpr int maximo_de_threads = 1024;

// Se o driver (processamento) usa os solvers rápidos (padrão) ou os de
// referência.
void usar_no_driver(bool sim);
bool usados_no_driver();

// O caminho que uma chamada tomou (para os testes e a bancada): nas faixas,
// ou a referência (malha, coeficientes ou memória que as faixas não
// aceitam), e o maior número de threads que algum lote dela usou (1 na
// referência); nenhum se não havia o que varrer.
enum class Caminho { nenhum, faixas, referencia };
struct Percurso {
    Caminho caminho = Caminho::nenhum;
    int threads = 0;
};

// Como referencia::gs_laplace, com passo_hist, o passo do histórico do
// relatório. Bit a bit iguais aos da referência: T, it, as exceções de ponto
// flutuante e, nas histórias, Linf(m) para todo m de 1 a it, L1(m) e L2(m)
// nas entradas que o relatório lista (listadas.hpp). Nas outras entradas até
// it, L1(m) é a soma dos |r| em outra ordem (relativamente a menos de
// 2 gama(n) da exata) ou a exata, e L2(m) fica como estava ou recebe a
// exata. Nada além de it muda.
Percurso gs_laplace(double aP, double aX, double aY, std::int32_t itmax, double tol, std::int32_t Nx,
                    std::int32_t Ny, std::span<double> L1, std::span<double> L2, std::span<double> Linf,
                    std::int32_t& it, std::span<double> T, std::int32_t passo_hist = 1);

Percurso gs_fonte(double aP, double aX, double aY, std::span<const double> S, std::int32_t nsweeps, std::int32_t Nx,
                  std::int32_t Ny, std::span<double> phi);

// A fase dos deslocamentos inteira, como referencia::iteracoes_deslocamento,
// com os mesmos bits em u, v, Su, Sv e nas exceções. Em faixas do começo ao
// fim quando pode (uma só tubulação: sem criar threads, alocar ou converter
// entre as chamadas); senão, o laço de referência com gs_fonte rápido (o
// caminho diz referencia, com as threads do gs_fonte que mais usou).
Percurso iteracoes_deslocamento(const Deslocamentos& d, const Campos_deslocamento& c);

} // namespace rapido
