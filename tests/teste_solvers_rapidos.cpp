// Solvers rápidos: bit a bit iguais aos de referência, com as mesmas exceções
// de ponto flutuante, em qualquer malha, com 1 a 8 threads, qualquer passo do
// histórico e com os núcleos de cada conjunto de instruções que a CPU tem; e
// as threads (quantas, as faixas de cada uma). O driver com os solvers
// rápidos: teste_rapidos_no_driver.cpp.
#include "plataforma/cpus.hpp"
#include "plataforma/cpus_internos.hpp"
#include "solvers/rapidos/equipe.hpp"
#include "solvers/rapidos/faixas.hpp"
#include "solvers/solvers.hpp"
#include "solvers/solvers_rapidos.hpp"
#include "auxiliar.hpp"
#include "conferencia.hpp"

#include <gtest/gtest.h>

#include <cfenv>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#ifdef __linux__
#include <sched.h>
#endif

namespace {

using namespace conferencia;

void comparar_termica(const Caso& k, std::int32_t itmax, double tol, int threads, std::int32_t passo = 1,
                      rapido::Caminho esperado = rapido::Caminho::faixas)
{
    EXPECT_EQ(diferencas_termica(k, itmax, tol, threads, passo, esperado), "");
}

void comparar_fonte(const Caso& k, std::int32_t nsweeps, int threads, rapido::Caminho esperado = rapido::Caminho::faixas)
{
    EXPECT_EQ(diferencas_fonte(k, nsweeps, threads, esperado), "");
}

class SolversRapidos : public teste::Por_instrucoes<> {};

TEST_P(SolversRapidos, LaplaceIgualAReferenciaEmCasosAleatorios)
{
    EXPECT_EQ(conferencia::laplace_aleatorios(240, [](const std::string& d) { ADD_FAILURE() << d; }), 0);
}

TEST_P(SolversRapidos, FonteIgualAReferenciaEmCasosAleatorios)
{
    EXPECT_EQ(conferencia::fonte_aleatorios(240, [](const std::string& d) { ADD_FAILURE() << d; }), 0);
}

// Malhas estreitas e de bordas na fronteira das faixas de linhas e dos vetores.
TEST_P(SolversRapidos, MalhasEstreitasEDeTamanhosNasFronteirasDosVetores)
{
    Gerador g(99);
    const std::int32_t lados[] = {3, 4, 5, 9, 10, 23, 24, 25, 26, 27, 34, 49, 50, 51};
    for (const std::int32_t Nx : lados) {
        for (const std::int32_t Ny : lados) {
            Caso k;
            k.Nx = Nx;
            k.Ny = Ny;
            k.c = g.coeficientes(Nx, Ny);
            k.campo = g.campo(Nx, Ny);
            k.fonte = g.campo(Nx, Ny);
            const int threads = 1 + (Nx + Ny) % 3;
            comparar_termica(k, 4, -1.0, threads);
            comparar_fonte(k, 5, threads);
        }
    }
}

// Malha grande, resolvida em lotes de 8 varreduras (uns 16 milhões de nós),
// com o número de threads escolhido pelo tempo de cada lote; a parada na
// varredura 12, no segundo lote com várias threads, refaz desde o campo
// salvo no primeiro.
TEST_P(SolversRapidos, MalhaGrandeEmLotes)
{
    // As referências servem a todos os conjuntos de instruções.
    struct Referencias {
        Caso k;
        Termica livre;       // 24 varreduras
        Termica ate[2];      // paradas em 19 e em 12
        double tol[2];
    };
    static const Referencias r = [] {
        Referencias x;
        Gerador g(41);
        x.k.Nx = 1800;
        x.k.Ny = 1120;
        x.k.c = g.coeficientes(x.k.Nx, x.k.Ny);
        x.k.campo = g.campo(x.k.Nx, x.k.Ny);
        x.livre = resolver(laplace_referencia, x.k, 24, -1.0);
        for (int i = 0; i < 2; ++i) {
            x.tol[i] = x.livre.L1[i == 0 ? 19 : 12] / x.livre.L1[0];
            x.ate[i] = resolver(laplace_referencia, x.k, 24, x.tol[i]);
        }
        return x;
    }();
    for (const int threads : {1, 2, 3}) {
        EXPECT_EQ(diferencas_termica(r.ate[0], r.k, 24, r.tol[0], threads, 7), "");
        EXPECT_EQ(diferencas_termica(r.ate[1], r.k, 24, r.tol[1], threads, -1), "");
        EXPECT_EQ(diferencas_termica(r.livre, r.k, 24, -1.0, threads, 1), "");
    }
}

// NaN e infinitos no campo: mesmos bits (inclusive nas histórias) e as mesmas
// exceções; o máximo ignora NaN como a referência. E zeros com sinal.
TEST_P(SolversRapidos, CamposComNaNEInfinito)
{
    Gerador g(5);
    for (int n = 0; n < 30; ++n) {
        Caso k = g.caso(40);
        k.c = {4.0, 1.0, 1.0};
        const std::size_t N = k.campo.size();
        k.campo[static_cast<std::size_t>(g.inteiro(0, static_cast<int>(N) - 1))] =
            n % 2 == 0 ? std::numeric_limits<double>::quiet_NaN() : std::numeric_limits<double>::infinity();
        comparar_termica(k, 6, -1.0, threads_testadas[n % 5], passos_testados[n / 5 % 5]);
        comparar_fonte(k, 6, threads_testadas[n % 5]);
    }
    // Zeros com sinal no campo e coeficientes -0: o mesmo sinal em cada zero.
    for (const Coeficientes c : {Coeficientes{4.0, -0.0, -0.0}, Coeficientes{-4.0, -0.0, 1.0}, Coeficientes{4.0, 1.0, -0.0}}) {
        Caso k = g.caso(40);
        k.c = c;
        for (double& x : k.campo) x = 0.0 * x;
        comparar_termica(k, 5, 0.0, 2);
        comparar_fonte(k, 3, 2);
    }
}

// Coeficientes que os núcleos em faixas não aceitam vão para a referência.
TEST_P(SolversRapidos, MalhasSemInteriorECoeficientesDegenerados)
{
    Gerador g(31);
    const Coeficientes degenerados[] = {{0.0, 1.0, 1.0}, {std::numeric_limits<double>::infinity(), 1.0, 1.0},
                                        {4.0, std::numeric_limits<double>::quiet_NaN(), 1.0}};
    for (const Coeficientes& c : degenerados) {
        Caso k = g.caso(20);
        k.c = c;
        comparar_termica(k, 3, 1e-3, 2, 1, rapido::Caminho::referencia);
        comparar_fonte(k, 3, 2, rapido::Caminho::referencia);
    }
    Caso fina = g.caso(20);
    fina.Ny = 2;
    fina.campo.resize(static_cast<std::size_t>(fina.Nx) * 2);
    fina.fonte.resize(fina.campo.size());
    comparar_fonte(fina, 3, 2, rapido::Caminho::referencia);
    comparar_termica(fina, 3, 1e-3, 2, 1, rapido::Caminho::referencia);
}

// Estouros que só a thread de trabalho (a das faixas de cima, com 2 threads
// e 38 linhas interiores: duas faixas ou mais em todo conjunto de
// instruções) levanta: a exceção tem de chegar a quem chamou. Com aY = 0,
// as linhas não se tocam: só a de cima tem valores, o resto é zero.
TEST_P(SolversRapidos, ExcecaoDaThreadDeTrabalhoChegaAQuemChamou)
{
    // A varredura 1 leva a linha de cima a 2e200 e 2e300; a 2 estoura.
    Caso k;
    k.Nx = 4;
    k.Ny = 40;
    k.c = {1e-100, 1.0, 0.0};
    k.campo.assign(160, 0.0);
    for (std::size_t i = 152; i < 156; ++i) k.campo[i] = 1e100;
    k.fonte.assign(160, 0.0);
    rapido::definir_threads(2);
    const Deslocamento uma = varrer(rapido::gs_fonte, k, 1);
    EXPECT_EQ(uma.excecoes, 0);
    const Deslocamento duas = varrer(rapido::gs_fonte, k, 2);
    EXPECT_EQ(duas.excecoes, FE_OVERFLOW);
    EXPECT_EQ(duas.percurso.threads, 2);
    EXPECT_EQ(diferenca("phi", duas.phi, varrer(fonte_referencia, k, 2).phi), "");

    // Na solução térmica, L2 (r*r) estoura na parte das somas em série da
    // thread de cima: borda de cima 1e200, o resto zero.
    k.Nx = 30;
    k.c = {4.0, 1.0, 1.0};
    k.campo.assign(1200, 0.0);
    for (std::size_t i = 1170; i < 1200; ++i) k.campo[i] = 1e200;
    const Termica t = resolver(rapido::gs_laplace, k, 2, -1.0);
    EXPECT_EQ(t.excecoes, FE_OVERFLOW);
    EXPECT_EQ(t.percurso.threads, 2);
    EXPECT_TRUE(std::isinf(t.L2[1]));
}

// L2 (soma de r*r em série) estoura na linha 1 (escala 4e153) ou 1 e 2
// (1e154) e depois não: a referência levanta FE_OVERFLOW também quando essas
// linhas não são listadas, e o solver rápido tem de somar em série nelas.
TEST_P(SolversRapidos, EstouroDeL2EmLinhaListadaOuNao)
{
    Gerador g(13);
    for (const double escala : {4e153, 1e154}) {
        Caso k;
        k.Nx = 10;
        k.Ny = 10;
        k.c = {4.0, 1.0, 1.0};
        k.campo.assign(100, 0.0);
        for (std::size_t i = 0; i < 100; ++i) {
            if (i >= 10 && i < 90 && i % 10 != 0 && i % 10 != 9) k.campo[i] = g.real(-1.0, 1.0) * escala;
        }
        const Termica ref = resolver(laplace_referencia, k, 5, -1.0);
        ASSERT_TRUE(std::isinf(ref.L2[1]) && std::isfinite(ref.L2[3]));
        ASSERT_EQ(ref.excecoes, FE_OVERFLOW);
        for (const std::int32_t passo : {5, 2, 1, -1}) {
            for (const int threads : threads_testadas) comparar_termica(k, 5, -1.0, threads, passo);
        }
    }
}

// A varredura adiantada (a 3, que a thread de cima faz antes de decidir
// parar na 2) estoura; ela é descartada e o estouro também, como na
// referência, que nunca a faz. Com aY = 0 as linhas não se tocam: na de
// cima, dois nós interiores, k1 = k2 / aP e k2 = k1 / aP a cada varredura,
// com aP = 1e-80; k2 vai de 1e-170 a 1e-10, 1e150 e estouraria na
// terceira; as outras linhas são zero. L1(2)/L1(0) é cerca de 1e50 <= tol.
// Com duas threads (38 linhas interiores: duas faixas ou mais em todo
// conjunto de instruções), as varreduras andam à frente da decisão.
TEST_P(SolversRapidos, VarreduraAdiantadaDescartadaNaoDeixaExcecao)
{
    Caso k;
    k.Nx = 4;
    k.Ny = 40;
    k.c = {1e-80, 1.0, 0.0};
    k.campo.assign(160, 0.0);
    k.campo[153] = 1e100;
    k.campo[154] = 1e-170;
    k.fonte.assign(160, 0.0);
    const Termica ref = resolver(laplace_referencia, k, 5, 1e60);
    ASSERT_EQ(ref.it, 2);
    ASSERT_EQ(ref.excecoes, 0);
    ASSERT_EQ(resolver(laplace_referencia, k, 3, -1.0).excecoes & FE_OVERFLOW, FE_OVERFLOW);
    rapido::definir_threads(2);
    EXPECT_EQ(resolver(rapido::gs_laplace, k, 5, 1e60).percurso.threads, 2);
    for (int threads = 1; threads <= 2; ++threads) comparar_termica(k, 5, 1e60, threads);
}

// Uma tarefa da equipe que lança termina o processo na hora (abort), em vez
// de travar: aqui a thread 0 espera pela 1 sem prazo, como numa tubulação.
// Se o processo não terminasse em 20 s, sairia com status 0 (falha).
[[noreturn]] void lancar() { throw std::runtime_error("falha numa tarefa"); }

TEST(EquipeDeThreads, TarefaQueLancaTerminaOProcessoSemTravar)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto tubulacao_que_lanca = [] {
        std::thread([] {
            std::this_thread::sleep_for(std::chrono::seconds(20));
            std::_Exit(0);
        }).detach();
        ASSERT_EQ(equipe::preparar(2), 2);
        equipe::Contador feito;
        equipe::em_paralelo(2, [&feito](int t) noexcept {
            if (t == 1) lancar();
            feito.esperar(1);
        });
    };
    EXPECT_EXIT(tubulacao_que_lanca(), testing::KilledBySignal(SIGABRT), "");
}

