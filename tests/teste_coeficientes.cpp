// Discretização térmica e dos deslocamentos.
#include "modelo/coeficientes.hpp"
#include "modelo/variaveis.hpp"
#include "roteiro/processamento.hpp"
#include "solvers/solvers.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <tuple>
#include <vector>

namespace {

class Discretizacao : public ::testing::Test {
protected:
    // Estado pronto por preparar_malha: alocação e coordenadas.
    static void malha(std::int32_t Nx, std::int32_t Ny, double Lx, double Ly, double nu = 0.3, double alpha = 1e-5)
    {
        reiniciar_variaveis();
        estado.Nx = Nx;
        estado.Ny = Ny;
        estado.Lx = Lx;
        estado.Ly = Ly;
        estado.nu = nu;
        estado.alpha = alpha;
        estado.itmax = 1;
        preparar_malha();
    }
    static double& T(std::int32_t k) { return estado.T[static_cast<std::size_t>(k - 1)]; }
    static double Su(std::int32_t k) { return estado.Su[static_cast<std::size_t>(k - 1)]; }
    static double Sv(std::int32_t k) { return estado.Sv[static_cast<std::size_t>(k - 1)]; }
    static void fonte_u() { referencia::fonte_u(problema_deslocamentos(), estado.v, estado.T, estado.Su); }
    static void fonte_v() { referencia::fonte_v(problema_deslocamentos(), estado.u, estado.T, estado.Sv); }
};

// A borda de cima de T é a solução analítica em y = Ly, a menos de 2 ulps
// (nos cantos também: sin(pi) não é zero); as outras bordas de T e todas as
// de u e v, zero; o interior fica como estava. Na malha de duas linhas, as
// laterais não escrevem nada.
TEST_F(Discretizacao, ContornosDeTUeV)
{
    for (const auto& [Nx, Ny, Lx] : {std::tuple{9, 4, 1.7}, std::tuple{4, 2, 1.0}}) {
        malha(Nx, Ny, Lx, 1.0);
        for (auto [campo, valor] : {std::pair{&estado.T, 9.0}, std::pair{&estado.u, 2.0}, std::pair{&estado.v, 3.0}}) {
            campo->assign(campo->size(), valor);
        }
        discretizacao_termica();
        discretizacao_deslocamentos();
        solucao_analitica();
        for (std::int32_t k = 1; k <= Nx * Ny; ++k) {
            const std::int32_t ix = (k - 1) % Nx + 1, iy = (k - 1) / Nx + 1;
            const bool borda = ix == 1 || ix == Nx || iy == 1 || iy == Ny;
            const double Ta = estado.Ta[static_cast<std::size_t>(k - 1)];
            if (iy == Ny) EXPECT_LE(std::abs(T(k) - Ta), 0x1p-51 * std::abs(Ta)) << k;
            else EXPECT_EQ(T(k), borda ? 0.0 : 9.0) << k;
            EXPECT_EQ(estado.u[static_cast<std::size_t>(k - 1)], borda ? 0.0 : 2.0) << k;
            EXPECT_EQ(estado.v[static_cast<std::size_t>(k - 1)], borda ? 0.0 : 3.0) << k;
        }
    }
}

// Os coeficientes dos deslocamentos tornam o operador discreto exato numa
// quadrática: o resíduo aX·(E + W) + aY·(N + S) - aP·P de x² e de y² é, em
// todo nó, (K+1)·2 ou 2 (em u; trocados em v), com K = 1,3/0,7 (nu = 0,3).
// O térmico soma os gradientes sem o comprimento das faces: 2·dx e 2·dy.
TEST_F(Discretizacao, OperadoresDiscretosNumaQuadratica)
{
    malha(6, 5, 2.5, 1.2, 0.3); // dx = 0,5, dy = 0,3
    coef_temperatura();
    coef_u();
    coef_v();
    const auto& e = estado;
    const auto residuo = [&](double aP, double aX, double aY, bool em_x) {
        std::vector<double> f;
        for (std::size_t iy = 0; iy < 5; ++iy)
            for (std::size_t ix = 0; ix < 6; ++ix) f.push_back(em_x ? e.x[ix] * e.x[ix] : e.y[iy] * e.y[iy]);
        double Linf = 0.0;
        referencia::norma_Linf(aP, aX, aY, 6, 5, f, Linf);
        return Linf;
    };
    const double K1 = 2.0 * (1.3 / 0.7 + 1.0);
    EXPECT_NEAR(residuo(e.aPu, e.aXu, e.aYu, true), K1, 1e-12);
    EXPECT_NEAR(residuo(e.aPu, e.aXu, e.aYu, false), 2.0, 1e-12);
    EXPECT_NEAR(residuo(e.aPv, e.aXv, e.aYv, true), 2.0, 1e-12);
    EXPECT_NEAR(residuo(e.aPv, e.aXv, e.aYv, false), K1, 1e-12);
    EXPECT_NEAR(residuo(e.aPT, e.aXT, e.aYT, true), 1.0, 1e-12);
    EXPECT_NEAR(residuo(e.aPT, e.aXT, e.aYT, false), 0.6, 1e-12);
}

TEST_F(Discretizacao, TemperaturaLinearDaFonteMenosDoisKAlpha)
{
    const double alpha = 1.5e-5;
    malha(6, 5, 1.0, 0.7, 0.25, alpha);
    const double esperado = -2.0 * estado.K * alpha;
    for (std::int32_t iy = 1; iy <= 5; ++iy)
        for (std::int32_t ix = 1; ix <= 6; ++ix) T((iy - 1) * 6 + ix) = estado.y[static_cast<std::size_t>(iy - 1)];
    fonte_u();
    fonte_v();
    for (std::int32_t k : {8, 9, 10, 11, 14, 17, 20, 23}) {
        EXPECT_EQ(Su(k), 0.0) << k;
        EXPECT_NEAR(Sv(k), esperado, 1e-14 * std::abs(esperado) * 100) << k;
    }
    for (std::int32_t iy = 1; iy <= 5; ++iy)
        for (std::int32_t ix = 1; ix <= 6; ++ix) T((iy - 1) * 6 + ix) = estado.x[static_cast<std::size_t>(ix - 1)];
    fonte_u();
    fonte_v();
    for (std::int32_t k : {8, 9, 10, 11, 14, 17, 20, 23}) {
        EXPECT_NEAR(Su(k), esperado, 1e-14 * std::abs(esperado) * 100) << k;
        EXPECT_EQ(Sv(k), 0.0) << k;
    }
}

TEST_F(Discretizacao, OrientacaoDoTermoMisto)
{
    malha(4, 4, 1.0, 2.0, 0.3);
    const double quarto = 0.25 * estado.K / (estado.dx * estado.dy);
    estado.v[10] = 1.0; // nó 11 = (3, 3)
    fonte_u();
    EXPECT_DOUBLE_EQ(Su(6), quarto);
    for (std::int32_t k : {7, 10, 11}) EXPECT_EQ(Su(k), 0.0) << k;

    estado.v[10] = 0.0;
    estado.v[9] = 1.0; // nó 10 = (2, 3)
    fonte_u();
    EXPECT_DOUBLE_EQ(Su(7), -quarto);
    for (std::int32_t k : {6, 10, 11}) EXPECT_EQ(Su(k), 0.0) << k;

    estado.u[10] = 1.0;
    fonte_v();
    EXPECT_DOUBLE_EQ(Sv(6), quarto);
    for (std::int32_t k : {7, 10, 11}) EXPECT_EQ(Sv(k), 0.0) << k;
}

} // namespace
