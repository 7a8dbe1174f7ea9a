// Bancada: tempo dos solvers de referência e dos rápidos no mesmo processo,
// nas malhas 101, 201 e 1001, e o `tempo` de uma execução inteira com cada um.
// Cada número é o melhor de N repetições.
//   bancada [N [threads [conjunto [so-nucleos]]]]
// N: repetições (padrão 3); threads: dos solvers rápidos (padrão 0, todas);
// conjunto: portavel, avx2 ou avx512 (padrão: o melhor que a CPU tem);
// com o quarto argumento, não mede a execução inteira.
#include "processamento.hpp"
#include "solvers.hpp"
#include "solvers_rapidos.hpp"
#include "variaveis.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace {

int repeticoes = 3;

double segundos(const std::function<void()>& tarefa)
{
    double melhor = 1e300;
    for (int r = 0; r < repeticoes; ++r) {
        const auto inicio = std::chrono::steady_clock::now();
        tarefa();
        const std::chrono::duration<double> d = std::chrono::steady_clock::now() - inicio;
        melhor = std::min(melhor, d.count());
    }
    return melhor;
}

// Piso das somas em série: uma adição dependente por nó.
double ns_por_adicao_dependente()
{
    std::vector<double> x(4096, 1e-3);
    double soma = 0.0;
    const int voltas = 2000;
    const double t = segundos([&] {
        for (int v = 0; v < voltas; ++v) {
            for (const double xi : x) soma = soma + xi;
        }
    });
    if (soma == 42.0) std::puts("");
    return t * 1e9 / (static_cast<double>(voltas) * static_cast<double>(x.size()));
}

// Piso da varredura com fonte: vazão de divisão por núcleo, com vetores da
// largura W e 8 divisões independentes.
template <int W> struct Vetor;
template <> struct Vetor<8> { using tipo = double __attribute__((vector_size(64))); };
template <> struct Vetor<4> { using tipo = double __attribute__((vector_size(32))); };
template <> struct Vetor<2> { using tipo = double __attribute__((vector_size(16))); };

// Divisões de 8 vetores independentes por volta; devolve a soma de todas as
// lanes, para o compilador não descartar conta nenhuma.
template <int W>
[[gnu::always_inline]] inline double dividir(long voltas)
{
    using vetor = typename Vetor<W>::tipo;
    vetor a[8];
    for (int i = 0; i < 8; ++i) a[i] = vetor{} + (1.0 + i);
    const vetor d = vetor{} + 1.0000001;
    for (long v = 0; v < voltas; ++v) {
        for (auto& ai : a) ai = ai / d;
    }
    double soma = 0.0;
    for (const auto& ai : a) {
        for (int l = 0; l < W; ++l) soma += ai[l];
    }
    return soma;
}

#if defined(__x86_64__) || defined(__i386__)
[[gnu::target("avx512f")]] double dividir_avx512(long voltas) { return dividir<8>(voltas); }
[[gnu::target("avx2")]] double dividir_avx2(long voltas) { return dividir<4>(voltas); }
#endif

double ns_por_divisao(rapido::Instrucoes conjunto)
{
    int largura = 2;
    double (*funcao)(long) = dividir<2>;
#if defined(__x86_64__) || defined(__i386__)
    if (conjunto == rapido::Instrucoes::avx512) largura = 8, funcao = dividir_avx512;
    if (conjunto == rapido::Instrucoes::avx2) largura = 4, funcao = dividir_avx2;
#endif
    const long voltas = 16000000 / largura;
    double lane = 0.0;
    const double t = segundos([&] { lane = funcao(voltas); });
    if (lane == 42.0) std::puts("");
    return t * 1e9 / (static_cast<double>(voltas) * 8.0 * largura);
}

// Nome do processador, da CPUID.
std::string processador()
{
    std::string nome;
#if defined(__x86_64__) || defined(__i386__)
    unsigned regs[12] = {};
    if (__get_cpuid_max(0x80000000, nullptr) >= 0x80000004) {
        for (unsigned i = 0; i < 3; ++i) __get_cpuid(0x80000002 + i, &regs[4 * i], &regs[4 * i + 1], &regs[4 * i + 2], &regs[4 * i + 3]);
        char texto[sizeof(regs) + 1] = {};
        std::memcpy(texto, regs, sizeof(regs));
        nome = texto;
    }
#endif
    const auto inicio = nome.find_first_not_of(' ');
    return inicio == std::string::npos ? "desconhecido" : nome.substr(inicio, nome.find_last_not_of(' ') - inicio + 1);
}

rapido::Instrucoes conjunto_pedido(const char* nome)
{
    if (std::strcmp(nome, "portavel") == 0) return rapido::Instrucoes::portavel;
    if (std::strcmp(nome, "avx2") == 0) return rapido::Instrucoes::avx2;
    return rapido::Instrucoes::avx512;
}

struct Problema {
    std::int32_t n;
    double aP, aX, aY;
    std::vector<double> campo, fonte;
};

// Placa quadrada n x n: topo em seno, interior zero, fonte pequena.
Problema problema(std::int32_t n)
{
    Problema p{n, 0, 0, 0, {}, {}};
    const double d = 1.0 / (n - 1.0);
    p.aX = 1.0 / d;
    p.aY = 1.0 / d;
    p.aP = 2.0 / d + 2.0 / d;
    const std::size_t N = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
    p.campo.assign(N, 0.0);
    p.fonte.assign(N, 0.0);
    for (std::int32_t ix = 0; ix < n; ++ix) {
        p.campo[N - static_cast<std::size_t>(n) + static_cast<std::size_t>(ix)] = std::sin(std::acos(-1.0) * ix * d);
    }
    for (std::size_t k = 0; k < N; ++k) p.fonte[k] = 1e-6 * static_cast<double>(k % 7);
    return p;
}

