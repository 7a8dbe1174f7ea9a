// Solvers de Gauss-Seidel, medidas de resíduo e média de campo.
#include "solvers/solvers.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
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

// gs_laplace no exemplo 4 x 4 (aX = 3, aY = 1, aP = 8: aX != aY, e as contas
// dão valores exatos), com a entrada 0 já medida.
Solucao resolver_exemplo(std::int32_t itmax, double tol)
{
    Solucao s;
    s.T = topo_unitario(4, 4);
    const std::size_t h = static_cast<std::size_t>(itmax) + 1;
    s.L1.assign(h, -7.0);
    s.L2.assign(h, -7.0);
    s.Linf.assign(h, -7.0);
    norma_L1(8, 3, 1, 4, 4, s.T, s.L1[0]);
    norma_L2(8, 3, 1, 4, 4, s.T, s.L2[0]);
    norma_Linf(8, 3, 1, 4, 4, s.T, s.Linf[0]);
    gs_laplace(8, 3, 1, itmax, tol, 4, 4, s.L1, s.L2, s.Linf, s.it, s.T);
    return s;
}

// Um nó interior com resíduo -aP·T = -3; malhas sem nó interior (um campo
// sem resíduo: ver o ponto fixo de gs_laplace).
TEST(Medidas, L1SomaOsModulosL2OsQuadradosELinfOMaior)
{
    std::vector<double> T(9, 0.0);
    T[4] = 0.75;
    const struct {
        std::int32_t Nx, Ny;
        std::vector<double> T;
        double L1, L2, Linf;
    } casos[] = {{3, 3, T, 3, 9, 3}, {2, 5, std::vector(10, 3.0), 0, 0, 0}, {5, 2, std::vector(10, 3.0), 0, 0, 0},
                 {1, 1, {3.0}, 0, 0, 0}};
    for (const auto& c : casos) {
        const Medidas m = medir(4, 1, 1, c.Nx, c.Ny, c.T);
        EXPECT_TRUE(m.L1 == c.L1 && m.L2 == c.L2 && m.Linf == c.Linf) << c.Nx << " x " << c.Ny;
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

// Feito à mão, na ordem lexicográfica: nós 6, 7, 10 e 11 (base 0: 5, 6, 9, 10).
TEST(GsLaplace, ExemploQuatroPorQuatroVarreduraAVarredura)
{
    const Solucao uma = resolver_exemplo(1, 0.1);
    EXPECT_EQ(uma.it, 1);
    EXPECT_EQ(uma.T, (std::vector<double>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0.125, 0.171875, 0, 1, 1, 1, 1}));
    EXPECT_EQ(uma.L1[1], 0.8125);
    EXPECT_EQ(uma.L2[1], 0.31103515625);
    EXPECT_EQ(uma.Linf[1], 0.515625);

    const Solucao duas = resolver_exemplo(2, -1.0);
    EXPECT_EQ(duas.it, 2);
    EXPECT_EQ(duas.T, (std::vector<double>{0, 0, 0, 0, 0, 0.015625, 0.02734375, 0, 0, 0.19140625, 0.2001953125, 0, 1,
                                           1, 1, 1}));
    EXPECT_EQ(duas.L1[2], 0.26171875);
    EXPECT_EQ(duas.L2[2], 0.030054092407226562);
    EXPECT_EQ(duas.Linf[2], 0.1484375);
}

// A razão é testada a partir da varredura 2, e nada além de it é escrito.
TEST(GsLaplace, ParadaPelaRazaoDeL1ComAEntradaZero)
{
    EXPECT_EQ(resolver_exemplo(50, 0.1).it, 3);
    // 0.40625 depois da varredura 1 não é testado; 0.130859375 depois da 2 para.
    const Solucao s = resolver_exemplo(10, 0.5);
    EXPECT_EQ(s.it, 2);
    for (std::size_t m = 3; m <= 10; ++m) EXPECT_TRUE(s.L1[m] == -7.0 && s.L2[m] == -7.0 && s.Linf[m] == -7.0) << m;
    EXPECT_EQ(resolver_exemplo(50, 0.130859375).it, 2); // razão igual à tolerância para
    EXPECT_EQ(resolver_exemplo(50, 0.0345458984375).it, 3);
    // Tolerância zero só para quando L1 chega exatamente a zero.
    const Solucao exata = resolver_exemplo(60, 0.0);
    EXPECT_EQ(exata.L1[static_cast<std::size_t>(exata.it)], 0.0);
    EXPECT_GT(exata.L1[static_cast<std::size_t>(exata.it) - 1], 0.0);
    EXPECT_EQ(resolver_exemplo(40, -1.0).it, 40);
}

// Campo n x n com f(ix, iy) em cada nó.
template <class F>
std::vector<double> campo(std::int32_t Nx, std::int32_t Ny, F f)
{
    std::vector<double> T;
    for (std::int32_t iy = 1; iy <= Ny; ++iy)
        for (std::int32_t ix = 1; ix <= Nx; ++ix) T.push_back(f(ix, iy));
    return T;
}

// Propriedades de qualquer Gauss-Seidel certo para esta equação, com aX != aY:
// ix² - 3 iy² (aX·Δ²x + aY·Δ²y = 3·2 - 6 = 0) é a solução discreta exata e
// não muda, bordas inclusive, com resíduo zero; bordas e campo em [0, 7] dão o interior entre
// eles (princípio do máximo); a placa simétrica em x converge simétrica.
TEST(GsLaplace, PontoFixoExatoPrincipioDoMaximoESimetria)
{
    const auto exata = campo(7, 6, [](int ix, int iy) { return ix * ix - 3.0 * iy * iy; });
    std::vector<double> T = exata, L1(4, 1.0), L2(4), Linf(4);
    std::int32_t it = 0;
    gs_laplace(8, 3, 1, 3, -1.0, 7, 6, L1, L2, Linf, it, T);
    EXPECT_EQ(T, exata);
    EXPECT_EQ(L1, (std::vector<double>{1, 0, 0, 0}));
    EXPECT_EQ(Linf, (std::vector<double>{0, 0, 0, 0}));
    EXPECT_EQ(L2, Linf);

    // Topo 0 1 3 6 7 6 3 1 0, o resto zero.
    const double topo[] = {0, 1, 3, 6, 7, 6, 3, 1, 0};
    T = campo(9, 9, [&](int ix, int iy) { return iy == 9 ? topo[ix - 1] : 0.0; });
    L1.assign(3001, 0.0);
    L2 = Linf = L1;
    norma_L1(8, 3, 1, 9, 9, T, L1[0]);
    gs_laplace(8, 3, 1, 3000, 1e-12, 9, 9, L1, L2, Linf, it, T);
    ASSERT_LT(it, 3000);
    for (std::int32_t iy = 2; iy <= 8; ++iy) {
        for (std::int32_t ix = 2; ix <= 8; ++ix) {
            const double t = T[static_cast<std::size_t>((iy - 1) * 9 + ix - 1)];
            const double espelho = T[static_cast<std::size_t>((iy - 1) * 9 + 9 - ix)];
            EXPECT_TRUE(t > 0.0 && t < 7.0) << ix << ", " << iy << ": " << t;
            EXPECT_NEAR(t, espelho, 1e-12) << ix << ", " << iy;
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

// Feitos à mão, com aP = 8, aX = 2, aY = 1; a fonte das bordas é NaN (nunca
// lida). 3 x 3: (1·(5 + 7) + 2·(1 + 3) + 4)/8 = 3. 4 x 4, na ordem
// lexicográfica, duas varreduras.
TEST(GsFonte, TresPorTresEQuatroPorQuatroVarreduraAVarredura)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> phi = {0, 5, 0, 1, -9, 3, 0, 7, 0};
    gs_fonte(8, 2, 1, std::vector<double>{nan, nan, nan, nan, 4, nan, nan, nan, nan}, 1, 3, 3, phi);
    EXPECT_EQ(phi, (std::vector<double>{0, 5, 0, 1, 3, 3, 0, 7, 0}));

    phi = {0, 1, 2, 0, 3, 0, 0, 4, 5, 0, 0, 6, 0, 7, 8, 0};
    std::vector<double> S(16, nan);
    S[5] = 1;
    S[6] = 2;
    S[9] = 3;
    S[10] = 4;
    gs_fonte(8, 2, 1, S, 1, 4, 4, phi);
    EXPECT_EQ(phi, (std::vector<double>{0, 1, 2, 0, 3, 1, 1.75, 4, 5, 2.625, 3.875, 6, 0, 7, 8, 0}));
    gs_fonte(8, 2, 1, S, 1, 4, 4, phi);
    EXPECT_EQ(phi, (std::vector<double>{0, 1, 2, 0, 3, 1.765625, 2.42578125, 4, 5, 3.689453125, 4.2255859375, 6, 0, 7,
                                        8, 0}));
    // Com aP = 2(aX + aY), ix² + 3 iy² e S = -(aX·Δ²x + aY·Δ²y) = -10 são ponto fixo exato.
    const auto fixo = campo(6, 5, [](int ix, int iy) { return ix * ix + 3.0 * iy * iy; });
    phi = fixo;
    gs_fonte(6, 2, 1, std::vector<double>(30, -10.0), 3, 6, 5, phi);
    EXPECT_EQ(phi, fixo);
}

} // namespace
