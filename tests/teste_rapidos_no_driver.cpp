// O driver com os solvers rápidos: o mesmo estado que com os de referência,
// com os núcleos de cada conjunto de instruções que a CPU tem, e o caminho
// que cada fase tomou.
#include "modelo/variaveis.hpp"
#include "roteiro/processamento.hpp"
#include "solvers/rapidos/costuras.hpp"
#include "solvers/solvers_rapidos.hpp"
#include "auxiliar.hpp"
#include "conferencia.hpp"
#include "costuras.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfenv>
#include <cstdint>
#include <optional>
#include <tuple>

namespace {

using conferencia::diferenca;

class RapidosNoDriver : public teste::Por_instrucoes<> {};

// Um cálculo inteiro pelo driver: itmax 40 e todas as entradas das histórias
// listadas (passo_hist = 1), com tol -1 (as 40 varreduras) ou a dada.
struct Fase {
    const char* caso;
    std::int32_t Nx, Ny, itgs, itdesl;
    int threads;
    bool todas; // faixas e etapas para todas as threads em todo conjunto de instruções (32 linhas por faixa no maior)
    double nu = 0.3, alpha = 1.2e-5, tol = -1.0;
};

void PrintTo(const Fase& f, std::ostream* saida) { *saida << f.caso; }

Variaveis executar_fase(const Fase& f, bool rapidos, int& excecoes, Percursos* percursos = nullptr)
{
    reiniciar_variaveis();
    auto& e = estado;
    e.Lx = 1.0;
    e.Ly = 1.5;
    e.Nx = f.Nx;
    e.Ny = f.Ny;
    e.itmax = 40;
    e.itgs = f.itgs;
    e.itdesl = f.itdesl;
    e.tol = f.tol;
    e.nu = f.nu;
    e.alpha = f.alpha;
    e.passo_hist = 1;
    rapido::usar_no_driver(rapidos);
    std::feclearexcept(FE_ALL_EXCEPT);
    const Percursos p = processar();
    if (percursos != nullptr) *percursos = p;
    excecoes = std::fetestexcept(conferencia::excecoes_fatais);
    std::feclearexcept(FE_ALL_EXCEPT);
    return e;
}

class FasesNoDriver : public teste::Por_instrucoes<std::tuple<rapido::Instrucoes, Fase>> {};

// As temperaturas, as histórias e a fase dos deslocamentos inteira em faixas:
// T, it, L1, L2, Linf, u, v, Su, Sv e as exceções iguais aos da referência,
// com as threads pedidas nas duas fases quando a malha tem faixas para elas.
TEST_P(FasesNoDriver, MesmoEstadoQueComOsSolversDeReferencia)
{
    const Fase& f = std::get<1>(GetParam());
    int exc_ref = 0, exc_rap = 0;
    const Variaveis ref = executar_fase(f, false, exc_ref);
    rapido::definir_threads(f.threads);
    Percursos p;
    const Variaveis rap = executar_fase(f, true, exc_rap, &p);
    const struct {
        const char* nome;
        std::vector<double> Variaveis::*campo;
    } campos[] = {{"T", &Variaveis::T},   {"u", &Variaveis::u},   {"v", &Variaveis::v},
                  {"Su", &Variaveis::Su}, {"Sv", &Variaveis::Sv}};
    for (const auto& c : campos) EXPECT_EQ(diferenca(c.nome, rap.*c.campo, ref.*c.campo), "");
    const auto vetor = [](const Historia& h) { return std::vector<double>(h.begin(), h.end()); };
    EXPECT_EQ(diferenca("L1", vetor(rap.L1), vetor(ref.L1)), "");
    EXPECT_EQ(diferenca("L2", vetor(rap.L2), vetor(ref.L2)), "");
    EXPECT_EQ(diferenca("Linf", vetor(rap.Linf), vetor(ref.Linf)), "");
    EXPECT_EQ(rap.it, ref.it);
    if (f.tol > 0.0) {
        EXPECT_LT(ref.it, 40) << "a tolerância devia parar antes de itmax";
    }
    EXPECT_EQ(exc_rap, exc_ref);
    EXPECT_EQ(p.termico.caminho, rapido::Caminho::faixas);
    EXPECT_EQ(p.deslocamentos.caminho, f.itdesl >= 1 ? rapido::Caminho::faixas : rapido::Caminho::nenhum);
    for (const rapido::Percurso& fase : {p.termico, p.deslocamentos}) {
        if (fase.caminho == rapido::Caminho::nenhum) continue;
        if (f.todas) EXPECT_EQ(fase.threads, f.threads);
        else EXPECT_TRUE(fase.threads >= 1 && fase.threads <= f.threads) << fase.threads;
    }
}

const Fase fases[] = {
    {"uma thread", 37, 29, 20, 3, 1, true},   {"parada pela tolerância", 37, 29, 20, 3, 2, false, 0.3, 1.2e-5, 0.2},
    {"três threads", 37, 110, 7, 4, 3, true}, {"cinco threads e nu 0.5", 21, 190, 5, 3, 5, true, 0.5},
    {"oito threads", 40, 290, 3, 5, 8, true}, {"nu zero, itgs e itdesl 1", 26, 26, 1, 1, 8, false, 0.0, 2.0},
    {"3 x 3", 3, 3, 4, 2, 2, false, 0.3, 1.0}, {"uma linha interior", 50, 3, 2, 2, 2, false, 0.3, 1.0},
    {"uma coluna interior", 3, 50, 2, 3, 3, false, 0.3, 1.0}, {"itgs zero", 20, 20, 0, 3, 2, false, 0.3, 1.0},
    {"itdesl zero", 20, 20, 5, 0, 2, false, 0.3, 1.0}, {"faixa de cima incompleta", 64, 35, 2, 6, 5, false, 0.3, 1.0},
    {"estouro nas fontes", 20, 20, 5, 2, 2, false, 0.3, 1e307},
};

INSTANTIATE_TEST_SUITE_P(Fases, FasesNoDriver,
                         ::testing::Combine(teste::todas_as_instrucoes(), ::testing::ValuesIn(fases)),
                         [](const auto& i) {
                             return teste::nome_de_linha(rapido::nome(std::get<0>(i.param))) + "_" +
                                    teste::nome_de_linha(std::get<1>(i.param).caso);
                         });

// Qual caminho rodou: nas faixas com as threads pedidas; nas faixas com menos
// threads quando o sistema não cria as outras; a referência quando falta
// memória, também no meio da fase (o campo salvo da térmica; as fronteiras
// dos deslocamentos, com Su e Sv já escritos): ela refaz tudo das entradas,
// que as faixas não mudam; nenhum dos rápidos com o driver nos de
// referência. Sempre os mesmos bits, sem mensagem.
TEST_P(RapidosNoDriver, CaminhoTomadoEQuedasSemMudarOsBits)
{
    using costuras::Alocacao;
    using rapido::Caminho;
    const Fase f{"", 45, 110, 6, 3, 3, true};
    int exc = 0;
    const Variaveis ref = executar_fase(f, false, exc);
    struct Linha {
        const char* caso;
        int criadas;                         // threads da equipe que o sistema cria (-1: todas)
        std::optional<Alocacao> sem_memoria; // a alocação que falha
        rapido::Percurso termico, deslocamentos;
    };
    const Linha linhas[] = {
        {"três threads", -1, std::nullopt, {Caminho::faixas, 3}, {Caminho::faixas, 3}},
        {"o sistema não cria nenhuma thread da equipe", 0, std::nullopt, {Caminho::faixas, 1}, {Caminho::faixas, 1}},
        {"o sistema só cria uma thread da equipe", 1, std::nullopt, {Caminho::faixas, 2}, {Caminho::faixas, 2}},
        {"sem memória para as faixas", -1, Alocacao::faixas, {Caminho::referencia, 1}, {Caminho::referencia, 1}},
        {"sem memória para o campo salvo", -1, Alocacao::campo_salvo, {Caminho::referencia, 1}, {Caminho::faixas, 3}},
        {"sem memória para as fronteiras", -1, Alocacao::fronteiras, {Caminho::faixas, 3}, {Caminho::referencia, 1}},
    };
    rapido::definir_threads(3);
    for (const Linha& l : linhas) {
        SCOPED_TRACE(l.caso);
        equipe::desfazer();
        costuras::teste::falhar_criacao_de_threads(l.criadas);
        costuras::teste::falhar_alocacao(l.sem_memoria);
        Percursos p;
        const Variaveis rap = executar_fase(f, true, exc, &p);
        costuras::teste::falhar_criacao_de_threads(-1);
        costuras::teste::falhar_alocacao(std::nullopt);
        EXPECT_EQ(diferenca("u", rap.u, ref.u) + diferenca("v", rap.v, ref.v) + diferenca("T", rap.T, ref.T) +
                      diferenca("Su", rap.Su, ref.Su) + diferenca("Sv", rap.Sv, ref.Sv),
                  "");
        EXPECT_EQ(p.termico.caminho, l.termico.caminho);
        EXPECT_EQ(p.termico.threads, l.termico.threads);
        EXPECT_EQ(p.deslocamentos.caminho, l.deslocamentos.caminho);
        EXPECT_EQ(p.deslocamentos.threads, l.deslocamentos.threads);
    }
    equipe::desfazer();
    Percursos p;
    executar_fase(f, false, exc, &p);
    EXPECT_EQ(p.termico.caminho, Caminho::nenhum);
    EXPECT_EQ(p.deslocamentos.caminho, Caminho::nenhum);
    reiniciar_variaveis();
}

// O limiar no driver: numa malha de estudante (41 x 41, como o exemplo),
// com as threads padrão e duas CPUs, nenhuma fase pede uma thread ao
// sistema; com duas threads fixas, as duas fases rodam com elas. Os mesmos
// bits.
TEST(LimiarNoDriver, MalhaDeEstudanteSemCriarThreadsNasThreadsPadrao)
{
    const Fase f{"malha de estudante", 41, 41, 5, 3, 0, false, 0.3, 1.2e-5};
    int exc = 0;
    const Variaveis ref = executar_fase(f, false, exc);
    for (const int pedidas : {0, 2}) {
        SCOPED_TRACE(pedidas == 0 ? "threads padrão (no máximo duas)" : "duas threads fixas");
        equipe::desfazer();
        rapido::definir_threads(pedidas);
        const int antes = costuras::teste::threads_pedidas_ao_sistema();
        Percursos p;
        const Variaveis rap = executar_fase(f, true, exc, &p);
        if (pedidas == 0) {
            EXPECT_EQ(costuras::teste::threads_pedidas_ao_sistema(), antes);
        } else {
            EXPECT_EQ(p.termico.threads, 2);
            EXPECT_EQ(p.deslocamentos.threads, 2);
        }
        EXPECT_EQ(diferenca("T", rap.T, ref.T) + diferenca("u", rap.u, ref.u) + diferenca("v", rap.v, ref.v), "");
    }
    rapido::definir_threads(0);
    reiniciar_variaveis();
}

INSTANTIATE_TEST_SUITE_P(Instrucoes, RapidosNoDriver, teste::todas_as_instrucoes(), teste::nome_das_instrucoes);

} // namespace
