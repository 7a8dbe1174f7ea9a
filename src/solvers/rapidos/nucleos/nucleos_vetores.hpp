// Vetores dos núcleos, comuns a nucleos_faixas.cpp e nucleos_fonte.cpp:
// largura, linhas por faixa, deslocamento de lanes e máscaras. Incluído só por
// esses dois arquivos, que são compilados uma vez por conjunto de instruções;
// tudo fica num espaço anônimo dentro do espaço do alvo (NUCLEOS_ALVO), para
// nenhuma função daqui ser compartilhada entre cópias compiladas com
// instruções diferentes.
#pragma once

#include <cstdint>

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

// Vetores genéricos do GCC, da largura dos registradores do alvo.
using vec = double __attribute__((vector_size(8 * W)));
using masc = std::int64_t __attribute__((vector_size(8 * W)));

// Índices inicio, inicio+1, ... das lanes de (a, b) para __builtin_shuffle.
inline masc sequencia(int inicio)
{
    masc m{};
    for (int l = 0; l < W; ++l) m[l] = inicio + l;
    return m;
}

// Lane l recebe a lane l+1 de `a`; a última recebe a lane 0 de `b`.
inline vec desce(vec a, vec b) { return __builtin_shuffle(a, b, sequencia(1)); }

// Lane 0 recebe a última lane de `a`; a lane l recebe a lane l-1 de `b`.
inline vec sobe(vec a, vec b) { return __builtin_shuffle(a, b, sequencia(W - 1)); }

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
