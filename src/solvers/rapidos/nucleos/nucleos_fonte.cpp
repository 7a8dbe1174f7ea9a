// Núcleos vetoriais das fontes dos deslocamentos nas faixas. Compilado uma
// vez por conjunto de instruções, como nucleos_faixas.cpp (mesma largura de
// vetores e mesmas L linhas por faixa; fonte_rapida.cpp confere). As contas
// por nó são as de fonte_u e fonte_v, na mesma ordem, com divisão
// verdadeira; lanes fora do interior fazem contas só com zeros.
#include "nucleos_fonte.hpp"
#include "nucleos_vetores.hpp"

#include <cstddef>
#include <cstdint>

namespace faixas::NUCLEOS_ALVO {

namespace {

vec* vetores(const Vista& f, int b, int p)
{
    const std::ptrdiff_t grupo = static_cast<std::ptrdiff_t>(b + 1) * f.posicoes + p + L;
    return reinterpret_cast<vec*>(f.origem + grupo * L);
}

// fonte_de_v: a fonte de v (termo misto com SW antes de NE).
template <bool fonte_de_v>
void fonte(Vista S, Vista X, Vista G, int b, Constantes_fonte c, Vizinhas viz)
{
    const std::int32_t Nx = S.Nx, Ny = S.Ny;
    const std::int64_t primeira = static_cast<std::int64_t>(b) * L + 2; // linha da lane 0
    const std::int64_t interiores = Ny - primeira;                       // linhas interiores na faixa
    const int com_interior = static_cast<int>(interiores <= 0 ? 0 : (interiores + W - 1) / W < NV ? (interiores + W - 1) / W : NV);
    masc na_malha[NV]; // lanes de linhas interiores
    for (int v = 0; v < NV; ++v) {
        for (int l = 0; l < W; ++l) na_malha[v][l] = primeira + v * W + l <= Ny - 1 ? -1 : 0;
    }
    const vec quarto = espalhar(0.25);
    const vec dxdy = espalhar(c.dxdy);
    const vec K = espalhar(c.K);
    vec* saida = vetores(S, b, 0);
    for (int p = 1; p <= Nx + L - 3; ++p) {
        const vec* x0 = vetores(X, b, p);
        const vec* xl = vetores(X, b, p + 2);
        const vec* xo = vetores(X, b, p - 2);
        const vec* g = vetores(G, b, p);
        // Só a lane 0 dos de cima e a W-1 dos de baixo contam: nas linhas
        // compactas, as colunas p+3-L e p+1-L em cima, p e p+2 embaixo.
        const vec cima_l = viz.acima ? carregar(viz.acima + p + 3 - L) : vetores(X, b + 1, p + 2 - L)[0];
        const vec cima_0 = viz.acima ? carregar(viz.acima + p + 1 - L) : vetores(X, b + 1, p - L)[0];
        const vec baixo_o = viz.abaixo ? carregar(viz.abaixo + p + 1 - W) : vetores(X, b - 1, p - 2 + L)[NV - 1];
        const vec baixo_0 = viz.abaixo ? carregar(viz.abaixo + p + 3 - W) : vetores(X, b - 1, p + L)[NV - 1];
        for (int v = 0; v < com_interior; ++v) {
            // Colunas ix = p + 1 - j entre 2 e Nx - 1: p + 2 - Nx <= j <= p - 1.
            const std::int64_t k = static_cast<std::int64_t>(p) - v * W;
            const masc ativo = na_malha[v] & lanes_a_partir(k + 2 - Nx) & ~lanes_a_partir(k);
            const vec NE = ou_zero(ativo, desce(xl[v], v + 1 < NV ? xl[v + 1] : cima_l));
            const vec NW = ou_zero(ativo, desce(x0[v], v + 1 < NV ? x0[v + 1] : cima_0));
            const vec SW = ou_zero(ativo, sobe(v > 0 ? xo[v - 1] : baixo_o, xo[v]));
            const vec SE = ou_zero(ativo, sobe(v > 0 ? x0[v - 1] : baixo_0, x0[v]));
            const vec gg = ou_zero(ativo, g[v]);
            vec soma;
            if constexpr (fonte_de_v) soma = SW + NE;
            else soma = NE + SW;
            const vec m = (soma - SE - NW) * quarto / dxdy;
            saida[p * NV + v] = (m - gg) * K;
        }
    }
}

} // namespace

const Nucleos_fonte nucleos_fonte{L, fonte<false>, fonte<true>};

} // namespace faixas::NUCLEOS_ALVO
