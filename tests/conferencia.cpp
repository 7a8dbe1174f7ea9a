#include "conferencia.hpp"

#include "solvers/listadas.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <sstream>

namespace conferencia {

namespace {

// O valor das histórias antes do solver, que nenhuma medida dá.
constexpr double fora = -123.0;

std::string texto(double x)
{
    std::ostringstream t;
    t.precision(17);
    t << x;
    return t.str();
}

bool mesmos_bits(const std::vector<double>& a, const std::vector<double>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

} // namespace

std::string diferenca(const char* nome, const std::vector<double>& rapido, const std::vector<double>& referencia)
{
    if (mesmos_bits(rapido, referencia)) return "";
    std::ostringstream texto;
    texto.precision(17);
    texto << nome;
    if (rapido.size() != referencia.size()) {
        texto << ": " << rapido.size() << " valores, a referência tem " << referencia.size() << "; ";
        return texto.str();
    }
    for (std::size_t i = 0; i < rapido.size(); ++i) {
        if (std::memcmp(&rapido[i], &referencia[i], sizeof(double)) != 0) {
            texto << "[" << i << "] = " << rapido[i] << ", a referência dá " << referencia[i] << "; ";
            break;
        }
    }
    return texto.str();
}

Coeficientes Gerador::coeficientes(std::int32_t Nx, std::int32_t Ny)
{
    const double dx = real(0.1, 3.0) / (Nx - 1.0);
    const double dy = real(0.1, 3.0) / (Ny - 1.0);
    const double K = real(1.0, 4.0);
    switch (inteiro(0, 3)) {
    case 0: return {2.0 / dy + 2.0 / dx, 1.0 / dx, 1.0 / dy};
    case 1: {
        const double aX = (K + 1.0) / (dx * dx), aY = 1.0 / (dy * dy);
        return {(aY + aX) * 2.0, aX, aY};
    }
    case 2: {
        const double aX = 1.0 / (dx * dx), aY = (K + 1.0) / (dy * dy);
        return {(aX + aY) * 2.0, aX, aY};
    }
    default: {
        const double aX = real(-2.0, 2.0), aY = real(-2.0, 2.0);
        const double aP = 2.0 * (std::abs(aX) + std::abs(aY)) * real(0.9, 3.0);
        return {inteiro(0, 1) != 0 ? aP : -aP, aX, aY};
    }
    }
}

std::vector<double> Gerador::campo(std::int32_t Nx, std::int32_t Ny)
{
    std::vector<double> f(static_cast<std::size_t>(Nx) * static_cast<std::size_t>(Ny));
    const double escala = std::pow(10.0, inteiro(-3, 3));
    for (double& x : f) x = real(-1.0, 1.0) * escala;
    return f;
}

Caso Gerador::caso(int maior_Nx, int maior_Ny)
{
    Caso k;
    k.Nx = inteiro(3, maior_Nx);
    k.Ny = inteiro(3, maior_Ny);
    k.c = coeficientes(k.Nx, k.Ny);
    k.campo = campo(k.Nx, k.Ny);
    k.fonte = campo(k.Nx, k.Ny);
    return k;
}

rapido::Percurso laplace_referencia(double aP, double aX, double aY, std::int32_t itmax, double tol, std::int32_t Nx,
                                    std::int32_t Ny, std::span<double> L1, std::span<double> L2,
                                    std::span<double> Linf, std::int32_t& it, std::span<double> T, std::int32_t)
{
    referencia::gs_laplace(aP, aX, aY, itmax, tol, Nx, Ny, L1, L2, Linf, it, T);
    return {};
}

rapido::Percurso fonte_referencia(double aP, double aX, double aY, std::span<const double> S, std::int32_t nsweeps,
                                  std::int32_t Nx, std::int32_t Ny, std::span<double> phi)
{
    referencia::gs_fonte(aP, aX, aY, S, nsweeps, Nx, Ny, phi);
    return {};
}

namespace {

const char* nome(rapido::Caminho c)
{
    switch (c) {
    case rapido::Caminho::faixas: return "faixas";
    case rapido::Caminho::referencia: return "referência";
    case rapido::Caminho::nenhum: break;
    }
    return "nenhum";
}

std::string diferenca_de_caminho(rapido::Caminho tomado, rapido::Caminho esperado)
{
    if (tomado == esperado) return "";
    return std::string("caminho ") + nome(tomado) + ", esperado " + nome(esperado) + "; ";
}

} // namespace

Termica resolver(Funcao_laplace gs, const Caso& k, std::int32_t itmax, double tol, std::int32_t passo)
{
    Termica s;
    s.T = k.campo;
    const std::size_t h = static_cast<std::size_t>(itmax) + 1;
    s.L1.assign(h, fora);
    s.L2.assign(h, fora);
    s.Linf.assign(h, fora);
    referencia::norma_L1(k.c.aP, k.c.aX, k.c.aY, k.Nx, k.Ny, s.T, s.L1[0]);
    referencia::norma_L2(k.c.aP, k.c.aX, k.c.aY, k.Nx, k.Ny, s.T, s.L2[0]);
    referencia::norma_Linf(k.c.aP, k.c.aX, k.c.aY, k.Nx, k.Ny, s.T, s.Linf[0]);
    std::feclearexcept(FE_ALL_EXCEPT);
    s.percurso = gs(k.c.aP, k.c.aX, k.c.aY, itmax, tol, k.Nx, k.Ny, s.L1, s.L2, s.Linf, s.it, s.T, passo);
    s.excecoes = std::fetestexcept(excecoes_fatais);
    std::feclearexcept(FE_ALL_EXCEPT);
    return s;
}

Deslocamento varrer(Funcao_fonte gs, const Caso& k, std::int32_t nsweeps)
{
    Deslocamento d{k.campo, 0, {}};
    std::feclearexcept(FE_ALL_EXCEPT);
    d.percurso = gs(k.c.aP, k.c.aX, k.c.aY, k.fonte, nsweeps, k.Nx, k.Ny, d.phi);
    d.excecoes = std::fetestexcept(excecoes_fatais);
    std::feclearexcept(FE_ALL_EXCEPT);
    return d;
}

std::string diferencas_termica(const Caso& k, std::int32_t itmax, double tol, int threads, std::int32_t passo,
                               rapido::Caminho esperado)
{
    return diferencas_termica(resolver(laplace_referencia, k, itmax, tol), k, itmax, tol, threads, passo, esperado);
}

std::string diferencas_termica(const Termica& ref, const Caso& k, std::int32_t itmax, double tol, int threads,
                               std::int32_t passo, rapido::Caminho esperado)
{
    rapido::definir_threads(threads);
    Termica rap = resolver(rapido::gs_laplace, k, itmax, tol, passo);
    rapido::definir_threads(0);
    std::string d = diferenca_de_caminho(rap.percurso.caminho, esperado);
    // Nas entradas não listadas antes de it, L1 é a da referência ou a soma
    // em outra ordem, a menos de 2 gama(n) da exata (a da referência está a
    // menos de gama(n) dela), e L2 fica como estava ou é a da referência.
    const double u = std::numeric_limits<double>::epsilon() / 2;
    const double n_u = static_cast<double>(k.Nx - 2) * static_cast<double>(k.Ny - 2) * u;
    const double gama = n_u / (1.0 - n_u);
    for (std::int32_t m = 1; m < std::min(ref.it, rap.it); ++m) {
        const std::size_t mm = static_cast<std::size_t>(m);
        if (listadas::multiplo_do_passo(m, passo)) continue;
        const double a = rap.L1[mm], b = ref.L1[mm];
        const bool perto = std::abs(a - b) <= 3.0 * gama / (1.0 - gama) * b || (std::isnan(a) && std::isnan(b));
        if (std::memcmp(&a, &b, sizeof a) != 0 && !perto) {
            d += "L1[" + std::to_string(m) + "] = " + texto(a) + ", fora do limite em torno de " + texto(b) + "; ";
        }
        if (rap.L2[mm] != fora && std::memcmp(&rap.L2[mm], &ref.L2[mm], sizeof(double)) != 0) {
            d += "L2[" + std::to_string(m) + "] = " + texto(rap.L2[mm]) + ", nem a da referência, " + texto(ref.L2[mm]) +
                 ", nem a de antes; ";
        }
        rap.L1[mm] = ref.L1[mm];
        rap.L2[mm] = ref.L2[mm];
    }
    d += diferenca("T", rap.T, ref.T) + diferenca("L1", rap.L1, ref.L1) + diferenca("L2", rap.L2, ref.L2) +
         diferenca("Linf", rap.Linf, ref.Linf);
    if (rap.it != ref.it) d += "it = " + std::to_string(rap.it) + ", a referência dá " + std::to_string(ref.it) + "; ";
    if (rap.excecoes != ref.excecoes) {
        d += "exceções " + std::to_string(rap.excecoes) + ", a referência dá " + std::to_string(ref.excecoes) + "; ";
    }
    if (d.empty()) return d;
    std::ostringstream caso;
    caso << "térmica " << k.Nx << " x " << k.Ny << ", aP " << k.c.aP << ", itmax " << itmax << ", tol " << tol << ", "
         << threads << " threads, passo " << passo << ": ";
    return caso.str() + d;
}

std::string diferencas_fonte(const Caso& k, std::int32_t nsweeps, int threads, rapido::Caminho esperado)
{
    const Deslocamento ref = varrer(fonte_referencia, k, nsweeps);
    rapido::definir_threads(threads);
    const Deslocamento rap = varrer(rapido::gs_fonte, k, nsweeps);
    rapido::definir_threads(0);
    std::string d = diferenca_de_caminho(rap.percurso.caminho, nsweeps > 0 ? esperado : rapido::Caminho::nenhum) +
                    diferenca("phi", rap.phi, ref.phi);
    if (rap.excecoes != ref.excecoes) {
        d += "exceções " + std::to_string(rap.excecoes) + ", a referência dá " + std::to_string(ref.excecoes) + "; ";
    }
    if (d.empty()) return d;
    std::ostringstream caso;
    caso << "fonte " << k.Nx << " x " << k.Ny << ", aP " << k.c.aP << ", " << nsweeps << " varreduras, " << threads
         << " threads: ";
    return caso.str() + d;
}

double tolerancia(Gerador& g, const Caso& k, std::int32_t itmax)
{
    switch (g.inteiro(0, 6)) {
    case 0: return 1e300;
    case 1: return -1.0;
    case 2: return 0.0;
    case 3: {
        if (itmax < 2) return 1e300;
        const Termica ref = resolver(laplace_referencia, k, itmax, -1.0);
        const std::size_t m = static_cast<std::size_t>(g.inteiro(2, std::max(2, itmax)));
        return std::sqrt(ref.L1[m] / ref.L1[0] * (ref.L1[m - 1] / ref.L1[0]));
    }
    default: {
        const Termica ref = resolver(laplace_referencia, k, itmax, -1.0);
        const std::size_t m = static_cast<std::size_t>(g.inteiro(1, itmax));
        const double razao = ref.L1[m] / ref.L1[0];
        const int lado = g.inteiro(-1, 1);
        return lado == 0 ? razao : std::nextafter(razao, lado * 1e300);
    }
    }
}

int laplace_aleatorios(int casos, const Relato& falha)
{
    Gerador g(20240501);
    int diferentes = 0;
    for (int n = 0; n < casos; ++n) {
        // Um caso em três alto, com faixas para até 8 threads.
        const Caso k = n % 3 == 2 ? g.caso(16, 300) : g.caso(70);
        const std::int32_t itmax = g.inteiro(1, 30);
        const std::string d =
            diferencas_termica(k, itmax, tolerancia(g, k, itmax), threads_testadas[n % 5], passos_testados[n / 5 % 5]);
        if (!d.empty()) ++diferentes, falha(d);
    }
    return diferentes;
}

int fonte_aleatorios(int casos, const Relato& falha)
{
    Gerador g(777);
    int diferentes = 0;
    for (int n = 0; n < casos; ++n) {
        const Caso k = n % 3 == 2 ? g.caso(16, 300) : g.caso(70);
        const std::string d = diferencas_fonte(k, g.inteiro(0, 12) == 0 ? 0 : g.inteiro(1, 25), threads_testadas[n % 5]);
        if (!d.empty()) ++diferentes, falha(d);
    }
    return diferentes;
}

} // namespace conferencia
