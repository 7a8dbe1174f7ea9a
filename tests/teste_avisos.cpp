// Avisos de um resultado que não é a resposta: dx ≠ dy e a não convergência.
#include "entrada_saida/avisos.hpp"
#include "modelo/variaveis.hpp"
#include "roteiro/processamento.hpp"
#include "solvers/solvers.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cfenv>
#include <regex>
#include <vector>

namespace {

using ::testing::HasSubstr;

struct Caso_espacamentos {
    const char* nome;
    double Lx, Ly;
    std::int32_t Nx, Ny;
    std::string trecho; // vazio: sem aviso
};

void PrintTo(const Caso_espacamentos& c, std::ostream* saida) { *saida << c.nome; }

class Espacamentos : public ::testing::TestWithParam<Caso_espacamentos> {};

TEST_P(Espacamentos, AvisoSoAcimaDoArredondamentoComOParMaisProximo)
{
    const Caso_espacamentos& c = GetParam();
    const std::string aviso = aviso_de_espacamentos(c.Lx, c.Ly, c.Nx, c.Ny);
    if (c.trecho.empty()) {
        EXPECT_EQ(aviso, "");
        return;
    }
    EXPECT_THAT(aviso, HasSubstr("com dx ≠ dy, o esquema térmico converge para a solução de outra equação"));
    EXPECT_THAT(aviso, HasSubstr(c.trecho));
    EXPECT_THAT(aviso, ::testing::EndsWith(std::string("(ver ") + secao_dx_dy + ")"));
}

INSTANTIATE_TEST_SUITE_P(
    Malhas, Espacamentos,
    ::testing::Values(Caso_espacamentos{"iguais", 1.0, 1.0, 41, 41, ""},
                      // |dx - dy| = 0,5e-12 e 3e-12 vezes dx.
                      Caso_espacamentos{"arredondamento", 1.0, 1.0 + 5e-13, 41, 41, ""},
                      Caso_espacamentos{"acima do arredondamento", 1.0, 1.0 + 3e-12, 41, 41, "diferem"},
                      Caso_espacamentos{"placa 2 x 1", 2.0, 1.0, 41, 41, "com Nx = 41, use Ny = 21"},
                      Caso_espacamentos{"o mais próximo é o seu", 2.0, 3.0, 4, 6,
                                        "com Nx = 4, nenhum Ny dá dx = dy, e o mais próximo é o seu, 6 (dy/dx = "
                                        "0.9); Nx = 5 e Ny = 7 dão dx = dy"},
                      Caso_espacamentos{"sem par exato", 1.0, 3.3333, 41, 41,
                                        "com Nx = 41, o Ny mais próximo é 134 (dy/dx = 1.002)"},
                      Caso_espacamentos{"Nx para o Ny numa placa larga", 100.0, 1.0, 5, 41,
                                        "com Ny = 41, use Nx = 4001"}));

struct Caso_convergencia {
    const char* nome;
    double tol;
    std::int32_t it, itmax;
    std::vector<double> L1;
    std::string trecho; // vazio: sem aviso
};

void PrintTo(const Caso_convergencia& c, std::ostream* saida) { *saida << c.nome; }

std::vector<double> metades(int n)
{
    std::vector<double> L1{1.0};
    for (int m = 1; m <= n; ++m) L1.push_back(L1.back() / 2);
    return L1;
}

class Convergencia : public ::testing::TestWithParam<Caso_convergencia> {};

// Com 3 x 3 nós o Gauss-Seidel resolve numa varredura: a queda que conta é a
// da história. O aviso sai no meio do cálculo: não liga nenhum indicador de
// falha aritmética (no fim, seria uma falha que não houve).
TEST_P(Convergencia, AvisoSoQuandoParouEmItmaxAcimaDeTol)
{
    const Caso_convergencia& c = GetParam();
    std::feclearexcept(FE_ALL_EXCEPT);
    const std::string aviso = aviso_de_convergencia({c.tol, c.it, c.itmax, c.L1, 1.0, 1.0, 3, 3});
    EXPECT_EQ(std::fetestexcept(FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW), 0);
    if (c.trecho.empty()) EXPECT_EQ(aviso, "");
    else EXPECT_THAT(aviso, HasSubstr(c.trecho));
}

INSTANTIATE_TEST_SUITE_P(
    Historias, Convergencia,
    ::testing::Values(
        Caso_convergencia{"convergiu antes de itmax", 1e-2, 7, 10, metades(7), ""},
        Caso_convergencia{"parou em itmax já abaixo de tol", 1e-2, 7, 7, metades(7), ""},
        Caso_convergencia{"tol zero pede todas as iterações", 0.0, 8, 8, metades(8), ""},
        Caso_convergencia{"tol negativo também", -1.0, 8, 8, metades(8), ""},
        Caso_convergencia{"não convergiu", 1e-6, 8, 8, metades(8),
                          "o problema térmico não convergiu: depois de itmax = 8 iterações, L1(it)/L1(0) = 0.00391, "
                          "acima de tol = 1e-06; aumente itmax em entrada_geral.ent: pela queda do resíduo nesta "
                          "malha, faltam umas 12 iterações (itmax de uns 20)"},
        Caso_convergencia{"uma iteração", 1e-6, 1, 1, metades(1),
                          "depois de itmax = 1 iteração, L1(it)/L1(0) = 0.5, acima de tol = 1e-06; aumente itmax em "
                          "entrada_geral.ent: pela queda do resíduo nesta malha, faltam umas 19 iterações (itmax de "
                          "uns 20)"},
        Caso_convergencia{"resíduo parado no arredondamento", 1e-17, 4, 4, {1.0, 3e-16, 3e-16, 3e-16, 3e-16},
                          "; o resíduo não caiu na última iteração, e aumentar itmax talvez não adiante: confira tol"},
        // A queda 1e-323/4 vira 0 (subnormal): log(0) ligaria a divisão por zero.
        Caso_convergencia{"queda abaixo do menor subnormal", 5e-324, 2, 2, {1.0, 4.0, 1e-323}, "não convergiu"},
        Caso_convergencia{"além do maior itmax", 1e-6, 1, 1, {1.0, 1.0 - 1e-9},
                          "; seriam precisas mais iterações que o maior itmax (2147483647): aumente tol ou use menos "
                          "nós"}));

// Parada cedo (itmax 10) numa malha de verdade: o itmax sugerido fica perto
// do que a solução precisa. Pela queda das primeiras iterações, muito mais
// rápida que a assintótica, o exemplo (41 x 41) pediria umas 230, e precisa
// de 1875.
TEST(Convergencia_estimada, ItmaxSugeridoPertoDoNecessario)
{
    const struct {
        double Lx, Ly;
        std::int32_t Nx, Ny;
        double tol;
    } malhas[] = {{1.0, 1.0, 41, 41, 1e-6}, {2.0, 1.0, 41, 21, 1e-6}, {1.0, 1.0, 21, 61, 1e-8}};
    const auto resolver = [](const auto& m, std::int32_t itmax) {
        reiniciar_variaveis();
        auto& e = estado;
        e.Lx = m.Lx;
        e.Ly = m.Ly;
        e.Nx = m.Nx;
        e.Ny = m.Ny;
        e.itmax = itmax;
        e.tol = m.tol;
        preparar_malha();
        discretizacao_termica();
        medidas_iniciais();
        referencia::gs_laplace(e.aPT, e.aXT, e.aYT, e.itmax, e.tol, e.Nx, e.Ny, e.L1, e.L2, e.Linf, e.it, e.T);
        return aviso_de_convergencia({e.tol, e.it, e.itmax, e.L1, e.aXT, e.aYT, e.Nx, e.Ny});
    };
    for (const auto& m : malhas) {
        SCOPED_TRACE(std::to_string(m.Nx) + " x " + std::to_string(m.Ny));
        EXPECT_EQ(resolver(m, 1000000), "");
        const double necessario = estado.it;
        const std::string aviso = resolver(m, 10);
        std::smatch achado;
        ASSERT_TRUE(std::regex_search(aviso, achado, std::regex("itmax de uns ([0-9]+)"))) << aviso;
        const double sugerido = std::stod(achado[1]);
        EXPECT_GE(sugerido, 0.9 * necessario) << aviso;
        EXPECT_LE(sugerido, 1.3 * necessario) << aviso;
    }
    reiniciar_variaveis();
}

} // namespace
