// Sequência do driver e solução analítica.
#include "modelo/variaveis.hpp"
#include "progresso/progresso.hpp"
#include "roteiro/processamento.hpp"
#include "auxiliar.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace {

class Driver : public ::testing::Test {
protected:
    void SetUp() override
    {
        reiniciar_variaveis();
        auto& e = estado;
        e.Lx = 1.0;
        e.Ly = 1.0;
        e.Nx = 3;
        e.Ny = 3;
        e.itmax = 50;
        e.itgs = 5;
        e.itdesl = 1;
        e.tol = 1e-10;
        e.nu = 0.3;
        e.alpha = 1e-5;
    }
    static double no(const std::vector<double>& campo, std::int32_t k) { return campo[static_cast<std::size_t>(k - 1)]; }
};

TEST_F(Driver, CoordenadasPorUmaMultiplicacaoCadaUma)
{
    auto& e = estado;
    e.Nx = 5;
    preparar_malha();
    EXPECT_EQ(e.x, (std::vector<double>{0.0, 0.25, 0.5, 0.75, 1.0}));

    e.Nx = 11;
    e.Lx = 0.3;
    preparar_malha();
    double acumulado = 0.0;
    bool difere_da_soma = false;
    for (std::int32_t ix = 1; ix <= 11; ++ix) {
        EXPECT_EQ(e.x[static_cast<std::size_t>(ix - 1)], (ix - 1.0) * (0.3 / 10.0));
        difere_da_soma = difere_da_soma || e.x[static_cast<std::size_t>(ix - 1)] != acumulado;
        acumulado += e.dx;
    }
    EXPECT_TRUE(difere_da_soma);
}

TEST_F(Driver, CadaFaseNaMalhaTresPorTresDaOValorCalculadoAMao)
{
    auto& e = estado;
    preparar_malha();
    discretizacao_termica();
    EXPECT_EQ(no(e.T, 8), 1.0);
    medidas_iniciais();
    EXPECT_EQ(e.L1[0], 2.0); // |aY*1| no nó 5
    EXPECT_EQ(e.L2[0], 4.0);
    EXPECT_EQ(e.Linf[0], 2.0);
    solucao_termica();
    EXPECT_EQ(e.it, 2);
    EXPECT_EQ(no(e.T, 5), 0.25);
    discretizacao_deslocamentos();
    iteracoes_deslocamento();
    // Um nó interior: u(5) = 0 e v(5) = -K*alpha/(dy*aPv).
    EXPECT_EQ(no(e.u, 5), 0.0);
    EXPECT_DOUBLE_EQ(no(e.v, 5), -e.K * e.alpha / (e.dy * e.aPv));
    const double v5 = no(e.v, 5);
    e.itdesl = 4;
    iteracoes_deslocamento();
    EXPECT_EQ(no(e.v, 5), v5);
    EXPECT_EQ(e.itd, 5);
}

TEST_F(Driver, SemIteracoesExternasOuSemVarredurasOsDeslocamentosFicamZero)
{
    auto& e = estado;
    for (const auto& [itdesl, itgs] : {std::pair{0, 5}, std::pair{3, 0}, std::pair{-2, 5}}) {
        SCOPED_TRACE(testing::Message() << "itdesl " << itdesl << ", itgs " << itgs);
        SetUp();
        e.Nx = 6;
        e.Ny = 5;
        e.itdesl = itdesl;
        e.itgs = itgs;
        processar();
        for (double valor : e.u) EXPECT_EQ(valor, 0.0);
        for (double valor : e.v) EXPECT_EQ(valor, 0.0);
    }
}

} // namespace

// Tempo restante da fase térmica: a queda recente de log(L1/L1(0)), em
// segundos por varredura, levada até log(tol) e limitada por itmax.
TEST(Progresso, TempoRestanteDaFaseTermica)
{
    const double l2 = std::log(1e-2), l3 = std::log(1e-3), l6 = std::log(1e-6);
    const struct {
        const char* nome;
        double log_razao, log_tol;
        std::int32_t itmax;
        double falta;
    } casos[] = {
        {"extrapolada até tol", l3, l6, 100000, 30.0},
        {"limitada por itmax", l3, l6, 400, 20.0},
        {"resíduo parado: até itmax", l2, l6, 400, 20.0},
        {"tol <= 0: até itmax", l3, NAN, 400, 20.0},
        {"já abaixo de tol", l6, l3, 400, 0.0},
    };
    for (const auto& c : casos) {
        // Varreduras 100 a 200 em 10 s, de L1/L1(0) = 1e-2 até razão.
        EXPECT_NEAR(progresso::falta_termica(100, l2, 10.0, 200, c.log_razao, 20.0, c.log_tol, c.itmax), c.falta, 1e-9)
            << c.nome;
    }
    EXPECT_LT(progresso::falta_termica(200, l2, 10.0, 200, l3, 20.0, l6, 400), 0.0) << "sem varredura nova";
}

// Uma linha mais curta que a anterior não deixa restos dela na tela, e a
// largura guardada (a que o apagar cobre) é a do que ficou na tela.
TEST(Progresso, LinhaMaisCurtaCobreORestoDaAnterior)
{
    int na_tela = 0;
    std::string bytes;
    for (const std::string linha : {"Problema térmico: varredura 9/100", "Térmico 10/100", "Gravando 1.5/3.0 MB"}) {
        bytes += progresso::redesenho(linha, na_tela);
        EXPECT_EQ(teste::tela(bytes), linha + "\n");
    }
    EXPECT_EQ(na_tela, 33);
}
