// Confere, em casos aleatórios, que os solvers rápidos dão os mesmos bits e as
// mesmas exceções de ponto flutuante que os de referência, com cada conjunto
// de instruções que a CPU tem e com 1, 2 e 3 threads. Não usa o GoogleTest:
// roda também no executável do Windows (no wine ou numa máquina de aluno).
//   conferir_solvers [casos por conjunto, padrão 150]
// Termina com status 1 se algum caso diferir.
#include "solvers.hpp"
#include "solvers_rapidos.hpp"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int excecoes_fatais = FE_DIVBYZERO | FE_OVERFLOW | FE_INVALID;

struct Caso {
    std::int32_t Nx, Ny, itmax, varreduras;
    double aP, aX, aY, tol;
    std::vector<double> campo, fonte;
};

Caso sortear(std::mt19937_64& motor)
{
    const auto inteiro = [&motor](int a, int b) { return std::uniform_int_distribution<int>(a, b)(motor); };
    const auto real = [&motor](double a, double b) { return std::uniform_real_distribution<double>(a, b)(motor); };
    Caso k;
    k.Nx = inteiro(3, 70);
    k.Ny = inteiro(3, 70);
    k.itmax = inteiro(1, 30);
    k.varreduras = inteiro(0, 25);
    const double dx = real(0.1, 3.0) / (k.Nx - 1.0), dy = real(0.1, 3.0) / (k.Ny - 1.0);
    if (inteiro(0, 1) == 0) {
        k.aX = 1.0 / dx;
        k.aY = 1.0 / dy;
        k.aP = 2.0 / dy + 2.0 / dx;
    } else {
        k.aX = real(-2.0, 2.0);
        k.aY = real(-2.0, 2.0);
        k.aP = 2.0 * (std::abs(k.aX) + std::abs(k.aY)) * real(0.9, 3.0);
    }
    const double tolerancias[] = {1e300, -1.0, 0.0, std::pow(10.0, real(-12.0, -1.0))};
    k.tol = tolerancias[inteiro(0, 3)];
    const std::size_t N = static_cast<std::size_t>(k.Nx) * static_cast<std::size_t>(k.Ny);
    const double escala = std::pow(10.0, inteiro(-3, 3));
    for (std::vector<double>* f : {&k.campo, &k.fonte}) {
        f->resize(N);
        for (double& x : *f) x = real(-1.0, 1.0) * escala;
    }
    return k;
}

bool iguais(const std::vector<double>& a, const std::vector<double>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

struct Saida {
    std::vector<double> T, L1, L2, Linf, phi;
    std::int32_t it = -1;
    int excecoes = 0;
};

template <class Laplace, class Fonte>
Saida resolver(const Caso& k, Laplace gs_laplace, Fonte gs_fonte)
{
    Saida s;
    s.T = k.campo;
    s.phi = k.campo;
    const std::size_t h = static_cast<std::size_t>(k.itmax) + 1;
    s.L1.assign(h, -1.0);
    s.L2.assign(h, -1.0);
    s.Linf.assign(h, -1.0);
    norma_L1(k.aP, k.aX, k.aY, k.Nx, k.Ny, s.T, s.L1[0]);
    std::feclearexcept(FE_ALL_EXCEPT);
    gs_laplace(k.aP, k.aX, k.aY, k.itmax, k.tol, k.Nx, k.Ny, s.L1, s.L2, s.Linf, s.it, s.T);
    gs_fonte(k.aP, k.aX, k.aY, k.fonte, k.varreduras, k.Nx, k.Ny, s.phi);
    s.excecoes = std::fetestexcept(excecoes_fatais);
    std::feclearexcept(FE_ALL_EXCEPT);
    return s;
}

bool mesma_saida(const Saida& a, const Saida& b)
{
    return a.it == b.it && a.excecoes == b.excecoes && iguais(a.T, b.T) && iguais(a.L1, b.L1) &&
           iguais(a.L2, b.L2) && iguais(a.Linf, b.Linf) && iguais(a.phi, b.phi);
}

// Casos de um conjunto de instruções; devolve quantos diferiram.
int conferir(rapido::Instrucoes conjunto, int casos)
{
    rapido::usar_instrucoes(conjunto);
    std::mt19937_64 motor(20240501);
    int falhas = 0;
    for (int n = 0; n < casos; ++n) {
        const Caso k = sortear(motor);
        const Saida referencia = resolver(k, ::gs_laplace, ::gs_fonte);
        rapido::definir_threads(1 + n % 3);
        if (!mesma_saida(resolver(k, [](auto&&... a) { rapido::gs_laplace(a...); }, rapido::gs_fonte), referencia)) {
            std::printf("  FALHOU: %s, caso %d: %d x %d, itmax %d, tol %g, %d varreduras, %d threads\n",
                        rapido::nome(conjunto), n, k.Nx, k.Ny, k.itmax, k.tol, k.varreduras, 1 + n % 3);
            ++falhas;
        }
    }
    rapido::definir_threads(0);
    rapido::usar_melhores_instrucoes();
    return falhas;
}

} // namespace

int main(int argc, char** argv)
{
    const int casos = argc > 1 ? std::max(1, std::atoi(argv[1])) : 150;
    int conferidos = 0;
    int falhas = 0;
    for (const auto conjunto : {rapido::Instrucoes::portavel, rapido::Instrucoes::avx2, rapido::Instrucoes::avx512}) {
        if (!rapido::instrucoes_disponiveis(conjunto)) {
            std::printf("conferir_solvers: %s: a CPU não tem\n", rapido::nome(conjunto));
            continue;
        }
        const int f = conferir(conjunto, casos);
        std::printf("conferir_solvers: %s: %d casos, %d diferentes\n", rapido::nome(conjunto), casos, f);
        conferidos += casos;
        falhas += f;
    }
    std::printf("conferir_solvers: padrão %s\n", rapido::nome(rapido::instrucoes_em_uso()));
    std::printf("%d passed, %d failed\n", conferidos - falhas, falhas);
    return falhas == 0 ? 0 : 1;
}
