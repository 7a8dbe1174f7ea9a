// Regras da equipe::Escolha (escolha.hpp), uma por teste, pela interface
// pública: a Escolha recebe tudo o que decide (as CPUs tomadas, se a carga é
// visível, se alguma espera dormiu e o tempo de cada lote); nada depende da
// máquina.
#include "solvers/rapidos/escolha.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using equipe::Escolha;

// O sistema que a Escolha vê, mudado pelo teste; conta as leituras das CPUs.
struct Sistema {
    bool tomadas = false;
    int leituras = 0;
    Escolha::Cpus_tomadas cpus()
    {
        return [this] {
            ++leituras;
            return tomadas;
        };
    }
};

// Um lote de s segundos por etapa; com `dormiu`, alguma espera dormiu nele.
void lote(Escolha& e, Sistema& s, bool dormiu = false, double segundos = 1.0) { e.depois(segundos, dormiu, s.cpus()); }

// Quantos lotes com uma thread (de 1 s por etapa) até a volta de n; no
// máximo 2000.
int lotes_com_uma(Escolha& e, Sistema& s)
{
    int k = 0;
    for (; k < 2000 && e.threads() == 1; ++k) lote(e, s);
    return k;
}

// O teste de n em que ele perde (1 s por etapa com uma).
void n_perde(Escolha& e, Sistema& s) { lote(e, s, true, 2.0); }

// Uma fase curta com as CPUs livres até a primeira derrota de n.
void perder_no_comeco(Escolha& e, Sistema& s)
{
    lote(e, s);    // aquece
    n_perde(e, s); // o teste de n: alguém dormiu
    lote(e, s);    // o teste com uma thread, mais rápido
}

} // namespace

// Regras 1 e 3: com uma thread, lotes inteiros desde o primeiro; e com n,
// numa fase que começa com as CPUs tomadas, enquanto elas seguem tomadas.
// As CPUs só são lidas quando uma regra precisa.
TEST(EscolhaDasThreads, UmaThreadLotesInteiros)
{
    struct Linha {
        const char* caso;
        int n;
        bool tomadas;
        bool le_as_cpus;
    };
    const Linha linhas[] = {
        {"uma thread", 1, false, false},
        {"uma thread sob carga", 1, true, false},
        {"duas threads sob carga", 2, true, true},
    };
    for (const Linha& l : linhas) {
        SCOPED_TRACE(l.caso);
        Sistema s{l.tomadas};
        Escolha e(l.n, true, s.cpus());
        int outros = 0; // lotes com n ou não inteiros
        for (int i = 0; i < 50; ++i) {
            outros += e.threads() != 1 || e.divisor() != 1;
            lote(e, s, i % 2 == 0, i % 3 == 0 ? 2.0 : 1.0);
        }
        EXPECT_EQ(outros, 0);
        EXPECT_EQ(s.leituras > 0, l.le_as_cpus);
    }
}

// Regras 2 e 3: uma fase com as CPUs livres aquece (um lote curto com n) e
// testa n; uma que começa sob carga, curta ou longa, vai a um lote inteiro
// com uma e, com as CPUs livres depois dele, ao teste de n sem aquecer.
TEST(EscolhaDasThreads, ComecoDaFase)
{
    struct Linha {
        const char* caso;
        bool tomadas;
        std::vector<int> divisores; // dos primeiros lotes; negativo: com uma thread
    };
    const Linha linhas[] = {
        {"CPUs livres", false, {64, 8}},
        {"sob carga", true, {-1, 8}},
    };
    for (const Linha& l : linhas) {
        SCOPED_TRACE(l.caso);
        Sistema s{l.tomadas};
        Escolha e(2, true, s.cpus());
        s.tomadas = false;
        std::vector<int> divisores;
        for (std::size_t i = 0; i < l.divisores.size(); ++i) {
            divisores.push_back(e.threads() == 1 ? -e.divisor() : e.divisor());
            lote(e, s);
        }
        EXPECT_EQ(divisores, l.divisores);
    }
}

