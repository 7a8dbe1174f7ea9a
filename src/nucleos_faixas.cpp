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

#include <cstddef>
#include <cstdint>

// Os vetores só passam entre funções internas deste arquivo: o aviso de
// mudança de ABI não se aplica.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace faixas::NUCLEOS_ALVO {

namespace {

#if defined(__AVX512F__)
constexpr int W = 8;
#elif defined(__AVX__)
constexpr int W = 4;
#else
constexpr int W = 2;
#endif

constexpr int L = linhas;
constexpr int NV = L / W; // vetores por faixa
static_assert(L % W == 0, "uma faixa são vetores inteiros");
static_assert(sizeof(Grupo) == sizeof(double) * L, "um grupo são L doubles, sem enchimento");

// Vetores genéricos do GCC, da largura dos registradores do alvo.
using vec = double __attribute__((vector_size(8 * W)));
using masc = std::int64_t __attribute__((vector_size(8 * W)));

Grupo* grupo(const Faixas& f, int b, int p)
{
    return f.origem + static_cast<std::ptrdiff_t>(b + 1) * f.posicoes + p + L;
}

vec* vetores(Grupo* g) { return reinterpret_cast<vec*>(g); }

vec espalhar(double a) { return vec{} + a; }

// Índices inicio, inicio+1, ... das lanes de (a, b) para __builtin_shuffle.
masc sequencia(int inicio)
{
    masc m{};
    for (int l = 0; l < W; ++l) m[l] = inicio + l;
    return m;
}

// Lane l recebe a lane l+1 de `a`; a última recebe a lane 0 de `b`.
vec desce(vec a, vec b) { return __builtin_shuffle(a, b, sequencia(1)); }

// Lane 0 recebe a última lane de `a`; a lane l recebe a lane l-1 de `b`.
vec sobe(vec a, vec b) { return __builtin_shuffle(a, b, sequencia(W - 1)); }

// Zera o bit de sinal, como std::abs.
vec valor_absoluto(vec r)
{
    const masc sem_sinal = masc{} + INT64_MAX;
    return (vec)((masc)r & sem_sinal);
}

// Linha iy da lane j da faixa b; a faixa 0 começa na primeira linha interior.
std::int64_t linha_da_lane(int b, int j) { return static_cast<std::int64_t>(b) * L + j + 2; }

// Lanes da faixa b cuja linha é interior.
struct Linhas_ativas {
    masc lane[NV];  // índice j da lane na faixa
    masc ativa[NV]; // linha interior
    bool todas;     // todas as L linhas são interiores
    int vetores;    // vetores com alguma linha interior
};

Linhas_ativas linhas_ativas(int b, std::int32_t Ny)
{
    Linhas_ativas a{};
    for (int v = 0; v < NV; ++v) {
        for (int l = 0; l < W; ++l) {
            const int j = v * W + l;
            a.lane[v][l] = j;
            a.ativa[v][l] = linha_da_lane(b, j) <= Ny - 1 ? -1 : 0;
        }
    }
    const std::int64_t interiores = Ny - linha_da_lane(b, 0);
    a.todas = interiores >= L;
    const std::int64_t com_interior = (interiores + W - 1) / W;
    a.vetores = static_cast<int>(com_interior < NV ? com_interior : NV);
    return a;
}

// Nó interior em cada lane do vetor v na posição p: coluna ix = p + 1 - j.
masc ativos(const Linhas_ativas& a, int v, int p, std::int32_t Nx)
{
    const masc coluna = (p + 1) - a.lane[v];
    return a.ativa[v] & (coluna >= 2) & (coluna <= Nx - 1);
}

vec ou_zero(masc ativo, vec x) { return ativo ? x : vec{}; }

// Vizinhos de cada lane do vetor v na posição p. `oeste_sul` é o grupo da
// posição anterior (oeste na mesma lane, sul na lane de baixo).
struct Vizinhos {
    vec norte, sul, leste, oeste;
};

Vizinhos vizinhos(const vec* leste, const vec* oeste_sul, const vec& sul_externo, const vec& norte_externo, int v)
{
    Vizinhos n;
    n.leste = leste[v];
    n.oeste = oeste_sul[v];
    n.norte = desce(n.leste, v + 1 < NV ? leste[v + 1] : norte_externo);
    n.sul = sobe(v > 0 ? oeste_sul[v - 1] : sul_externo, n.oeste);
    return n;
}

Vizinhos zerar_inativos(masc ativo, Vizinhos n)
{
    return {ou_zero(ativo, n.norte), ou_zero(ativo, n.sul), ou_zero(ativo, n.leste), ou_zero(ativo, n.oeste)};
}

struct Coef_vetor {
    vec aP, aX, aY;
};

// Resíduos calculados na própria varredura, uma posição atrás dela.
struct Residuos_na_varredura {
    Faixas saida;
    vec antes[NV]; // valores novos da posição s-2
    vec maior[NV]; // maior |r| por lane
};

// Lanes de cada vetor exceto a de cima da faixa, cujo vizinho norte ainda
// não foi varrido: o resíduo dela sai depois (residuos_linha_topo).
masc sem_lane_do_topo(int v)
{
    masc m{};
    for (int l = 0; l < W; ++l) m[l] = (v * W + l == L - 1) ? 0 : -1;
    return m;
}

// Resíduos da posição s-1 da faixa b: centro `anterior`, leste `novo`
// (posição s) e oeste r.antes (posição s-2).
template <int nv, bool mascara>
void residuos_atras(const Faixas& T, int b, int s, const Coef_vetor& c, const Linhas_ativas& linhas_b,
                    const vec (&anterior)[NV], const vec (&novo)[NV], Residuos_na_varredura& r)
{
    const vec* acima = vetores(grupo(T, b, s));
    const vec sul_externo = vetores(grupo(T, b - 1, s + L - 2))[NV - 1];
    vec* saida = vetores(grupo(r.saida, b, s - 1));
    for (int v = 0; v < nv; ++v) {
        const vec norte_externo = v + 1 < nv ? novo[v + 1] : (v + 1 < NV ? acima[v + 1] : novo[v]);
        Vizinhos n;
        n.leste = novo[v];
        n.oeste = r.antes[v];
        n.norte = desce(novo[v], norte_externo);
        n.sul = sobe(v > 0 ? r.antes[v - 1] : sul_externo, r.antes[v]);
        vec t = anterior[v];
        if (mascara || v == NV - 1) {
            masc ativo = sem_lane_do_topo(v);
            if constexpr (mascara) ativo &= ativos(linhas_b, v, s - 1, T.Nx);
            n = zerar_inativos(ativo, n);
            t = ou_zero(ativo, t);
        }
        const vec residuo = c.aY * (n.norte + n.sul) + c.aX * (n.leste + n.oeste) - c.aP * t;
        const vec a = valor_absoluto(residuo);
        r.maior[v] = a > r.maior[v] ? a : r.maior[v];
        saida[v] = residuo;
    }
}

// Um passo da frente de onda: a posição s da faixa b, nos seus `nv`
// primeiros vetores (os outros não têm linha interior). `anterior` tem os
// valores novos da posição s-1 e recebe os da posição s.
template <int nv, bool mascara, bool com_fonte, bool com_residuos>
void passo(const Faixas& phi, const Faixas& fonte, int b, int s, const Coef_vetor& c, const Linhas_ativas& linhas_b,
           vec (&anterior)[NV], Residuos_na_varredura* r)
{
    vec* atual = vetores(grupo(phi, b, s));
    const vec* leste = vetores(grupo(phi, b, s + 1));
    const vec sul_externo = vetores(grupo(phi, b - 1, s + L - 1))[NV - 1];
    const vec norte_externo = vetores(grupo(phi, b + 1, s - L + 1))[0];
    vec novo[NV];
    for (int v = 0; v < nv; ++v) {
        Vizinhos n = vizinhos(leste, anterior, sul_externo, norte_externo, v);
        vec f{};
        if constexpr (com_fonte) f = vetores(grupo(fonte, b, s))[v];
        masc ativo{};
        if constexpr (mascara) {
            ativo = ativos(linhas_b, v, s, phi.Nx);
            n = zerar_inativos(ativo, n);
            f = ou_zero(ativo, f);
        }
        vec q = c.aY * (n.norte + n.sul) + c.aX * (n.leste + n.oeste);
        if constexpr (com_fonte) q = q + f;
        q = q / c.aP;
        if constexpr (mascara) q = ativo ? q : atual[v];
        novo[v] = q;
    }
    if constexpr (com_residuos) residuos_atras<nv, mascara>(phi, b, s, c, linhas_b, anterior, novo, *r);
    for (int v = 0; v < nv; ++v) {
        atual[v] = novo[v];
        if constexpr (com_residuos) r->antes[v] = anterior[v];
        anterior[v] = novo[v];
    }
}

Coef_vetor espalhar(const Coeficientes& c) { return {espalhar(c.aP), espalhar(c.aX), espalhar(c.aY)}; }

// Posições com algum nó da faixa: p = 0 .. Nx + L - 2; as pontas são borda.
int primeira_posicao() { return 1; }
int ultima_posicao(std::int32_t Nx) { return Nx + L - 3; }

// Sem máscara quando toda lane é nó interior: linhas interiores e
// colunas 2 <= p + 1 - j <= Nx - 1 para j = 0 .. L-1.
bool sem_mascara(const Linhas_ativas& a, int p, std::int32_t Nx) { return a.todas && p >= L && p <= Nx - 2; }

// Com resíduos há um passo a mais, sem nó interior, para os resíduos da
// última posição.
template <int nv, bool com_fonte, bool com_residuos>
void varrer(const Faixas& phi, const Faixas& fonte, int b, const Coef_vetor& c, const Linhas_ativas& linhas_b,
            Residuos_na_varredura* r)
{
    const std::int32_t Nx = phi.Nx;
    vec anterior[NV];
    for (int v = 0; v < NV; ++v) {
        anterior[v] = vetores(grupo(phi, b, primeira_posicao() - 1))[v];
        if constexpr (com_residuos) r->antes[v] = vetores(grupo(phi, b, primeira_posicao() - 2))[v];
    }
    const int ultima = ultima_posicao(Nx) + (com_residuos ? 1 : 0);
    for (int s = primeira_posicao(); s <= ultima; ++s) {
        const bool livre = sem_mascara(linhas_b, s, Nx) && (!com_residuos || sem_mascara(linhas_b, s - 1, Nx));
        if (livre) passo<nv, false, com_fonte, com_residuos>(phi, fonte, b, s, c, linhas_b, anterior, r);
        else passo<nv, true, com_fonte, com_residuos>(phi, fonte, b, s, c, linhas_b, anterior, r);
    }
}

// Instancia `varrer` para o número de vetores com linha interior, de NV a 1.
template <bool com_fonte, bool com_residuos, int nv = NV>
void varrer_vetores(int vetores, const Faixas& phi, const Faixas& fonte, int b, const Coef_vetor& c,
                    const Linhas_ativas& linhas_b, Residuos_na_varredura* r)
{
    if constexpr (nv > 1) {
        if (vetores < nv) {
            varrer_vetores<com_fonte, com_residuos, nv - 1>(vetores, phi, fonte, b, c, linhas_b, r);
            return;
        }
    }
    varrer<nv, com_fonte, com_residuos>(phi, fonte, b, c, linhas_b, r);
}

template <bool com_fonte, bool com_residuos>
void varrer(const Faixas& phi, const Faixas& fonte, int b, const Coeficientes& coef, Residuos_na_varredura* r)
{
    const Coef_vetor c = espalhar(coef);
    const Linhas_ativas linhas_b = linhas_ativas(b, phi.Ny);
    varrer_vetores<com_fonte, com_residuos>(linhas_b.vetores, phi, fonte, b, c, linhas_b, r);
}

void varrer_faixa(Faixas phi, Faixas fonte, int b, Coeficientes c) { varrer<true, false>(phi, fonte, b, c, nullptr); }

double varrer_faixa_com_residuos(Faixas T, Faixas residuos, int b, Coeficientes c)
{
    Residuos_na_varredura r{residuos, {}, {}};
    varrer<false, true>(T, T, b, c, &r);
    double maximo = 0.0;
    for (const vec& m : r.maior) {
        for (int l = 0; l < W; ++l) {
            if (m[l] > maximo) maximo = m[l];
        }
    }
    return maximo;
}

} // namespace

const Nucleos nucleos{varrer_faixa, varrer_faixa_com_residuos};

} // namespace faixas::NUCLEOS_ALVO
