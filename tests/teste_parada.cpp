// A decisão de parar da solução térmica rápida, sozinha: o que vai para as
// histórias, se segue, para ou refaz o lote, quando soma o campo em série e
// que nenhuma exceção de ponto flutuante sai dela além das que a referência
// levanta na mesma varredura.
#include "solvers/rapidos/parada.hpp"
#include "auxiliar.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cfenv>
#include <cstdint>
#include <limits>
#include <optional>

namespace {

using parada::Rumo;
using parada::Somas;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();
constexpr int fatais = FE_DIVBYZERO | FE_OVERFLOW | FE_INVALID;

// Malha 12 x 12 (100 nós), tol 1e-6, itmax 50. A soma rápida certifica parar
// abaixo de uns (1 - 3 gama) tol e seguir acima de (1 + 3 gama) tol, gama =
// gama(99) = 1,1e-14: a 2 gama de tol a série decide, a 4 gama não; o maior
// |r| aceito sem soma em série é sqrt(DBL_MAX/400), uns 6,7e152.
struct Linha {
    const char* caso;
    double L1_0;
    std::int32_t m;
    double soma, maximo;
    std::optional<Somas> em_serie; // dos resíduos guardados
    bool listada, campo_exato;
    Somas do_campo; // o que a soma em série do campo vivo dá
    // esperado
    Rumo rumo;
    double L1;
    std::optional<double> L2; // vazio: L2(m) fica como estava
    bool somou_campo;
    int excecoes;
};

const Somas perto{0.999e-6, 1e-12};
const Somas longe{1.001e-6, 1e-12};
const Somas listadas{1.5e-6, 3e-12};
const double gama = 99 * 0x1p-53 / (1 - 99 * 0x1p-53);

const Linha linhas[] = {
    {"parada certificada", 1.0, 5, 0.5e-6, 1e-7, {}, false, true, perto, Rumo::parar, 0.999e-6, 1e-12, true, 0},
    {"seguir certificado", 1.0, 5, 2e-6, 1e-7, {}, false, false, perto, Rumo::seguir, 2e-6, {}, false, 0},
    {"sem teste na varredura 1, nem perto de tol", 1.0, 1, 1e-6, 1e-7, {}, false, false, perto, Rumo::seguir, 1e-6, {},
     false, 0},
    {"perto demais, a série para", 1.0, 5, 1e-6, 1e-7, {}, false, true, perto, Rumo::parar, 0.999e-6, 1e-12, true, 0},
    {"perto demais, a série segue", 1.0, 5, 1e-6, 1e-7, {}, false, true, longe, Rumo::seguir, 1.001e-6, 1e-12, true, 0},
    {"perto demais sem o campo", 1.0, 5, 1e-6, 1e-7, {}, false, false, perto, Rumo::refazer, nan, {}, false, 0},
    {"r*r pode estourar", 1.0, 5, 7e152, 7e152, {}, false, true, {7e152, inf}, Rumo::seguir, 7e152, inf, true, 0},
    {"NaN na soma rápida", 1.0, 1, nan, 3.0, {}, false, true, {nan, nan}, Rumo::seguir, nan, nan, true, 0},
    {"L1(0) zero: a série decide", 0.0, 5, 2e-6, 1e-7, {}, false, true, longe, Rumo::seguir, 1.001e-6, 1e-12, true,
     FE_DIVBYZERO},
    {"linha listada", 1.0, 10, 2e-6, 1e-7, listadas, true, false, perto, Rumo::seguir, 1.5e-6, 3e-12, false, 0},
    {"linha listada que para", 1.0, 10, 2e-6, 1e-7, perto, true, false, longe, Rumo::refazer, nan, {}, false, 0},
    {"itmax", 1.0, 50, 2e-6, 1e-7, {}, false, true, longe, Rumo::parar, 1.001e-6, 1e-12, true, 0},
    {"itmax sem o campo", 1.0, 50, 2e-6, 1e-7, {}, false, false, longe, Rumo::refazer, nan, {}, false, 0},
    {"2 gama abaixo de tol: a série segue", 1.0, 5, 1e-6 * (1 - 2 * gama), 1e-7, {}, false, true, longe, Rumo::seguir,
     1.001e-6, 1e-12, true, 0},
    {"2 gama acima de tol: a série para", 1.0, 5, 1e-6 * (1 + 2 * gama), 1e-7, {}, false, true, perto, Rumo::parar,
     0.999e-6, 1e-12, true, 0},
    {"4 gama abaixo de tol: parada certificada", 1.0, 5, 1e-6 * (1 - 4 * gama), 1e-7, {}, false, true, longe,
     Rumo::parar, 1.001e-6, 1e-12, true, 0},
    {"4 gama acima de tol: seguir certificado", 1.0, 5, 1e-6 * (1 + 4 * gama), 1e-7, {}, false, true, perto,
     Rumo::seguir, 1e-6 * (1 + 4 * gama), {}, false, 0},
};

void PrintTo(const Linha& l, std::ostream* saida) { *saida << l.caso; }

bool iguais(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

class DecisaoDeParada : public ::testing::TestWithParam<Linha> {};

TEST_P(DecisaoDeParada, Tabela)
{
    const Linha& l = GetParam();
    const parada::Decisor decisor(l.L1_0, 1e-6, 50, 12, 12);
    parada::Varredura v;
    v.m = l.m;
    v.soma = l.soma;
    v.maximo = l.maximo;
    v.em_serie = l.em_serie;
    v.listada = l.listada;
    v.campo_exato = l.campo_exato;
    bool somou = false;
    std::feclearexcept(FE_ALL_EXCEPT);
    const parada::Decisao d = decisor.decidir(v, [&] {
        somou = true;
        return l.do_campo;
    });
    EXPECT_EQ(std::fetestexcept(fatais), l.excecoes);
    std::feclearexcept(FE_ALL_EXCEPT);
    EXPECT_EQ(d.rumo, l.rumo);
    EXPECT_EQ(somou, l.somou_campo);
    if (d.rumo == Rumo::refazer || l.rumo == Rumo::refazer) return;
    EXPECT_TRUE(iguais(d.L1, l.L1)) << d.L1;
    EXPECT_EQ(d.com_L2, l.L2.has_value());
    if (d.com_L2 && l.L2) {
        EXPECT_TRUE(iguais(d.L2, *l.L2)) << d.L2;
    }
    EXPECT_TRUE(iguais(d.Linf, l.maximo));
}

INSTANTIATE_TEST_SUITE_P(Linhas, DecisaoDeParada, ::testing::ValuesIn(linhas), teste::nome_da_linha<Linha>);

// Sem L1(0) positivo e finito, ou com tol NaN, nada se decide pela soma rápida.
TEST(DecisaoDeParada, CertificavelSoComL1ZeroPositivoFinitoETolNumero)
{
    const double casos[][3] = {{1.0, 1e-6, 1}, {1.0, -1.0, 1}, {1.0, nan, 0},
                               {0.0, 1e-6, 0}, {inf, 1e-6, 0}, {nan, 1e-6, 0}};
    for (const auto& [L1_0, tol, certificavel] : casos) {
        EXPECT_EQ(parada::Decisor(L1_0, tol, 50, 12, 12).certificavel(), certificavel != 0) << L1_0 << ", " << tol;
    }
}

} // namespace
