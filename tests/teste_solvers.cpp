// Solvers de Gauss-Seidel, medidas de resíduo e média de campo.
#include "solvers/solvers.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using namespace referencia;

namespace {

// Malha Nx x Ny com 1 na borda de cima (iy = Ny) e 0 no resto.
std::vector<double> topo_unitario(std::int32_t Nx, std::int32_t Ny)
{
    std::vector<double> T(static_cast<std::size_t>(Nx * Ny), 0.0);
    for (std::int32_t ix = 0; ix < Nx; ++ix) T[static_cast<std::size_t>((Ny - 1) * Nx + ix)] = 1.0;
    return T;
}

struct Medidas {
    double L1 = -1, L2 = -1, Linf = -1;
};

Medidas medir(double aP, double aX, double aY, std::int32_t Nx, std::int32_t Ny, const std::vector<double>& T)
{
    Medidas m;
    norma_L1(aP, aX, aY, Nx, Ny, T, m.L1);
    norma_L2(aP, aX, aY, Nx, Ny, T, m.L2);
    norma_Linf(aP, aX, aY, Nx, Ny, T, m.Linf);
    return m;
}

struct Solucao {
    std::vector<double> T, L1, L2, Linf;
    std::int32_t it = -1;
};

// gs_laplace no exemplo 4 x 4 (aX = aY = 1, aP = 4), com a entrada 0 já medida.
Solucao resolver_exemplo(std::int32_t itmax, double tol)
{
    Solucao s;
    s.T = topo_unitario(4, 4);
    const std::size_t h = static_cast<std::size_t>(itmax) + 1;
    s.L1.assign(h, -7.0);
    s.L2.assign(h, -7.0);
    s.Linf.assign(h, -7.0);
    norma_L1(4, 1, 1, 4, 4, s.T, s.L1[0]);
    norma_L2(4, 1, 1, 4, 4, s.T, s.L2[0]);
    norma_Linf(4, 1, 1, 4, 4, s.T, s.Linf[0]);
    gs_laplace(4, 1, 1, itmax, tol, 4, 4, s.L1, s.L2, s.Linf, s.it, s.T);
    return s;
}

TEST(Medidas, L1SomaL2SomaOsQuadradosLinfEOMaiorResiduo)
{
    const Medidas m = medir(4, 1, 1, 4, 4, topo_unitario(4, 4));
    EXPECT_EQ(m.L1, 2.0);
    EXPECT_EQ(m.L2, 2.0);
    EXPECT_EQ(m.Linf, 1.0);
}

TEST(Medidas, UmNoInteriorComResiduoMenosTres)
{
    std::vector<double> T(9, 0.0);
    T[4] = 0.75; // r = -aP*T = -3
    const Medidas m = medir(4, 1, 1, 3, 3, T);
    EXPECT_EQ(m.L1, 3.0);
    EXPECT_EQ(m.L2, 9.0);
    EXPECT_EQ(m.Linf, 3.0);
}

TEST(Medidas, ZeroParaCampoQueSatisfazAsEquacoesEParaMalhaSemInterior)
{
    // Campo linear em x e y satisfaz a equação de Laplace discreta.
    std::vector<double> T(20);
    for (std::size_t k = 0; k < T.size(); ++k) T[k] = static_cast<double>(k % 5) + 2.0 * static_cast<double>(k / 5);
    const Medidas linear = medir(4, 1, 1, 5, 4, T);
    EXPECT_EQ(linear.L1, 0.0);
    EXPECT_EQ(linear.L2, 0.0);
    EXPECT_EQ(linear.Linf, 0.0);

    for (const auto& [Nx, Ny] : {std::pair{2, 5}, std::pair{5, 2}, std::pair{1, 1}}) {
        const Medidas m = medir(4, 1, 1, Nx, Ny, std::vector<double>(static_cast<std::size_t>(Nx * Ny), 3.0));
        EXPECT_EQ(m.L1, 0.0);
        EXPECT_EQ(m.L2, 0.0);
        EXPECT_EQ(m.Linf, 0.0);
    }
}

TEST(MediaCampo, TrapeziosDivididosPelaArea)
{
    double media = -1;
    media_campo(4, 4, topo_unitario(4, 4), media);
    EXPECT_DOUBLE_EQ(media, 1.0 / 6.0);
    media_campo(7, 3, std::vector<double>(21, 1.0), media);
    EXPECT_EQ(media, 1.0);
}

TEST(GsLaplace, ExemploQuatroPorQuatroVarreduraAVarredura)
{
    const Solucao uma = resolver_exemplo(1, 0.1);
    EXPECT_EQ(uma.it, 1);
    EXPECT_EQ(uma.T[5], 0.0);
    EXPECT_EQ(uma.T[6], 0.0);
    EXPECT_EQ(uma.T[9], 0.25);
    EXPECT_EQ(uma.T[10], 0.3125);
    EXPECT_EQ(uma.L1[1], 0.875);
    EXPECT_EQ(uma.L2[1], 0.2578125);
    EXPECT_EQ(uma.Linf[1], 0.3125);

    const Solucao duas = resolver_exemplo(2, -1.0);
    EXPECT_EQ(duas.it, 2);
    EXPECT_EQ(duas.T[5], 0.0625);
    EXPECT_EQ(duas.T[6], 0.09375);
    EXPECT_EQ(duas.T[9], 0.34375);
    EXPECT_EQ(duas.T[10], 0.359375);
    EXPECT_EQ(duas.L1[2], 0.28125);
    EXPECT_EQ(duas.L2[2], 0.03955078125);
    EXPECT_EQ(duas.Linf[2], 0.1875);
}

TEST(GsLaplace, ParadaPelaRazaoDeL1ComAEntradaZero)
{
    EXPECT_EQ(resolver_exemplo(50, 0.1).it, 3);
    // 0.4375 depois da varredura 1 não é testado; 0.140625 depois da 2 para.
    EXPECT_EQ(resolver_exemplo(50, 0.5).it, 2);
    EXPECT_EQ(resolver_exemplo(50, 0.140625).it, 2); // razão igual à tolerância para
    EXPECT_EQ(resolver_exemplo(50, 0.03515625).it, 3);
    // Tolerância zero só para quando L1 chega exatamente a zero.
    const Solucao exata = resolver_exemplo(40, 0.0);
    EXPECT_EQ(exata.L1[static_cast<std::size_t>(exata.it)], 0.0);
    EXPECT_GT(exata.L1[static_cast<std::size_t>(exata.it) - 1], 0.0);
    EXPECT_EQ(resolver_exemplo(40, -1.0).it, 40);
}

TEST(GsLaplace, EntradasAlemDeItNaoSaoEscritas)
{
    const Solucao s = resolver_exemplo(10, 0.5);
    ASSERT_EQ(s.it, 2);
    for (std::size_t m = 3; m <= 10; ++m) {
        EXPECT_EQ(s.L1[m], -7.0);
        EXPECT_EQ(s.L2[m], -7.0);
        EXPECT_EQ(s.Linf[m], -7.0);
    }
}

TEST(GsLaplace, UmNoInteriorParaNaSegundaVarredura)
{
    // Malha 3 x 3, dx = dy: o nó 5 vale 0.25 depois de uma varredura.
    std::vector<double> T(9, 0.0);
    T[7] = 1.0;
    std::vector<double> L1(100), L2(100), Linf(100);
    norma_L1(4, 1, 1, 3, 3, T, L1[0]);
    std::int32_t it = 0;
    gs_laplace(4, 1, 1, 99, 1e-12, 3, 3, L1, L2, Linf, it, T);
    EXPECT_EQ(it, 2);
    EXPECT_EQ(T[4], 0.25);
    EXPECT_EQ(L1[1], 0.0);
    EXPECT_EQ(L1[2], 0.0);
}

TEST(GsLaplace, BordasNuncaMudam)
{
    std::vector<double> T(6 * 5);
    for (std::size_t k = 0; k < T.size(); ++k) T[k] = 0.5 + static_cast<double>(k);
    const std::vector<double> antes = T;
    std::vector<double> L1(31), L2(31), Linf(31);
    norma_L1(4, 1, 1, 6, 5, T, L1[0]);
    std::int32_t it = 0;
    gs_laplace(4, 1, 1, 30, 0.0, 6, 5, L1, L2, Linf, it, T);
    for (std::size_t k = 0; k < T.size(); ++k) {
        const std::size_t ix = k % 6, iy = k / 6;
        if (ix == 0 || ix == 5 || iy == 0 || iy == 4) {
            EXPECT_EQ(T[k], antes[k]) << k;
        }
    }
}

TEST(GsFonte, NenhumaVarreduraDeixaOCampoComoEstava)
{
    std::vector<double> phi(20, 1.5);
    const std::vector<double> S(20, 9.0);
    gs_fonte(4, 1, 1, S, 0, 5, 4, phi);
    gs_fonte(4, 1, 1, S, -3, 5, 4, phi);
    EXPECT_EQ(phi, std::vector<double>(20, 1.5));
}

TEST(GsFonte, VizinhoOesteAtualizadoEhUsadoNaHora)
{
    const double aP = 6.0, aX = 2.0, s = 3.0;
    std::vector<double> phi(5 * 4, 0.0);
    const std::vector<double> S(5 * 4, s);
    gs_fonte(aP, aX, 1.0, S, 1, 5, 4, phi);
    EXPECT_EQ(phi[6], s / aP);                     // (2, 2)
    EXPECT_EQ(phi[7], (aX * (s / aP) + s) / aP);   // (3, 2)
    for (std::size_t k : {0u, 4u, 5u, 9u, 15u, 19u}) EXPECT_EQ(phi[k], 0.0);
}

} // namespace
