// Vetores dos núcleos, comuns a nucleos_faixas.cpp e nucleos_fonte.cpp:
// largura, linhas por faixa, deslocamento de lanes e máscaras. Incluído só por
// esses dois arquivos, que são compilados uma vez por conjunto de instruções;
// tudo fica num espaço anônimo dentro do espaço do alvo (NUCLEOS_ALVO), para
// nenhuma função daqui ser compartilhada entre cópias compiladas com
// instruções diferentes.
#pragma once

#include <cstdint>
#include <utility>

namespace faixas::NUCLEOS_ALVO {

namespace {

// W: lanes por vetor. NV: vetores por passo da frente de onda, o bastante
// para a latência de um passo (soma, produto, soma e divisão) ficar coberta
// pela vazão das divisões.
#if defined(__AVX512F__)
constexpr int W = 8;
constexpr int NV = 4;
#elif defined(__AVX__)
constexpr int W = 4;
constexpr int NV = 6;
#else
constexpr int W = 2;
constexpr int NV = 6;
#endif
constexpr int L = W * NV; // linhas por faixa

// Vetores genéricos, da largura dos registradores do alvo: a extensão
// vector_size, que o GCC e o Clang têm iguais (operadores lane a lane,
// índice, ?: com máscara e conversão de bits entre vetores do mesmo tamanho).
using vec = double __attribute__((vector_size(8 * W)));
using masc = std::int64_t __attribute__((vector_size(8 * W)));

// As lanes inicio, inicio+1, ..., inicio+W-1 da concatenação (a, b). O GCC
// só tem __builtin_shufflevector a partir do 12 (o Ubuntu 22.04 traz o 11).
template <int inicio, int... l>
inline vec janela(vec a, vec b, std::integer_sequence<int, l...>)
{
#if defined(__clang__) || __GNUC__ >= 12
    return __builtin_shufflevector(a, b, (inicio + l)...);
#else
    return __builtin_shuffle(a, b, masc{(inicio + l)...});
#endif
}

// Lane l recebe a lane l+1 de `a`; a última recebe a lane 0 de `b`.
inline vec desce(vec a, vec b) { return janela<1>(a, b, std::make_integer_sequence<int, W>{}); }

// Lane 0 recebe a última lane de `a`; a lane l recebe a lane l-1 de `b`.
inline vec sobe(vec a, vec b) { return janela<W - 1>(a, b, std::make_integer_sequence<int, W>{}); }

// O mesmo valor em todas as lanes, sem conta: vec{} + a daria +0 com a = -0
// (e a - vec{}, -0 com a = +0 no arredondamento para baixo), e o sinal desse
// zero chega aos resultados.
inline vec espalhar(double a)
{
    vec x{};
    for (int l = 0; l < W; ++l) x[l] = a;
    return x;
}

// Um vetor de W doubles seguidos, sem exigir alinhamento (linhas compactas).
inline vec carregar(const double* p)
{
    vec x;
    __builtin_memcpy(&x, p, sizeof x);
    return x;
}

inline vec ou_zero(masc ativo, vec x) { return (vec)((masc)x & ativo); }

// Degraus de máscara: W zeros e depois W uns. Os W elementos a partir de
// degrau[W - k] ligam as lanes l >= k; ler da tabela sai mais barato que
// comparar inteiros de 64 bits, que o SSE2 não tem.
struct Degrau {
    std::int64_t elemento[2 * W];
    constexpr Degrau() : elemento{}
    {
        for (int i = W; i < 2 * W; ++i) elemento[i] = -1;
    }
};
constexpr Degrau degrau;

// Lanes l >= k.
inline masc lanes_a_partir(std::int64_t k)
{
    const std::int64_t limitado = k < 0 ? 0 : (k > W ? W : k);
    masc m;
    __builtin_memcpy(&m, degrau.elemento + W - limitado, sizeof m);
    return m;
}

} // namespace

} // namespace faixas::NUCLEOS_ALVO
