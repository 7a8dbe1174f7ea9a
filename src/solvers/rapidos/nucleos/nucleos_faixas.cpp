// Núcleos vetoriais das varreduras em faixas. Este arquivo é compilado uma
// vez por conjunto de instruções, com NUCLEOS_ALVO dando o nome do espaço de
// nomes (avx512, avx2 ou portavel) e as opções do compilador dando a
// largura dos vetores. Tudo aqui fica nesse espaço de nomes ou num anônimo:
// nada de funções inline de outros cabeçalhos.
//
// As contas por nó são as dos solvers de referência, na mesma ordem e com
// divisão verdadeira; lanes fora do interior fazem contas só com zeros e não
// mudam de valor, para não levantar exceção de ponto flutuante nenhuma.
#include "nucleos_faixas.hpp"
#include "nucleos_vetores.hpp"

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace faixas::NUCLEOS_ALVO {

namespace {

// Todos os bits menos o de sinal: com um "e", o valor absoluto.
masc sem_sinal() { return masc{} + INT64_MAX; }

// Os vetores da posição p da faixa b: o vetor v em [p * NV + v].
vec* vetores(const Vista& f, int b, int p)
{
    const std::ptrdiff_t grupo = static_cast<std::ptrdiff_t>(b + 1) * f.posicoes + p + L;
    return reinterpret_cast<vec*>(f.origem + grupo * L);
}

// a > m ? a : m, lane a lane (com a NaN, m): no x86, o maxpd, que devolve o
// segundo operando quando um deles é NaN, numa instrução só (a comparação
// seguida de seleção pode virar duas).
vec maior_de(vec a, vec m)
{
#if defined(__AVX512F__)
    // Com máscara (todas as lanes): o _mm512_max_pd do GCC 12 parte de um
    // _mm512_undefined_pd() e faz o -Wmaybe-uninitialized avisar.
    return _mm512_mask_max_pd(m, 0xFF, a, m);
#elif defined(__AVX__)
    return _mm256_max_pd(a, m);
#elif defined(__SSE2__)
    return _mm_max_pd(a, m);
#else
    return a > m ? a : m;
#endif
}

struct Coef_vetor {
    vec aP, aX, aY;
};

// Quanto de um vetor é nó interior num passo.
enum class Cobertura { nada, parte, tudo };

// Quais lanes de uma faixa são nós interiores em cada posição.
class Interior {
public:
    Interior(int b, std::int32_t Nx, std::int32_t Ny) : Nx_(Nx)
    {
        const std::int64_t primeira = static_cast<std::int64_t>(b) * L + 2; // linha da lane 0
        for (int v = 0; v < NV; ++v) {
            for (int l = 0; l < W; ++l) {
                const int j = v * W + l;
                lanes_interiores_[v][l] = primeira + j <= Ny - 1 ? -1 : 0;
                sem_topo_[v][l] = j == L - 1 ? 0 : -1;
            }
            cobertura_linhas_[v] = primeira + v * W + W - 1 <= Ny - 1   ? Cobertura::tudo
                         : primeira + v * W <= Ny - 1 ? Cobertura::parte
                                                      : Cobertura::nada;
        }
        todas_ = Ny - primeira >= L;
    }

    // Cobertura do vetor v nas posições p0 a p1 (p0 = p1 ou p1 - 1): tudo
    // se toda lane é nó interior nas duas, nada se nenhuma é em nenhuma.
    Cobertura cobertura(int v, int p0, int p1) const
    {
        const int j0 = v * W;
        const int j1 = j0 + W - 1;
        if (cobertura_linhas_[v] == Cobertura::nada || j0 > p1 - 1 || j1 < p0 + 2 - Nx_) return Cobertura::nada;
        if (cobertura_linhas_[v] == Cobertura::tudo && j1 <= p0 - 1 && j0 >= p1 + 2 - Nx_) return Cobertura::tudo;
        return Cobertura::parte;
    }

    // Lanes do vetor v que são nós interiores na posição p: linha interior
    // e coluna ix = p + 1 - j entre 2 e Nx - 1, ou seja,
    // p + 2 - Nx <= j <= p - 1, com j = v * W + l.
    masc ativos(int v, int p) const
    {
        const std::int64_t k = static_cast<std::int64_t>(p) - v * W;
        return lanes_interiores_[v] & lanes_a_partir(k + 2 - Nx_) & ~lanes_a_partir(k);
    }

    // Todas as lanes, menos a de cima da faixa, cujo vizinho norte é da
    // faixa seguinte, ainda não varrida: o resíduo dela sai depois.
    masc sem_topo(int v) const { return sem_topo_[v]; }

    // Primeira e última posição em que toda lane é nó interior (vazio se
    // nenhuma): colunas 2 <= p + 1 - j <= Nx - 1 para j = 0 .. L-1.
    int primeira_cheia() const { return L; }
    int ultima_cheia() const { return todas_ ? Nx_ - 2 : L - 1; }

    // Posições com algum nó da faixa: de 1 a Nx + L - 3.
    int ultima_posicao() const { return Nx_ + L - 3; }

private:
    masc lanes_interiores_[NV];
    Cobertura cobertura_linhas_[NV]; // das linhas de cada vetor
    masc sem_topo_[NV];
    std::int32_t Nx_;
    bool todas_; // todas as L linhas são interiores
};

// Os campos de uma varredura: os valores velhos são lidos de `velho` e os
// novos escritos em `novo`, que pode ser o mesmo campo.
struct Campos {
    Vista velho, novo, fonte, copia, residuos;
    Vizinhas viz;
};


// Varredura de uma faixa em frente de onda: na posição s, os usados primeiros
// vetores (os outros não têm linha interior) recebem os valores novos,
// calculados com os da posição s-1 já novos (oeste na mesma lane, sul na
// lane de baixo) e os da posição s+1 ainda velhos (leste na mesma lane,
// norte na lane de cima). Com resíduos, o passo s também calcula os da
// posição s-1, cujos vizinhos ficaram todos novos, e acumula o maior |r| e
// a soma dos |r| de cada lane. Com cópia, os valores velhos dos vetores com
// nó interior vão também para `copia` (os outros nunca mudam); com guarda,
// os resíduos vão para `residuos`. Lanes e vetores sem nó
// interior ficam com o valor velho, que é o mesmo nos dois campos.
template <int usados, bool com_fonte, bool com_residuos, bool com_copia, bool com_guarda>
class Varredura {
public:
    Varredura(const Campos& k, int b, const Coeficientes& c)
        : velho_(vetores(k.velho, b, 0)), novo_(vetores(k.novo, b, 0)),
          fonte_(com_fonte ? vetores(k.fonte, b, 0) : nullptr), copia_(com_copia ? vetores(k.copia, b, 0) : nullptr),
          residuos_(com_guarda ? vetores(k.residuos, b, 0) : nullptr),
          // Na linha compacta, a lane W-1 do vetor de baixo (a única usada) é
          // a coluna s+1 e a lane 0 do de cima é a coluna s+2-L.
          baixo_(k.viz.abaixo != nullptr ? k.viz.abaixo + 2 - W
                                         : reinterpret_cast<const double*>(vetores(k.novo, b - 1, L - 1) + (NV - 1))),
          passo_baixo_(k.viz.abaixo != nullptr ? 1 : L),
          cima_(k.viz.acima != nullptr ? k.viz.acima + 2 - L
                                       : reinterpret_cast<const double*>(vetores(k.velho, b + 1, 1 - L))),
          passo_cima_(k.viz.acima != nullptr ? 1 : L),
          c_{espalhar(c.aP), espalhar(c.aX), espalhar(c.aY)}, interior_(b, k.novo.Nx, k.novo.Ny)
    {
    }

    // Varre a faixa; com resíduos, devolve o maior |r| e a soma dos |r| de
    // cada lane.
    void varrer(vec (&maior)[usados], vec (&soma)[usados])
    {
        vec anterior[usados], oeste[usados], sul[usados];
#pragma GCC unroll 8
        for (int v = 0; v < usados; ++v) {
            anterior[v] = velho_[v];
            oeste[v] = vec{};
            sul[v] = vec{};
            maior[v] = vec{};
            soma[v] = vec{};
        }
        // Com resíduos o passo s é livre de máscaras quando s e s-1 são
        // cheias; há um passo a mais, só para os resíduos da última posição.
        const int extra = com_residuos ? 1 : 0;
        const int cheia0 = interior_.primeira_cheia() + extra;
        const int cheia1 = interior_.ultima_cheia();
        const int ultima = interior_.ultima_posicao() + extra;
        int s = 1;
        for (; s <= ultima && s < cheia0; ++s) passo<true>(s, anterior, oeste, sul, maior, soma);
        for (; s <= cheia1; ++s) passo<false>(s, anterior, oeste, sul, maior, soma);
        for (; s <= ultima; ++s) passo<true>(s, anterior, oeste, sul, maior, soma);
    }

private:
    // Nos passos com máscara, cada vetor é tratado conforme a cobertura:
    // inteiro, com máscara ou, sem nó interior, só com os valores velhos
    // (que o campo novo já tem).
    template <bool mascara>
    [[gnu::always_inline]] void passo(int s, vec (&anterior)[usados], vec (&oeste)[usados], vec (&sul)[usados],
                                      vec (&maior)[usados], vec (&soma)[usados])
    {
        const vec* atual = velho_ + s * NV;
        const vec* leste = atual + NV;
        const vec sul_externo = carregar(baixo_ + s * passo_baixo_);
        const vec norte_externo = carregar(cima_ + s * passo_cima_);
        Cobertura cobre[usados];
        vec novo[usados], sul_novo[usados];
#pragma GCC unroll 8
        for (int v = 0; v < usados; ++v) {
            cobre[v] = mascara ? interior_.cobertura(v, com_residuos ? s - 1 : s, s) : Cobertura::tudo;
            if (cobre[v] == Cobertura::nada) {
                novo[v] = atual[v];
                sul_novo[v] = vec{};
                continue;
            }
            vec e = leste[v];
            vec n = desce(e, v + 1 < NV ? leste[v + 1] : norte_externo);
            vec o = anterior[v];
            vec so = sobe(v > 0 ? anterior[v - 1] : sul_externo, o);
            vec q;
            if (cobre[v] == Cobertura::parte) {
                const masc ativo = interior_.ativos(v, s);
                n = ou_zero(ativo, n);
                so = ou_zero(ativo, so);
                e = ou_zero(ativo, e);
                o = ou_zero(ativo, o);
                q = c_.aY * (n + so) + c_.aX * (e + o);
                if constexpr (com_fonte) q = q + ou_zero(ativo, fonte_[s * NV + v]);
                q = q / c_.aP;
                q = ativo ? q : atual[v];
            } else {
                q = c_.aY * (n + so) + c_.aX * (e + o);
                if constexpr (com_fonte) q = q + fonte_[s * NV + v];
                q = q / c_.aP;
            }
            novo[v] = q;
            sul_novo[v] = so;
        }
        if constexpr (com_residuos) residuos_atras(s, cobre, anterior, novo, oeste, sul, maior, soma);
#pragma GCC unroll 8
        for (int v = 0; v < usados; ++v) {
            if (cobre[v] != Cobertura::nada) {
                if constexpr (com_copia) copia_[s * NV + v] = atual[v];
                novo_[s * NV + v] = novo[v];
            }
            oeste[v] = anterior[v];
            sul[v] = sul_novo[v];
            anterior[v] = novo[v];
        }
    }

    // Resíduos da posição s-1: centro `anterior`, leste e norte `novo`
    // (posição s), oeste e sul os da varredura da posição s-1.
    [[gnu::always_inline]] void residuos_atras(int s, const Cobertura (&cobre)[usados], const vec (&anterior)[usados],
                                               const vec (&novo)[usados], const vec (&oeste)[usados],
                                               const vec (&sul)[usados], vec (&maior)[usados], vec (&soma)[usados])
    {
        const vec* atual = velho_ + s * NV;
        [[maybe_unused]] vec* saida = com_guarda ? residuos_ + (s - 1) * NV : nullptr;
#pragma GCC unroll 8
        for (int v = 0; v < usados; ++v) {
            if (cobre[v] == Cobertura::nada) continue;
            // Acima do vetor usados-1 não há linha interior: o norte dele é o
            // valor guardado; acima da faixa, zero.
            const vec acima = v + 1 < usados ? novo[v + 1] : (v + 1 < NV ? atual[v + 1] : vec{});
            vec n = desce(novo[v], acima);
            vec so = sul[v];
            vec e = novo[v];
            vec o = oeste[v];
            vec centro = anterior[v];
            if (cobre[v] == Cobertura::parte) {
                const masc ativo = interior_.sem_topo(v) & interior_.ativos(v, s - 1);
                n = ou_zero(ativo, n);
                so = ou_zero(ativo, so);
                e = ou_zero(ativo, e);
                o = ou_zero(ativo, o);
                centro = ou_zero(ativo, centro);
            } else if (v == NV - 1) {
                // Na lane de cima o norte já é zero; zerados também o sul e o
                // centro, sobra aX*(e + o), que a referência também calcula.
                // Esse valor fica fora do máximo; o resíduo certo sai depois,
                // em residuos_linha_topo.
                so = ou_zero(interior_.sem_topo(v), so);
                centro = ou_zero(interior_.sem_topo(v), centro);
            }
            const vec r = c_.aY * (n + so) + c_.aX * (e + o) - c_.aP * centro;
            const masc modulo = v == NV - 1 ? sem_sinal() & interior_.sem_topo(v) : sem_sinal();
            const vec a = (vec)((masc)r & modulo);
            maior[v] = maior_de(a, maior[v]);
            soma[v] = soma[v] + a;
            if constexpr (com_guarda) saida[v] = r;
        }
    }

    const vec* velho_;
    vec* novo_;
    const vec* fonte_;
    vec* copia_;
    vec* residuos_;
    // Último vetor da faixa b-1 (nova) na posição s + L - 1 e primeiro da
    // faixa b+1 (velha) na posição s - L + 1: baixo_ + s * passo_baixo_ e
    // cima_ + s * passo_cima_ (passo L nas faixas, 1 na linha compacta).
    const double* baixo_;
    std::ptrdiff_t passo_baixo_;
    const double* cima_;
    std::ptrdiff_t passo_cima_;
    Coef_vetor c_;
    Interior interior_;
};

// Maior lane, ignorando NaN.
double maior_lane(const vec& m, double maximo)
{
    for (int l = 0; l < W; ++l) {
        if (m[l] > maximo) maximo = m[l];
    }
    return maximo;
}

// Varre a faixa b com o número de vetores com linha interior, de NV a 1.
template <bool com_fonte, bool com_residuos, bool com_copia, bool com_guarda, int usados = NV>
Medidas varrer(int vetores, const Campos& k, int b, const Coeficientes& c)
{
    if constexpr (usados > 1) {
        if (vetores < usados) {
            return varrer<com_fonte, com_residuos, com_copia, com_guarda, usados - 1>(vetores, k, b, c);
        }
    }
    vec maior[usados], soma[usados];
    Varredura<usados, com_fonte, com_residuos, com_copia, com_guarda>(k, b, c).varrer(maior, soma);
    Medidas m{0.0, 0.0};
    if constexpr (com_residuos) {
        vec total = soma[0];
        for (int v = 1; v < usados; ++v) total = total + soma[v];
        for (int l = 0; l < W; ++l) m.soma = m.soma + total[l];
        for (const vec& x : maior) m.maximo = maior_lane(x, m.maximo);
    }
    return m;
}

int vetores_com_interior(int b, std::int32_t Ny)
{
    const std::int64_t interiores = Ny - (static_cast<std::int64_t>(b) * L + 2);
    const std::int64_t vetores = (interiores + W - 1) / W;
    return static_cast<int>(vetores < NV ? vetores : NV);
}

void varrer_faixa(Vista phi, Vista fonte, int b, Coeficientes c, Vizinhas viz)
{
    varrer<true, false, false, false>(vetores_com_interior(b, phi.Ny), {phi, phi, fonte, phi, phi, viz}, b, c);
}

Medidas varrer_faixa_com_residuos(Vista velho, Vista novo, Vista copia, Vista residuos, int b, Coeficientes c,
                                  Vizinhas viz)
{
    const int vetores = vetores_com_interior(b, novo.Ny);
    const Campos k{velho, novo, novo, copia, residuos, viz};
    if (copia.origem != nullptr) {
        if (residuos.origem != nullptr) return varrer<false, true, true, true>(vetores, k, b, c);
        return varrer<false, true, true, false>(vetores, k, b, c);
    }
    if (residuos.origem != nullptr) return varrer<false, true, false, true>(vetores, k, b, c);
    return varrer<false, true, false, false>(vetores, k, b, c);
}

} // namespace

const Nucleos nucleos{L, varrer_faixa, varrer_faixa_com_residuos};

} // namespace faixas::NUCLEOS_ALVO
