// Discretização térmica e dos deslocamentos.
#include "modelo/coeficientes.hpp"
#include "modelo/variaveis.hpp"
#include "roteiro/processamento.hpp"
#include "solvers/solvers.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

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

TEST_F(Discretizacao, CoeficientesTermicosUsamOEspacamentoSemQuadrado)
{
    malha(21, 21, 1.0, 2.0);
    coef_temperatura();
    EXPECT_DOUBLE_EQ(estado.aXT, 20.0);
    EXPECT_DOUBLE_EQ(estado.aYT, 10.0);
    EXPECT_DOUBLE_EQ(estado.aPT, 60.0);
}

TEST_F(Discretizacao, BordaDeCimaEhMeiaOndaSenoidalEAsOutrasZero)
{
    malha(5, 4, 1.0, 1.0);
    for (double& t : estado.T) t = 9.0;
    discretizacao_termica();
    const double topo[] = {0.0, 0.7071067811865475, 1.0, 0.7071067811865476, 1.2246467991473532e-16};
    for (std::int32_t ix = 1; ix <= 5; ++ix) EXPECT_EQ(T(15 + ix), topo[ix - 1]) << ix;
    for (std::int32_t k = 1; k <= 5; ++k) EXPECT_EQ(T(k), 0.0);
    for (std::int32_t k : {6, 10, 11, 15}) EXPECT_EQ(T(k), 0.0);
    for (std::int32_t k : {7, 8, 9, 12, 13, 14}) EXPECT_EQ(T(k), 9.0); // interior intocado
}

TEST_F(Discretizacao, SemNosInteirosAsBordasLateraisNaoEscrevemNada)
{
    malha(4, 2, 1.0, 1.0);
    discretizacao_termica();
    EXPECT_EQ(T(6), std::sin((estado.x[1] * estado.pi) / 1.0));
}

TEST_F(Discretizacao, CoeficientesDosDeslocamentos)
{
    malha(5, 5, 2.0, 2.0, 0.3);
    coef_u();
    coef_v();
    const double h = 0.5;
    EXPECT_DOUBLE_EQ(estado.K, 1.3 / 0.7);
    EXPECT_DOUBLE_EQ(estado.aXu, (1.3 / 0.7 + 1.0) / (h * h));
    EXPECT_EQ(estado.aYu, 4.0);
    EXPECT_EQ(estado.aXv, 4.0);
    EXPECT_EQ(estado.aYv, estado.aXu);
    EXPECT_EQ(estado.aPu, estado.aPv);
    EXPECT_DOUBLE_EQ(estado.aPu, 2.0 * (estado.K + 2.0) / (h * h));
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

TEST_F(Discretizacao, ContornosDosDeslocamentosZeramTodaABorda)
{
    malha(5, 4, 1.0, 1.0);
    for (double& a : estado.u) a = 2.0;
    for (double& a : estado.v) a = 3.0;
    discretizacao_deslocamentos();
    for (std::int32_t k = 1; k <= 20; ++k) {
        const std::int32_t ix = (k - 1) % 5 + 1, iy = (k - 1) / 5 + 1;
        const bool borda = ix == 1 || ix == 5 || iy == 1 || iy == 4;
        EXPECT_EQ(estado.u[static_cast<std::size_t>(k - 1)], borda ? 0.0 : 2.0) << k;
        EXPECT_EQ(estado.v[static_cast<std::size_t>(k - 1)], borda ? 0.0 : 3.0) << k;
    }
}

} // namespace
