#include "solvers/solvers.hpp"

#include "progresso/progresso.hpp"
#include "solvers/fontes.hpp"
#include "solvers/malha.hpp"

#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

namespace referencia {
namespace {

double residuo(double aP, double aX, double aY, std::span<const double> T, std::size_t k, std::size_t Nx)
{
    return aY * (T[k + Nx] + T[k - Nx]) + aX * (T[k + 1] + T[k - 1]) - aP * T[k];
}

// Uma varredura lexicográfica; o valor novo substitui o antigo na hora.
void varredura(double aP, double aX, double aY, std::int32_t Nx, std::int32_t Ny, std::span<double> phi)
{
    const std::size_t nx = static_cast<std::size_t>(Nx);
    for (std::int32_t iy = 2; iy <= Ny - 1; ++iy) {
        for (std::int32_t ix = 2; ix <= Nx - 1; ++ix) {
            const std::size_t k = no(ix, iy, Nx);
            phi[k] = (aY * (phi[k + nx] + phi[k - nx]) + aX * (phi[k + 1] + phi[k - 1])) / aP;
        }
    }
}

void varredura_fonte(double aP, double aX, double aY, std::span<const double> S, std::int32_t Nx,
                     std::int32_t Ny, std::span<double> phi)
{
    const std::size_t nx = static_cast<std::size_t>(Nx);
    for (std::int32_t iy = 2; iy <= Ny - 1; ++iy) {
        for (std::int32_t ix = 2; ix <= Nx - 1; ++ix) {
            const std::size_t k = no(ix, iy, Nx);
            phi[k] = (aY * (phi[k + nx] + phi[k - nx]) + aX * (phi[k + 1] + phi[k - 1]) + S[k]) / aP;
        }
    }
}

void medidas(double aP, double aX, double aY, std::int32_t Nx, std::int32_t Ny, std::span<const double> T,
             std::span<double> L1, std::span<double> L2, std::span<double> Linf, std::size_t m)
{
    norma_L1(aP, aX, aY, Nx, Ny, T, L1[m]);
    norma_L2(aP, aX, aY, Nx, Ny, T, L2[m]);
    norma_Linf(aP, aX, aY, Nx, Ny, T, Linf[m]);
}

} // namespace

void norma_L1(double aP, double aX, double aY, std::int32_t Nx, std::int32_t Ny, std::span<const double> T,
              double& resultado)
{
    double soma = 0.0;
    for (std::int32_t iy = 2; iy <= Ny - 1; ++iy) {
        for (std::int32_t ix = 2; ix <= Nx - 1; ++ix) {
            soma = soma + std::abs(residuo(aP, aX, aY, T, no(ix, iy, Nx), static_cast<std::size_t>(Nx)));
        }
    }
    resultado = soma;
}

void norma_L2(double aP, double aX, double aY, std::int32_t Nx, std::int32_t Ny, std::span<const double> T,
              double& resultado)
{
    double soma = 0.0;
    for (std::int32_t iy = 2; iy <= Ny - 1; ++iy) {
        for (std::int32_t ix = 2; ix <= Nx - 1; ++ix) {
            const double r = residuo(aP, aX, aY, T, no(ix, iy, Nx), static_cast<std::size_t>(Nx));
            soma = soma + r * r;
        }
    }
    resultado = soma;
}

// O máximo é tomado sobre um vetor de trabalho W do tamanho do campo, com as
// bordas em zero, como na forma literal; a conta de memória (validacao.cpp,
// memoria_necessaria) inclui W, e a recusa por falta de memória depende dela.
// Consequências que os solvers rápidos reproduzem: os zeros das bordas fazem o
// resultado nunca ser negativo (é +0 num campo sem resíduo, nunca o -DBL_MAX
// inicial), e um resíduo NaN não entra no máximo, porque w > maximo é falso
// (o NaN aparece em L1 e L2).
void norma_Linf(double aP, double aX, double aY, std::int32_t Nx, std::int32_t Ny, std::span<const double> T,
                double& resultado)
{
    std::vector<double> W(T.size(), 0.0);
    for (std::int32_t iy = 2; iy <= Ny - 1; ++iy) {
        for (std::int32_t ix = 2; ix <= Nx - 1; ++ix) {
            const std::size_t k = no(ix, iy, Nx);
            W[k] = std::abs(residuo(aP, aX, aY, T, k, static_cast<std::size_t>(Nx)));
        }
    }
    double maximo = -std::numeric_limits<double>::max();
    for (const double w : W) {
        if (w > maximo) maximo = w;
    }
    resultado = maximo;
}

void media_campo(std::int32_t Nx, std::int32_t Ny, std::span<const double> F, double& media)
{
    const std::size_t nx = static_cast<std::size_t>(Nx);
    media = 0.0;
    for (std::int32_t iy = 2; iy <= Ny; ++iy) {
        for (std::int32_t ix = 2; ix <= Nx; ++ix) {
            const std::size_t k = no(ix, iy, Nx);
            media = media + (F[k - nx - 1] + F[k - nx] + F[k - 1] + F[k]);
        }
    }
    media = media / (4.0 * static_cast<double>(Nx - 1) * static_cast<double>(Ny - 1));
}

void gs_laplace(double aP, double aX, double aY, std::int32_t itmax, double tol, std::int32_t Nx, std::int32_t Ny,
                std::span<double> L1, std::span<double> L2, std::span<double> Linf, std::int32_t& it,
                std::span<double> T)
{
    varredura(aP, aX, aY, Nx, Ny, T);
    medidas(aP, aX, aY, Nx, Ny, T, L1, L2, Linf, 1);
    progresso::publicar_termica(1, L1[1]);
    for (std::int32_t m = 2; m <= itmax; ++m) {
        varredura(aP, aX, aY, Nx, Ny, T);
        const std::size_t mm = static_cast<std::size_t>(m);
        medidas(aP, aX, aY, Nx, Ny, T, L1, L2, Linf, mm);
        progresso::publicar_termica(m, L1[mm]);
        if (L1[mm] / L1[0] <= tol) {
            it = m;
            return;
        }
    }
    it = itmax;
}

void gs_fonte(double aP, double aX, double aY, std::span<const double> S, std::int32_t nsweeps, std::int32_t Nx,
              std::int32_t Ny, std::span<double> phi)
{
    for (std::int32_t n = 1; n <= nsweeps; ++n) {
        varredura_fonte(aP, aX, aY, S, Nx, Ny, phi);
        progresso::publicar_varredura_fonte(n);
    }
}

void fonte_u(const Deslocamentos& d, std::span<const double> v, std::span<const double> T, std::span<double> Su)
{
    const std::size_t nx = static_cast<std::size_t>(d.Nx);
    for (std::int32_t iy = 2; iy <= d.Ny - 1; ++iy) {
        for (std::int32_t ix = 2; ix <= d.Nx - 1; ++ix) {
            const std::size_t k = no(ix, iy, d.Nx);
            const double m = fontes::termo_misto(v[k + nx + 1], v[k - nx - 1], v[k - nx + 1], v[k + nx - 1], d.dx * d.dy);
            const double g = fontes::termo_temperatura(T[k + 1], T[k - 1], d.alpha, d.dx);
            Su[k] = fontes::fonte(m, g, d.K);
        }
    }
}

void fonte_v(const Deslocamentos& d, std::span<const double> u, std::span<const double> T, std::span<double> Sv)
{
    const std::size_t nx = static_cast<std::size_t>(d.Nx);
    for (std::int32_t iy = 2; iy <= d.Ny - 1; ++iy) {
        for (std::int32_t ix = 2; ix <= d.Nx - 1; ++ix) {
            const std::size_t k = no(ix, iy, d.Nx);
            const double m = fontes::termo_misto(u[k - nx - 1], u[k + nx + 1], u[k - nx + 1], u[k + nx - 1], d.dx * d.dy);
            const double g = fontes::termo_temperatura(T[k + nx], T[k - nx], d.alpha, d.dy);
            Sv[k] = fontes::fonte(m, g, d.K);
        }
    }
}

void iteracoes_deslocamento(const Deslocamentos& d, const Campos_deslocamento& c, const Varredura_fonte& varrer)
{
    using progresso::Etapa;
    const std::int64_t etapas = progresso::etapas_por_externa(d.itgs);
    for (std::int32_t itd = 1; itd <= d.itdesl; ++itd) {
        const std::int64_t antes = (itd - 1) * etapas; // etapas das externas anteriores
        fonte_u(d, c.v, c.T, c.Su);
        progresso::publicar_etapa_deslocamento(antes + progresso::primeira_etapa(Etapa::varredura_u, d.itgs));
        varrer(d.aPu, d.aXu, d.aYu, c.Su, d.itgs, d.Nx, d.Ny, c.u);
        fonte_v(d, c.u, c.T, c.Sv);
        progresso::publicar_etapa_deslocamento(antes + progresso::primeira_etapa(Etapa::varredura_v, d.itgs));
        varrer(d.aPv, d.aXv, d.aYv, c.Sv, d.itgs, d.Nx, d.Ny, c.v);
    }
}

} // namespace referencia
