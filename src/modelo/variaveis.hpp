// Estado da simulação: o registro único que todas as rotinas compartilham.
// A numeração dos nós e a posição de cada um nos vetores estão em malha.hpp.
// As histórias L1, L2, Linf guardam a entrada n (0..itmax) no elemento n; com os
// solvers rápidos são exatas em Linf até it e em L1, L2 só em 0, it e nos
// múltiplos de passo_hist (as linhas do relatório).
#pragma once

#include "plataforma/memoria.hpp"

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <utility>
#include <vector>

constexpr int tamanho_nome_relatorio = 100;

// Alocador das histórias: memória zerada sob demanda. Um vetor criado com n
// elementos não escreve neles (já são zeros), e só as páginas das iterações
// feitas ocupam memória física: itmax não custa o que a execução não usa
// (no Windows, conta no limite de compromisso; ver alocar_sob_demanda). Crie a
// história já do tamanho certo (Historia(n)); aumentada depois de diminuída,
// os elementos novos não seriam zerados.
template <class T>
struct Alocador_sob_demanda {
    using value_type = T;
    Alocador_sob_demanda() = default;
    template <class U>
    Alocador_sob_demanda(const Alocador_sob_demanda<U>&) noexcept
    {
    }
    T* allocate(std::size_t n)
    {
        void* p = alocar_sob_demanda(n * sizeof(T));
        if (p == nullptr) throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t n) noexcept { liberar_sob_demanda(p, n * sizeof(T)); }
    template <class U>
    void construct(U*) noexcept
    {
    }
    template <class U, class... A>
    void construct(U* p, A&&... argumentos)
    {
        ::new (static_cast<void*>(p)) U(std::forward<A>(argumentos)...);
    }
    template <class U>
    bool operator==(const Alocador_sob_demanda<U>&) const noexcept
    {
        return true;
    }
};
using Historia = std::vector<double, Alocador_sob_demanda<double>>;

struct Variaveis {
    // Parâmetros de entrada, na ordem do arquivo.
    std::string nome_relatorio = std::string(tamanho_nome_relatorio, '\0');
    // O nome como escrito na linha 1, inteiro (antes do corte): decide a
    // codificação do nome no Windows e o aviso do corte. Vazio se o estado não
    // veio de uma entrada lida.
    std::string nome_relatorio_escrito;
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
    std::vector<double> Ta, T, y, x;
    Historia L2, Linf, L1;
    std::vector<double> v, Su, Sv, u;
};

// A instância única do processo.
extern Variaveis estado;

// Devolve o estado à condição de início de programa (zeros, nome em NUL, sem vetores).
void reiniciar_variaveis();
