// Os lotes das duas fases: os tamanhos, com os motivos, e o laço que
// alimenta a Escolha com o que o sistema mostra.
#include "lotes.hpp"

#include "plataforma/cpus.hpp"
#include "ajustes.hpp"
#include "equipe.hpp"
#include "escolha.hpp"

#include <algorithm>
#include <chrono>

namespace lotes {

namespace {

// Nós varridos num lote inteiro da solução térmica (com os resíduos) e
// nós-etapa num da fase dos deslocamentos: o bastante para que o começo e o
// fim de cada lote, que deixam as threads esperando (meia varredura cada),
// pesem pouco (com um quarto disso pesavam, em 1001 x 1001: bancada
// completa), e pouco para que a Escolha veja a carga que chega em poucos
// lotes. A varredura térmica custa mais por nó: os dois lotes levam tempos
// parecidos.
constexpr double nos_por_lote_termico = 1.6e7;
constexpr double nos_por_lote_deslocamentos = 3e7;

// Um lote térmico tem de 4 varreduras (a tubulação tem o que sobrepor) a um
// milhão (malhas minúsculas: o lote inteiro acaba antes de a Escolha
// precisar de outro). Um dos deslocamentos tem ao menos 4 etapas por thread:
// a tubulação enche (a thread t começa t etapas depois da primeira).
constexpr double menor_lote_termico = 4.0;
constexpr double maior_lote_termico = 1e6;
constexpr long long menor_lote_por_thread = 4;

// Um lote curto (de teste, de aquecer, de alerta) tem ao menos 8 etapas, na
// mesma razão: com menos, o começo e o fim dominam a medida.
constexpr long long menor_lote_curto = 8;

// Menos de duas CPUs sem tarefas prontas de outros processos (onde o
// sistema não mostra as tarefas, nunca). As de prioridade baixa contam
// também: com um laço ocupado de nice 19 ao lado, os lotes de teste com n
// threads ainda levaram muitas vezes o tempo dos com uma (bancada carga).
bool cpus_tomadas() { return cpus_disponiveis() - tarefas_prontas_de_outros() < 2; }

} // namespace

long long termico(std::int32_t Nx, std::int32_t Ny)
{
    const double nos = (Nx - 2.0) * (Ny - 2.0);
    return static_cast<long long>(std::clamp(nos_por_lote_termico / nos, menor_lote_termico, maior_lote_termico));
}

long long deslocamentos(std::int32_t Nx, std::int32_t Ny, int n)
{
    const long long nos = std::max<long long>(static_cast<long long>(Nx) * Ny, 1);
    return std::max(menor_lote_por_thread * n, static_cast<long long>(nos_por_lote_deslocamentos) / nos);
}

int threads(int n, std::int32_t Nx, std::int32_t Ny)
{
    if (rapido::threads_fixas()) return n;
    return equipe::Escolha::threads_que_pagam(n, (Nx - 2.0) * (Ny - 2.0));
}

int em_lotes(int n, long long etapas, long long por_lote,
             const std::function<long long(long long, long long, int)>& lote)
{
    if (n <= 1) {
        lote(0, etapas, 1);
        return 1;
    }
    if (rapido::threads_fixas()) {
        for (long long k = 0; k < etapas;) k = lote(k, std::min(etapas, k + por_lote), n);
        return n;
    }
    const equipe::Escolha::Cpus_tomadas leitura = cpus_tomadas;
    equipe::Escolha escolha(n, carga_do_sistema_visivel(), leitura);
    int maior = 1;
    for (long long k = 0; k < etapas;) {
        const long long fim = std::min(etapas, k + std::max(menor_lote_curto, por_lote / escolha.divisor()));
        const int usar = escolha.threads();
        maior = std::max(maior, usar);
        const long long dormidas = equipe::dormidas();
        const auto inicio = std::chrono::steady_clock::now();
        const long long seguinte = lote(k, fim, usar);
        if (seguinte >= etapas) break;
        const std::chrono::duration<double> d = std::chrono::steady_clock::now() - inicio;
        escolha.depois(d.count() / static_cast<double>(fim - k), equipe::dormidas() != dormidas, leitura);
        k = seguinte;
    }
    return maior;
}

} // namespace lotes
