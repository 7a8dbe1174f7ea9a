// Os ajustes dos solvers rápidos que o programa não muda: o conjunto de
// instruções dos núcleos e o número de threads. A bancada e os testes os
// mudam; os bits não dependem deles.
#pragma once

namespace rapido {

// Conjunto de instruções dos núcleos vetoriais: por padrão o melhor que a CPU
// tem (AVX-512, AVX2 ou o portável), escolhido na primeira chamada.
enum class Instrucoes { portavel, avx2, avx512 }; // do mais simples ao mais largo
bool instrucoes_disponiveis(Instrucoes conjunto);
// Usa o conjunto dado, se a CPU o tiver (devolve se usou).
bool usar_instrucoes(Instrucoes conjunto);
// Volta ao padrão.
void usar_melhores_instrucoes();
Instrucoes instrucoes_em_uso();
const char* nome(Instrucoes conjunto);

// O maior número de threads dos solvers rápidos (e de PLACA2D_THREADS).
constexpr int maximo_de_threads = 1024;

// Threads dos solvers rápidos; n <= 0 volta ao padrão: a variável de
// ambiente PLACA2D_THREADS, se for um inteiro de 1 a maximo_de_threads, ou
// as CPUs em que o processo pode rodar (a afinidade, não todas as da máquina).
void definir_threads(int n);
int numero_threads();

} // namespace rapido
