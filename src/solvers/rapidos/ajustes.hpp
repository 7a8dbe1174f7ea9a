// Os ajustes dos solvers rápidos que o programa não muda: o conjunto de
// instruções dos núcleos e o número de threads. A bancada e os testes os
// mudam; os bits não dependem deles.
#pragma once

#include "solvers/solvers_rapidos.hpp"

namespace rapido {

// Usa o conjunto de instruções dado, se a CPU o tiver (devolve se usou).
bool usar_instrucoes(Instrucoes conjunto);
// Volta ao padrão.
void usar_melhores_instrucoes();

// Threads dos solvers rápidos. n >= 1 fixa n threads em todo lote, sem o
// limiar nem a Escolha: a bancada mede e os testes conferem assim as
// passagens entre n threads, em qualquer malha. n <= 0 volta ao padrão: no
// máximo PLACA2D_THREADS, se for um inteiro de 1 a maximo_de_threads, ou as
// CPUs em que o processo pode rodar (a afinidade, não todas as da máquina),
// com o limiar e a Escolha.
void definir_threads(int n);
int numero_threads();
bool threads_fixas();

} // namespace rapido