using Funcao_laplace = void (*)(double, double, double, std::int32_t, double, std::int32_t, std::int32_t,
                                std::span<double>, std::span<double>, std::span<double>, std::int32_t&,
                                std::span<double>);
using Funcao_fonte = void (*)(double, double, double, std::span<const double>, std::int32_t, std::int32_t,
                              std::int32_t, std::span<double>);

void laplace_rapido(double aP, double aX, double aY, std::int32_t itmax, double tol, std::int32_t Nx, std::int32_t Ny,
                    std::span<double> L1, std::span<double> L2, std::span<double> Linf, std::int32_t& it,
                    std::span<double> T)
{
    rapido::gs_laplace(aP, aX, aY, itmax, tol, Nx, Ny, L1, L2, Linf, it, T, 1);
}

// ns por nó interior por iteração térmica (varredura e três medidas).
double ns_termica(Funcao_laplace gs, const Problema& p, std::int32_t iteracoes)
{
    const double t = segundos([&] {
        std::vector<double> T = p.campo;
        std::vector<double> L1(static_cast<std::size_t>(iteracoes) + 1, 1.0), L2 = L1, Linf = L1;
        std::int32_t it = 0;
        gs(p.aP, p.aX, p.aY, iteracoes, -1.0, p.n, p.n, L1, L2, Linf, it, T);
    });
    const double interiores = (p.n - 2.0) * (p.n - 2.0);
    return t * 1e9 / (interiores * iteracoes);
}

double ns_fonte(Funcao_fonte gs, const Problema& p, std::int32_t varreduras)
{
    const double t = segundos([&] {
        std::vector<double> phi = p.campo;
        gs(p.aP, p.aX, p.aY, p.fonte, varreduras, p.n, p.n, phi);
    });
    const double interiores = (p.n - 2.0) * (p.n - 2.0);
    return t * 1e9 / (interiores * varreduras);
}

void linha(const char* nome, std::int32_t n, double referencia, double rapido_ns, double piso)
{
    std::printf("%-8s %5d x %-5d %9.3e %9.3e %8.2f %8.3f %8.3f %8.3f\n", nome, n, n, 1e9 / referencia,
                1e9 / rapido_ns, referencia / rapido_ns, referencia, rapido_ns, piso);
}

// `tempo` de uma execução inteira (passos 3 a 14), como em simulacao().
double tempo_execucao(bool rapidos)
{
    return segundos([&] {
        reiniciar_variaveis();
        auto& e = estado;
        e.Lx = 1.0;
        e.Ly = 1.0;
        e.Nx = 201;
        e.Ny = 201;
        e.itmax = 15000;
        e.tol = -1.0;
        e.itgs = 100;
        e.itdesl = 50;
        e.nu = 0.3;
        e.alpha = 1.2e-5;
        rapido::usar_nucleos_rapidos(rapidos);
        processar();
    });
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1) repeticoes = std::max(1, std::atoi(argv[1]));
    if (argc > 2) rapido::definir_threads(std::atoi(argv[2]));
    if (argc > 3 && !rapido::usar_instrucoes(conjunto_pedido(argv[3]))) {
        std::fprintf(stderr, "bancada: a CPU não tem o conjunto %s\n", argv[3]);
        return 1;
    }
    const rapido::Instrucoes conjunto = rapido::instrucoes_em_uso();
    const int threads = rapido::numero_threads();
    const double piso_adicao = ns_por_adicao_dependente();
    const double piso_divisao = ns_por_divisao(conjunto);
    std::printf("processador: %s; núcleos: %s; threads dos solvers rápidos: %d; melhor de %d repetições\n",
                processador().c_str(), rapido::nome(conjunto), threads, repeticoes);
    std::printf("piso térmico (uma adição dependente por nó): %.3f ns/nó\n", piso_adicao);
    std::printf("piso da varredura com fonte (vazão de divisão): %.3f ns/nó por núcleo, %.3f com %d threads\n\n",
                piso_divisao, piso_divisao / threads, threads);
    std::printf("%-8s %-13s %9s %9s %8s %8s %8s %8s\n", "núcleo", "malha", "ref nós/s", "ráp nós/s", "razão",
                "ref ns", "ráp ns", "piso ns");
    for (const std::int32_t n : {101, 201, 1001}) {
        const Problema p = problema(n);
        const std::int32_t iteracoes = static_cast<std::int32_t>(2e7 / (static_cast<double>(n) * n)) + 1;
        linha("térmica", n, ns_termica(::gs_laplace, p, iteracoes), ns_termica(laplace_rapido, p, 5 * iteracoes),
              piso_adicao);
        linha("fonte", n, ns_fonte(::gs_fonte, p, iteracoes), ns_fonte(rapido::gs_fonte, p, 5 * iteracoes),
              piso_divisao / threads);
    }
    if (argc > 4) return 0;
    std::printf("\nexecução inteira (201 x 201, 15000 iterações térmicas, 50 x 100 varreduras):\n");
    const double referencia = tempo_execucao(false);
    const double rapida = tempo_execucao(true);
    std::printf("tempo de referência %.3f s, rápido %.3f s, razão %.2f\n", referencia, rapida, referencia / rapida);
    return 0;
}
