#include "faixas.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

// Os vetores só passam entre funções internas deste arquivo: o aviso de
// mudança de ABI sem AVX-512 não se aplica.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace faixas {

namespace {

constexpr int L = linhas;
constexpr int NV = vetores_por_faixa;
static_assert(largura_vetor == 8, "os embaralhamentos abaixo são de 8 lanes");
static_assert(sizeof(Grupo) == sizeof(double) * L, "um grupo são L doubles, sem enchimento");

// Vetores genéricos do GCC: viram AVX-512, AVX ou SSE2 conforme a compilação,
// sempre com as mesmas operações IEEE por lane.
using v8 = double __attribute__((vector_size(64)));
using m8 = std::int64_t __attribute__((vector_size(64)));

v8* vetores(Grupo* g) { return reinterpret_cast<v8*>(g); }
const v8* vetores(const Grupo* g) { return reinterpret_cast<const v8*>(g); }

v8 espalhar(double a) { return v8{a, a, a, a, a, a, a, a}; }

// Lane l recebe a lane l+1 de `a`; a última recebe a lane 0 de `b`.
v8 desce(v8 a, v8 b) { return __builtin_shuffle(a, b, m8{1, 2, 3, 4, 5, 6, 7, 8}); }

// Lane 0 recebe a última lane de `a`; a lane l recebe a lane l-1 de `b`.
v8 sobe(v8 a, v8 b) { return __builtin_shuffle(a, b, m8{7, 8, 9, 10, 11, 12, 13, 14}); }

// Zera o bit de sinal, como std::abs.
v8 valor_absoluto(v8 r)
{
    const m8 sem_sinal = m8{} + INT64_MAX;
    return (v8)((m8)r & sem_sinal);
}

// Linha iy da lane j da faixa b; a faixa 0 começa na primeira linha interior.
std::int64_t linha_da_lane(int b, int j) { return static_cast<std::int64_t>(b) * L + j + 2; }

// Faixa e lane da linha iy (a linha 1 é a última lane da faixa -1).
void faixa_e_lane(std::int32_t iy, int& b, int& j)
{
    b = (iy - 2 + L) / L - 1;
    j = (iy - 2 + L) % L;
}

// Lanes da faixa b cuja linha é interior.
struct Linhas_ativas {
    m8 lane[NV];  // índice j da lane na faixa
    m8 ativa[NV]; // linha interior
    bool todas;   // todas as L linhas são interiores
    int vetores;  // vetores com alguma linha interior
};

Linhas_ativas linhas_ativas(int b, std::int32_t Ny)
{
    Linhas_ativas a{};
    for (int v = 0; v < NV; ++v) {
        for (int l = 0; l < largura_vetor; ++l) {
            const int j = v * largura_vetor + l;
            a.lane[v][l] = j;
            a.ativa[v][l] = linha_da_lane(b, j) <= Ny - 1 ? -1 : 0;
        }
    }
    const std::int64_t interiores = Ny - linha_da_lane(b, 0);
    a.todas = interiores >= L;
    a.vetores = static_cast<int>(std::min<std::int64_t>(NV, (interiores + largura_vetor - 1) / largura_vetor));
    return a;
}

// Nó interior em cada lane do vetor v na posição p: coluna ix = p + 1 - j.
m8 ativos(const Linhas_ativas& a, int v, int p, std::int32_t Nx)
{
    const m8 coluna = (p + 1) - a.lane[v];
    return a.ativa[v] & (coluna >= 2) & (coluna <= Nx - 1);
}

v8 ou_zero(m8 ativo, v8 x) { return ativo ? x : v8{}; }

// Vizinhos de cada lane do vetor v na posição p. `oeste_sul` é o grupo da
// posição anterior (oeste na mesma lane, sul na lane de baixo).
struct Vizinhos {
    v8 norte, sul, leste, oeste;
};

Vizinhos vizinhos(const v8* leste, const v8* oeste_sul, const v8& sul_externo, const v8& norte_externo, int v)
{
    Vizinhos n;
    n.leste = leste[v];
    n.oeste = oeste_sul[v];
    n.norte = desce(n.leste, v + 1 < NV ? leste[v + 1] : norte_externo);
    n.sul = sobe(v > 0 ? oeste_sul[v - 1] : sul_externo, n.oeste);
    return n;
}

Vizinhos zerar_inativos(m8 ativo, Vizinhos n)
{
    return {ou_zero(ativo, n.norte), ou_zero(ativo, n.sul), ou_zero(ativo, n.leste), ou_zero(ativo, n.oeste)};
}

struct Coef_vetor {
    v8 aP, aX, aY;
};

// Resíduos calculados na própria varredura, uma posição atrás dela.
struct Residuos_na_varredura {
    Campo_faixas* saida;
    v8 antes[NV]; // valores novos da posição s-2
    v8 maior[NV]; // maior |r| por lane
};

// Lanes de cada vetor exceto a de cima da faixa, cujo vizinho norte ainda
// não foi varrido: o resíduo dela sai depois (residuos_linha_topo).
m8 sem_lane_do_topo(int v)
{
    m8 m{};
    for (int l = 0; l < largura_vetor; ++l) m[l] = (v * largura_vetor + l == L - 1) ? 0 : -1;
    return m;
}

// Resíduos da posição s-1 da faixa b: centro `anterior`, leste `novo`
// (posição s) e oeste r.antes (posição s-2).
template <int nv, bool mascara>
void residuos_atras(const Campo_faixas& T, int b, int s, const Coef_vetor& c, const Linhas_ativas& linhas_b,
                    const v8 (&anterior)[NV], const v8 (&novo)[NV], Residuos_na_varredura& r)
{
    const v8* acima = vetores(T.grupo(b, s));
    const v8 sul_externo = vetores(T.grupo(b - 1, s + L - 2))[NV - 1];
    v8* saida = vetores(r.saida->grupo(b, s - 1));
    for (int v = 0; v < nv; ++v) {
        const v8 norte_externo = v + 1 < nv ? novo[v + 1] : (v + 1 < NV ? acima[v + 1] : novo[v]);
        Vizinhos n;
        n.leste = novo[v];
        n.oeste = r.antes[v];
        n.norte = desce(novo[v], norte_externo);
        n.sul = sobe(v > 0 ? r.antes[v - 1] : sul_externo, r.antes[v]);
        v8 t = anterior[v];
        if (mascara || v == NV - 1) {
            m8 ativo = sem_lane_do_topo(v);
            if constexpr (mascara) ativo &= ativos(linhas_b, v, s - 1, T.Nx());
            n = zerar_inativos(ativo, n);
            t = ou_zero(ativo, t);
        }
        const v8 residuo = c.aY * (n.norte + n.sul) + c.aX * (n.leste + n.oeste) - c.aP * t;
        const v8 a = valor_absoluto(residuo);
        r.maior[v] = a > r.maior[v] ? a : r.maior[v];
        saida[v] = residuo;
    }
}

// Um passo da frente de onda: a posição s da faixa b, nos seus `nv`
// primeiros vetores (os outros não têm linha interior). `anterior` tem os
// valores novos da posição s-1 e recebe os da posição s.
template <int nv, bool mascara, bool com_fonte, bool com_residuos>
void passo(Campo_faixas& phi, const Campo_faixas* fonte, int b, int s, const Coef_vetor& c,
           const Linhas_ativas& linhas_b, v8 (&anterior)[NV], Residuos_na_varredura* r)
{
    v8* atual = vetores(phi.grupo(b, s));
    const v8* leste = vetores(phi.grupo(b, s + 1));
    const v8 sul_externo = vetores(phi.grupo(b - 1, s + L - 1))[NV - 1];
    const v8 norte_externo = vetores(phi.grupo(b + 1, s - L + 1))[0];
    v8 novo[NV];
    for (int v = 0; v < nv; ++v) {
        Vizinhos n = vizinhos(leste, anterior, sul_externo, norte_externo, v);
        v8 f{};
        if constexpr (com_fonte) f = vetores(fonte->grupo(b, s))[v];
        m8 ativo{};
        if constexpr (mascara) {
            ativo = ativos(linhas_b, v, s, phi.Nx());
            n = zerar_inativos(ativo, n);
            f = ou_zero(ativo, f);
        }
        v8 q = c.aY * (n.norte + n.sul) + c.aX * (n.leste + n.oeste);
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
void varrer(Campo_faixas& phi, const Campo_faixas* fonte, int b, const Coef_vetor& c, const Linhas_ativas& linhas_b,
            Residuos_na_varredura* r)
{
    const std::int32_t Nx = phi.Nx();
    v8 anterior[NV];
    for (int v = 0; v < NV; ++v) {
        anterior[v] = vetores(phi.grupo(b, primeira_posicao() - 1))[v];
        if constexpr (com_residuos) r->antes[v] = vetores(phi.grupo(b, primeira_posicao() - 2))[v];
    }
    const int ultima = ultima_posicao(Nx) + (com_residuos ? 1 : 0);
    for (int s = primeira_posicao(); s <= ultima; ++s) {
        const bool livre = sem_mascara(linhas_b, s, Nx) && (!com_residuos || sem_mascara(linhas_b, s - 1, Nx));
        if (livre) passo<nv, false, com_fonte, com_residuos>(phi, fonte, b, s, c, linhas_b, anterior, r);
        else passo<nv, true, com_fonte, com_residuos>(phi, fonte, b, s, c, linhas_b, anterior, r);
    }
}

template <bool com_fonte, bool com_residuos>
void varrer(Campo_faixas& phi, const Campo_faixas* fonte, int b, const Coeficientes& coef, Residuos_na_varredura* r)
{
    static_assert(NV == 4, "um caso por número de vetores");
    const Coef_vetor c = espalhar(coef);
    const Linhas_ativas linhas_b = linhas_ativas(b, phi.Ny());
    switch (linhas_b.vetores) {
    case 1: varrer<1, com_fonte, com_residuos>(phi, fonte, b, c, linhas_b, r); break;
    case 2: varrer<2, com_fonte, com_residuos>(phi, fonte, b, c, linhas_b, r); break;
    case 3: varrer<3, com_fonte, com_residuos>(phi, fonte, b, c, linhas_b, r); break;
    default: varrer<4, com_fonte, com_residuos>(phi, fonte, b, c, linhas_b, r); break;
    }
}

} // namespace

Campo_faixas::Campo_faixas(std::int32_t Nx, std::int32_t Ny)
    : Nx_(Nx), Ny_(Ny), faixas_(std::max(1, (Ny - 2 + L - 1) / L)), posicoes_(Nx + 3 * L),
      dados_(static_cast<std::size_t>(faixas_ + 2) * static_cast<std::size_t>(posicoes_))
{
}

void Campo_faixas::carregar(std::span<const double> campo)
{
    const std::size_t nx = static_cast<std::size_t>(Nx_);
    for (std::int32_t iy = 1; iy <= Ny_; ++iy) {
        int b, j;
        faixa_e_lane(iy, b, j);
        const double* linha = campo.data() + static_cast<std::size_t>(iy - 1) * nx;
        for (std::int32_t ix = 1; ix <= Nx_; ++ix) grupo(b, ix + j - 1)->lane[j] = linha[ix - 1];
    }
}

void Campo_faixas::descarregar(std::span<double> campo) const
{
    const std::size_t nx = static_cast<std::size_t>(Nx_);
    for (std::int32_t iy = 2; iy <= Ny_ - 1; ++iy) {
        int b, j;
        faixa_e_lane(iy, b, j);
        double* linha = campo.data() + static_cast<std::size_t>(iy - 1) * nx;
        for (std::int32_t ix = 2; ix <= Nx_ - 1; ++ix) linha[ix - 1] = grupo(b, ix + j - 1)->lane[j];
    }
}

void varrer_faixa(Campo_faixas& phi, const Campo_faixas& fonte, int b, const Coeficientes& c)
{
    varrer<true, false>(phi, &fonte, b, c, nullptr);
}

void varrer_faixa_com_residuos(Campo_faixas& T, Campo_faixas& residuos, int b, const Coeficientes& c, double& maximo)
{
    Residuos_na_varredura r{&residuos, {}, {}};
    varrer<false, true>(T, nullptr, b, c, &r);
    for (const v8& m : r.maior) {
        for (int l = 0; l < largura_vetor; ++l) {
            if (m[l] > maximo) maximo = m[l];
        }
    }
}

void residuos_linha_topo(const Campo_faixas& T, Campo_faixas& residuos, int b, const Coeficientes& c, double& maximo)
{
    constexpr int j = L - 1;
    if (linha_da_lane(b, j) > T.Ny() - 1) return;
    for (std::int32_t ix = 2; ix <= T.Nx() - 1; ++ix) {
        const int p = ix + j - 1;
        const double norte = T.grupo(b + 1, ix - 1)->lane[0];
        const double sul = T.grupo(b, p - 1)->lane[j - 1];
        const double leste = T.grupo(b, p + 1)->lane[j];
        const double oeste = T.grupo(b, p - 1)->lane[j];
        const double r = c.aY * (norte + sul) + c.aX * (leste + oeste) - c.aP * T.grupo(b, p)->lane[j];
        residuos.grupo(b, p)->lane[j] = r;
        const double a = std::abs(r);
        if (a > maximo) maximo = a;
    }
}

void somar_faixa(const Campo_faixas& residuos, int b, int j0, int j1, double& L1, double& L2)
{
    double soma1 = L1;
    double soma2 = L2;
    for (int j = j0; j < j1; ++j) {
        if (linha_da_lane(b, j) > residuos.Ny() - 1) break;
        const Grupo* g = residuos.grupo(b, j + 1); // ix = 2
        for (std::int32_t ix = 2; ix <= residuos.Nx() - 1; ++ix, ++g) {
            const double r = g->lane[j];
            soma1 = soma1 + std::abs(r);
            soma2 = soma2 + r * r;
        }
    }
    L1 = soma1;
    L2 = soma2;
}

} // namespace faixas