// Regra 4, onde o sistema não mostra a carga (sem /proc, como no macOS): os
// testes de n não esperam CPUs livres e podem rodar sob carga, em lotes mais
// curtos.
TEST(EscolhaDasThreads, LotesDeTesteMaisCurtosSemACargaVisivel)
{
    int divisor[2] = {0, 0};
    for (const bool visivel : {true, false}) {
        Sistema s;
        Escolha e(2, visivel, s.cpus());
        lote(e, s); // aquece
        EXPECT_EQ(e.threads(), 2);
        divisor[visivel] = e.divisor();
    }
    EXPECT_GT(divisor[0], divisor[1]);
}

// Regras 4 e 5: depois de duas derrotas (o próximo castigo seria 32), o
// teste de n contra 1 s por etapa com uma: n só perde se alguém dormiu e ele
// andou mais de 5 % mais devagar; se ganha, a próxima derrota volta a 8.
TEST(EscolhaDasThreads, VitoriaVoltaOCastigo)
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
    for (const Linha& l : linhas) {
        SCOPED_TRACE(l.caso);
        Sistema s;
        Escolha e(2, true, s.cpus());
        perder_no_comeco(e, s);
        lotes_com_uma(e, s);
        n_perde(e, s);
        lotes_com_uma(e, s);
        lote(e, s, l.dormiu, l.s);
        if (e.threads() == 2) {
            // Regra 8: um lote com alguém dormindo e o dobro do tempo com
            // uma leva a um lote com uma e a outro teste, que n perde.
            lote(e, s, true, 2.0);
            EXPECT_EQ(lotes_com_uma(e, s), 1);
            n_perde(e, s);
        }
        EXPECT_EQ(lotes_com_uma(e, s), l.castigo);
    }
}

TEST(EscolhaDasThreads, CastigoDobraAteOTeto)
{
    Sistema s;
    Escolha e(2, true, s.cpus());
    perder_no_comeco(e, s);
    std::vector<int> castigos;
    for (int i = 0; i < 8; ++i) {
        castigos.push_back(lotes_com_uma(e, s));
        n_perde(e, s);
    }
    EXPECT_EQ(castigos, (std::vector<int>{8, 16, 32, 64, 128, 256, 512, 512}));
}

// Regras 3 e 6: com as CPUs tomadas, no começo de uma fase e no fim de
// um castigo, n não é testado; livres, volta em poucos lotes.
TEST(EscolhaDasThreads, SobCargaVisivelNaoTentaN)
{
    for (const bool no_comeco : {true, false}) {
        SCOPED_TRACE(no_comeco ? "fase que começa sob carga" : "castigo que acaba sob carga");
        Sistema s{no_comeco};
        Escolha e(2, true, s.cpus());
        if (!no_comeco) perder_no_comeco(e, s);
        s.tomadas = true;
        const int leituras_antes = s.leituras;
        int com_n = 0;
        for (int i = 0; i < 1000; ++i) {
            com_n += e.threads() != 1;
            lote(e, s, true);
        }
        EXPECT_EQ(com_n, 0);
        // Ler o sistema custa: sob carga, no máximo uma leitura a cada
        // quatro lotes.
        EXPECT_LE(s.leituras - leituras_antes, 1000 / 4 + 1);
        s.tomadas = false;
        EXPECT_LT(lotes_com_uma(e, s), 8);
    }
}

// Regra 7: o teto da folga. Depois de muitas vitórias, sob uma carga que
// chega e fica, os lotes curtos com espera dormida que ainda rodam com n
// somam oito lotes inteiros, e não mais: a carga é vista em poucos lotes,
// e a folga para de crescer.
TEST(EscolhaDasThreads, FolgaParaNoTetoDeOitoLotesInteiros)
{
    Sistema s;
    Escolha e(2, true, s.cpus());
    lote(e, s); // aquece
    lote(e, s); // o teste do começo: ninguém dormiu, n ganha
    std::vector<double> inteiros; // os lotes inteiros com n, sob carga, depois de cada vitória
    for (int v = 0; v < 10; ++v) {
        for (int k = 0; k < 1000 && e.threads() != 1; ++k) n_perde(e, s);
        lotes_com_uma(e, s);
        lote(e, s); // o teste: ninguém dormiu, n ganha
        double soma = 0.0;
        lote(e, s, true, 1.0); // o primeiro lote dormido, inteiro
        for (int k = 0; k < 100000 && e.threads() != 1; ++k) {
            soma += 1.0 / e.divisor();
            lote(e, s, true, 1.0);
        }
        inteiros.push_back(soma);
    }
    EXPECT_LT(inteiros[0], inteiros[3]) << "a folga dobra a cada vitória";
    EXPECT_EQ(inteiros[8], inteiros[9]) << "a folga para no teto";
    EXPECT_NEAR(inteiros[9], 8.0, 1.0);
}

