#include "faixas.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

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

// Um passo da frente de onda: a posição s da faixa b, nos seus `nv`
// primeiros vetores (os outros não têm linha interior). `anterior` tem os
// valores novos da posição s-1 e recebe os da posição s.
template <int nv, bool mascara, bool com_fonte>
void passo(Campo_faixas& phi, const Campo_faixas* fonte, int b, int s, const Coef_vetor& c,
           const Linhas_ativas& linhas_b, v8 (&anterior)[NV])
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
    for (int v = 0; v < nv; ++v) {
        atual[v] = novo[v];
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

template <int nv, bool com_fonte>
void varrer(Campo_faixas& phi, const Campo_faixas* fonte, int b, const Coef_vetor& c, const Linhas_ativas& linhas_b)
{
    const std::int32_t Nx = phi.Nx();
    v8 anterior[NV];
    const v8* inicio = vetores(phi.grupo(b, primeira_posicao() - 1));
    for (int v = 0; v < NV; ++v) anterior[v] = inicio[v];
    for (int s = primeira_posicao(); s <= ultima_posicao(Nx); ++s) {
        if (sem_mascara(linhas_b, s, Nx)) passo<nv, false, com_fonte>(phi, fonte, b, s, c, linhas_b, anterior);
        else passo<nv, true, com_fonte>(phi, fonte, b, s, c, linhas_b, anterior);
    }
}

template <bool com_fonte>
void varrer(Campo_faixas& phi, const Campo_faixas* fonte, int b, const Coeficientes& coef)
{
    static_assert(NV == 4, "um caso por número de vetores");
    const Coef_vetor c = espalhar(coef);
    const Linhas_ativas linhas_b = linhas_ativas(b, phi.Ny());
    switch (linhas_b.vetores) {
    case 1: varrer<1, com_fonte>(phi, fonte, b, c, linhas_b); break;
    case 2: varrer<2, com_fonte>(phi, fonte, b, c, linhas_b); break;
    case 3: varrer<3, com_fonte>(phi, fonte, b, c, linhas_b); break;
    default: varrer<4, com_fonte>(phi, fonte, b, c, linhas_b); break;
    }
}

// Resíduos da posição p da faixa b; devolve |r| para o máximo.
template <int nv, bool mascara>
void residuos_posicao(const Campo_faixas& T, Campo_faixas& residuos, int b, int p, const Coef_vetor& c,
                      const Linhas_ativas& linhas_b, v8 (&maior)[NV])
{
    const v8* centro = vetores(T.grupo(b, p));
    const v8* leste = vetores(T.grupo(b, p + 1));
    const v8* oeste = vetores(T.grupo(b, p - 1));
    const v8 sul_externo = vetores(T.grupo(b - 1, p + L - 1))[NV - 1];
    const v8 norte_externo = vetores(T.grupo(b + 1, p - L + 1))[0];
    v8* saida = vetores(residuos.grupo(b, p));
    for (int v = 0; v < nv; ++v) {
        Vizinhos n = vizinhos(leste, oeste, sul_externo, norte_externo, v);
        v8 t = centro[v];
        if constexpr (mascara) {
            const m8 ativo = ativos(linhas_b, v, p, T.Nx());
            n = zerar_inativos(ativo, n);
            t = ou_zero(ativo, t);
        }
        const v8 r = c.aY * (n.norte + n.sul) + c.aX * (n.leste + n.oeste) - c.aP * t;
        const v8 a = valor_absoluto(r);
        maior[v] = a > maior[v] ? a : maior[v];
        saida[v] = r;
    }
}

template <int nv>
void calcular_residuos(const Campo_faixas& T, Campo_faixas& saida, int b, const Coef_vetor& c, const Linhas_ativas& linhas_b,
                       v8 (&maior)[NV])
{
    const std::int32_t Nx = T.Nx();
    for (int p = primeira_posicao(); p <= ultima_posicao(Nx); ++p) {
        if (sem_mascara(linhas_b, p, Nx)) residuos_posicao<nv, false>(T, saida, b, p, c, linhas_b, maior);
        else residuos_posicao<nv, true>(T, saida, b, p, c, linhas_b, maior);
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

void varrer_faixa(Campo_faixas& phi, const Campo_faixas* fonte, int b, const Coeficientes& c)
{
    if (fonte != nullptr) varrer<true>(phi, fonte, b, c);
    else varrer<false>(phi, nullptr, b, c);
}

void residuos_faixa(const Campo_faixas& T, Campo_faixas& residuos, int b, const Coeficientes& coef, double& maximo)
{
    static_assert(NV == 4, "um caso por número de vetores");
    const Coef_vetor c = espalhar(coef);
    const Linhas_ativas linhas_b = linhas_ativas(b, T.Ny());
    v8 maior[NV] = {};
    switch (linhas_b.vetores) {
    case 1: calcular_residuos<1>(T, residuos, b, c, linhas_b, maior); break;
    case 2: calcular_residuos<2>(T, residuos, b, c, linhas_b, maior); break;
    case 3: calcular_residuos<3>(T, residuos, b, c, linhas_b, maior); break;
    default: calcular_residuos<4>(T, residuos, b, c, linhas_b, maior); break;
    }
    for (const v8& m : maior) {
        for (int l = 0; l < largura_vetor; ++l) {
            if (m[l] > maximo) maximo = m[l];
        }
    }
}

void somar_faixa(const Campo_faixas& residuos, int b, double& L1, double& L2)
{
    double soma1 = L1;
    double soma2 = L2;
    for (int j = 0; j < L; ++j) {
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