// Faixas de cada thread: contíguas, nenhuma thread sem faixa, e uma faixa
// passa da mais ocupada para a vizinha só se a mais lenta das duas ganhar
// mais de 5 % (de 2,0 para 1,47 + 1,47/3 = 1,96, não passa).
TEST(FaixasDasThreads, RepartirEEquilibrar)
{
    EXPECT_EQ(faixas::repartir(7, 201, 32, 2), (std::vector<int>{0, 3, 7}));
    EXPECT_EQ(faixas::repartir(1, 29, 32, 8), (std::vector<int>{0, 1}));
    EXPECT_EQ(faixas::repartir(3, 90, 32, 5), (std::vector<int>{0, 1, 2, 3}));
    struct Linha {
        std::vector<int> antes;
        std::vector<double> ocupado;
        std::vector<int> depois;
    };
    const Linha linhas[] = {
        {{0, 3, 7}, {1.0, 2.0}, {0, 4, 7}},       {{0, 3, 7}, {2.0, 1.0}, {0, 2, 7}},
        {{0, 3, 7}, {1.47, 2.0}, {0, 3, 7}},       {{0, 1, 7}, {5.0, 1.0}, {0, 1, 7}},
        {{0, 2, 4, 6}, {1.0, 1.0, 3.0}, {0, 2, 5, 6}}, {{0, 2, 4, 6}, {1.0, 3.0, 1.0}, {0, 3, 4, 6}},
    };
    for (const Linha& l : linhas) {
        std::vector<int> inicio = l.antes;
        const bool mudou = faixas::equilibrar(inicio, l.ocupado);
        EXPECT_EQ(inicio, l.depois);
        EXPECT_EQ(mudou, l.depois != l.antes);
    }
}

