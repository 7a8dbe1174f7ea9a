// Regras da equipe::Escolha (escolha.hpp), pela interface pública. As esperas
// dormidas e as CPUs tomadas são simuladas e os tempos dados: nada depende da
// velocidade nem da carga da máquina.
#include "plataforma/cpus.hpp"
#include "solvers/rapidos/escolha.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace {

using equipe::Escolha;

// Um lote de s segundos por etapa; com `dormiu`, alguma espera dormiu nele.
void lote(Escolha& e, bool dormiu = false, double s = 1.0)
{
    e.antes();
    if (dormiu) equipe::simular_dormida();
    e.depois(s);
}

// Quantos lotes com uma thread (de 1 s por etapa) até a volta de n; no
// máximo 2000.
int lotes_com_uma(Escolha& e)
{
    int k = 0;
    for (; k < 2000 && e.threads() == 1; ++k) lote(e);
    return k;
}

// O teste de n em que ele perde (1 s por etapa com uma).
void n_perde(Escolha& e) { lote(e, true, 2.0); }

// Uma fase curta com as CPUs livres até a primeira derrota de n.
void perder_no_comeco(Escolha& e)
{
    lote(e);      // aquece
    n_perde(e);   // o teste de n: alguém dormiu
    lote(e);      // o teste com uma thread, mais rápido
}

class CpusSimuladas : public testing::Test {
protected:
    void TearDown() override { equipe::simular_cpus_tomadas(-1); }
};

using EscolhaDasThreads = CpusSimuladas;

} // namespace

// Com as CPUs tomadas, no começo de uma fase longa e no fim de um castigo,
// n não é testado; livres, volta em poucos lotes.
TEST_F(EscolhaDasThreads, SobCargaVisivelNaoTentaN)
{
    for (const bool longa : {true, false}) {
        SCOPED_TRACE(longa ? "fase longa que começa sob carga" : "castigo que acaba sob carga");
        equipe::simular_cpus_tomadas(longa ? 1 : 0);
        Escolha e(2, longa);
        if (!longa) perder_no_comeco(e);
        equipe::simular_cpus_tomadas(1);
        int com_n = 0;
        for (int i = 0; i < 1000; ++i) {
            com_n += e.threads() != 1;
            lote(e, true);
        }
        EXPECT_EQ(com_n, 0);
        equipe::simular_cpus_tomadas(0);
        EXPECT_LT(lotes_com_uma(e), 8);
    }
}

TEST_F(EscolhaDasThreads, CastigoDobraAteOTeto)
{
    equipe::simular_cpus_tomadas(0);
    Escolha e(2, false);
    perder_no_comeco(e);
    std::vector<int> castigos;
    for (int i = 0; i < 8; ++i) {
        castigos.push_back(lotes_com_uma(e));
        n_perde(e);
    }
    EXPECT_EQ(castigos, (std::vector<int>{8, 16, 32, 64, 128, 256, 512, 512}));
}

// Depois de duas derrotas (o próximo castigo seria 32), o teste de n contra
// 1 s por etapa com uma: n só perde se alguém dormiu e ele andou mais de 5 %
// mais devagar; se ganha, a próxima derrota volta a 8.
TEST_F(EscolhaDasThreads, VitoriaVoltaOCastigo)
{
    struct Linha {
        const char* caso;
        bool dormiu;
        double s;
        int castigo;
    };
    const Linha linhas[] = {
        {"ninguém dormiu, n 3 vezes mais lento: ganha", false, 3.0, 8},
        {"alguém dormiu, n 4 % mais lento: ganha", true, 1.04, 8},
        {"alguém dormiu, n 6 % mais lento: perde", true, 1.06, 32},
    };
    equipe::simular_cpus_tomadas(0);
    for (const Linha& l : linhas) {
        SCOPED_TRACE(l.caso);
        Escolha e(2, false);
        perder_no_comeco(e);
        lotes_com_uma(e);
        n_perde(e);
        lotes_com_uma(e);
        lote(e, l.dormiu, l.s);
        if (e.threads() == 2) {
            // Um lote com alguém dormindo e o dobro do tempo com uma: um lote
            // com uma e outro teste, que n perde.
            lote(e, true, 2.0);
            EXPECT_EQ(lotes_com_uma(e), 1);
            n_perde(e);
        }
        EXPECT_EQ(lotes_com_uma(e), l.castigo);
    }
}

// Com uma thread, lotes inteiros: com n <= 1 desde o primeiro lote, e com n
// enquanto a carga não passa.
TEST_F(EscolhaDasThreads, UmaThreadLotesInteiros)
{
    struct Linha {
        const char* caso;
        int n;
        bool longa;
        int tomadas;
    };
    const Linha linhas[] = {
        {"uma thread, fase curta", 1, false, 0},
        {"uma thread, fase longa sob carga", 1, true, 1},
        {"duas threads, fase longa sob carga", 2, true, 1},
    };
    for (const Linha& l : linhas) {
        SCOPED_TRACE(l.caso);
        equipe::simular_cpus_tomadas(l.tomadas);
        Escolha e(l.n, l.longa);
        int outros = 0; // lotes com n ou não inteiros
        for (int i = 0; i < 50; ++i) {
            outros += e.threads() != 1 || e.divisor() != 1;
            lote(e, i % 2 == 0, i % 3 == 0 ? 2.0 : 1.0);
        }
        EXPECT_EQ(outros, 0);
    }
}

// Onde o sistema não mostra a carga (sem /proc, como no macOS), os testes de
// n não esperam CPUs livres e podem rodar sob carga: lotes de teste mais curtos.
TEST_F(EscolhaDasThreads, LotesDeTesteMaisCurtosSemACargaVisivel)
{
    int divisor[2] = {0, 0};
    for (const bool sem_proc : {false, true}) {
        simular_sistema_sem_proc(sem_proc);
        equipe::simular_cpus_tomadas(0);
        Escolha e(2, false);
        lote(e); // aquece
        EXPECT_EQ(e.threads(), 2);
        divisor[sem_proc] = e.divisor();
    }
    simular_sistema_sem_proc(false);
    EXPECT_GT(divisor[1], divisor[0]);
}