// Regra 7: a folga. A vitória no teste do começo dá um lote de folga (o
// segundo lote seguido com espera dormida leva a uma thread); as seguintes,
// 2, 4, ... Um lote sem espera dormida não repõe a folga gasta.
TEST(EscolhaDasThreads, FolgaSoVoltaComUmaVitoria)
{
    struct Linha {
        const char* caso;
        int vitorias;               // depois da do começo, cada uma depois de uma derrota
        std::vector<bool> dormidas; // lotes com n depois da última vitória
        int com_n;                  // quantos deles rodaram com n
    };
    const Linha linhas[] = {
        {"a vitória do começo dá folga 1", 0, {true, true, true}, 2},
        {"a primeira depois de uma derrota dá 2", 1, {true, true, true, true}, 3},
        {"a seguinte dá 4", 2, {true, true, true, true, true, true}, 5},
        {"um lote sem espera dormida não repõe a folga gasta", 1, {true, true, false, true, true, true}, 5},
    };
    for (const Linha& l : linhas) {
        SCOPED_TRACE(l.caso);
        Sistema s;
        Escolha e(2, true, s.cpus());
        lote(e, s); // aquece
        lote(e, s); // o teste do começo: ninguém dormiu, n ganha
        for (int v = 0; v < l.vitorias; ++v) {
            for (int k = 0; k < 1000 && e.threads() != 1; ++k) n_perde(e, s);
            lotes_com_uma(e, s);
            lote(e, s); // o teste: ninguém dormiu, n ganha
        }
        int com_n = 0;
        for (const bool dormiu : l.dormidas) {
            if (e.threads() == 1) break;
            ++com_n;
            lote(e, s, dormiu);
        }
        EXPECT_EQ(com_n, l.com_n);
    }
}

// Regra 0: as threads que pagam as passagens, pela malha. As malhas de
// estudante (o exemplo, 81 x 81) e as até o empate medido ficam com uma;
// com muitas CPUs, cada thread ainda recebe tanto trabalho quanto cada uma
// de duas no limiar.
struct Limiar {
    const char* caso;
    int n, Nx, Ny;
    int threads;
};

class LimiarDasThreads : public testing::TestWithParam<Limiar> {};

TEST_P(LimiarDasThreads, ThreadsQuePagam)
{
    const Limiar& l = GetParam();
    EXPECT_EQ(Escolha::threads_que_pagam(l.n, (l.Nx - 2.0) * (l.Ny - 2.0)), l.threads);
}

INSTANTIATE_TEST_SUITE_P(
    Malhas, LimiarDasThreads,
    testing::Values(Limiar{"exemplo", 2, 41, 41, 1}, Limiar{"m81", 2, 81, 81, 1},
                    Limiar{"m121_abaixo_do_empate", 2, 121, 121, 1}, Limiar{"m141_ganha", 2, 141, 141, 2},
                    Limiar{"m201_oito_cpus", 8, 201, 201, 4}, Limiar{"m1001_oito_cpus", 8, 1001, 1001, 8},
                    Limiar{"uma_cpu", 1, 1001, 1001, 1}, Limiar{"tira_fina", 2, 3, 30000, 2},
                    Limiar{"minima", 2, 3, 3, 1}),
    [](const testing::TestParamInfo<Limiar>& i) { return std::string(i.param.caso); });