// Um campo em faixas copiado sobre outro de outra malha fica igual ao
// original (o campo salvo da solução térmica é reaproveitado por cópia).
TEST(FaixasDasThreads, CopiaEntreMalhasDiferentes)
{
    conferencia::Gerador g(3);
    for (const auto& [Nx, Ny] : {std::pair{30, 90}, std::pair{5, 4}}) {
        const std::vector<double> campo = g.campo(Nx, Ny);
        faixas::Campo_faixas origem(Nx, Ny, 24), copia(12, 40, 24);
        origem.carregar(campo);
        copia = origem;
        std::vector<double> esperado(campo.size(), -1.0), obtido(campo.size(), -1.0);
        origem.descarregar(esperado);
        copia.descarregar(obtido);
        EXPECT_EQ(conferencia::diferenca("campo", obtido, esperado), "") << Nx << " x " << Ny;
    }
}

// Threads por padrão: as CPUs que a afinidade deixa (não as da máquina), ou
// PLACA2D_THREADS quando é um inteiro positivo.
TEST(ThreadsDosSolversRapidos, AfinidadeEVariavelDeAmbiente)
{
    ::unsetenv("PLACA2D_THREADS"); // a do shell que rodou os testes
    const int cpus = cpus_disponiveis();
    EXPECT_GE(cpus, 1);
    EXPECT_EQ(rapido::numero_threads(), cpus);
    const std::pair<const char*, int> valores[] = {{"3", 3}, {"12", 12}, {"0", cpus}, {"-2", cpus},
                                                   {"dois", cpus}, {"4x", cpus}, {"", cpus}, {"99999", cpus}};
    for (const auto& [texto, esperado] : valores) {
        ::setenv("PLACA2D_THREADS", texto, 1);
        EXPECT_EQ(rapido::numero_threads(), esperado) << "PLACA2D_THREADS=" << texto;
    }
    ::unsetenv("PLACA2D_THREADS");
#ifdef __linux__
    cpu_set_t antes, uma;
    ASSERT_EQ(sched_getaffinity(0, sizeof antes, &antes), 0);
    CPU_ZERO(&uma);
    for (std::size_t c = 0; c < static_cast<std::size_t>(CPU_SETSIZE); ++c) {
        if (CPU_ISSET(c, &antes)) {
            CPU_SET(c, &uma);
            break;
        }
    }
    ASSERT_EQ(sched_setaffinity(0, sizeof uma, &uma), 0);
    EXPECT_EQ(cpus_disponiveis(), 1);
    EXPECT_EQ(rapido::numero_threads(), 1);
    EXPECT_TRUE(carga_do_sistema_visivel());
    // Sem /proc nem afinidade (macOS): as CPUs do hardware, carga invisível.
    EXPECT_EQ(cpus_internos::cpus_disponiveis(false), static_cast<int>(std::thread::hardware_concurrency()));
    EXPECT_FALSE(cpus_internos::carga_do_sistema_visivel("/nenhum-proc"));
    EXPECT_EQ(cpus_internos::tarefas_prontas_de_outros("/nenhum-proc"), 0);
    ASSERT_EQ(sched_setaffinity(0, sizeof antes, &antes), 0);
#endif
}

INSTANTIATE_TEST_SUITE_P(Instrucoes, SolversRapidos, teste::todas_as_instrucoes(), teste::nome_das_instrucoes);

} // namespace
