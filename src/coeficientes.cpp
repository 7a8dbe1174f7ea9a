#include "coeficientes.hpp"

#include "malha.hpp"
#include "variaveis.hpp"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

void zerar_topo(std::vector<double>& campo)
{
    for (std::int32_t ix = 1; ix <= estado.Nx; ++ix) campo[no(ix, estado.Ny, estado.Nx)] = 0.0;
}

void zerar_base(std::vector<double>& campo)
{
    for (std::int32_t ix = 1; ix <= estado.Nx; ++ix) campo[no(ix, 1, estado.Nx)] = 0.0;
}

void zerar_esquerda(std::vector<double>& campo)
{
    for (std::int32_t iy = 2; iy <= estado.Ny - 1; ++iy) campo[no(1, iy, estado.Nx)] = 0.0;
}

void zerar_direita(std::vector<double>& campo)
{
    for (std::int32_t iy = 2; iy <= estado.Ny - 1; ++iy) campo[no(estado.Nx, iy, estado.Nx)] = 0.0;
}

} // namespace

void coef_temperatura()
{
    auto& e = estado;
    e.aXT = 1.0 / e.dx;
    e.aYT = 1.0 / e.dy;
    e.aPT = 2.0 / e.dy + 2.0 / e.dx;
}

void contorno_T_topo()
{
    auto& e = estado;
    for (std::int32_t ix = 1; ix <= e.Nx; ++ix) {
        e.T[no(ix, e.Ny, e.Nx)] = std::sin((e.x[indice(ix)] * e.pi) / e.Lx);
    }
}

void contorno_T_base() { zerar_base(estado.T); }
void contorno_T_esquerda() { zerar_esquerda(estado.T); }
void contorno_T_direita() { zerar_direita(estado.T); }

void coef_u()
{
    auto& e = estado;
    e.aXu = (e.K + 1.0) / (e.dx * e.dx);
    e.aYu = 1.0 / (e.dy * e.dy);
    e.aPu = (e.aYu + e.aXu) * 2.0;
}

void coef_v()
{
    auto& e = estado;
    e.aXv = 1.0 / (e.dx * e.dx);
    e.aYv = (e.K + 1.0) / (e.dy * e.dy);
    e.aPv = (e.aXv + e.aYv) * 2.0;
}

void contorno_u_topo() { zerar_topo(estado.u); }
void contorno_v_topo() { zerar_topo(estado.v); }
void contorno_u_base() { zerar_base(estado.u); }
void contorno_v_base() { zerar_base(estado.v); }
void contorno_u_esquerda() { zerar_esquerda(estado.u); }
void contorno_v_esquerda() { zerar_esquerda(estado.v); }
void contorno_u_direita() { zerar_direita(estado.u); }
void contorno_v_direita() { zerar_direita(estado.v); }

// Termo misto das fontes: em fonte_u a soma da diagonal começa pelo vizinho
// nordeste, em fonte_v pelo sudoeste. A soma de dois números é comutativa em
// IEEE 754 (o mesmo resultado, com o mesmo arredondamento), então a ordem não
// muda nenhum bit; as duas formas ficam como foram escritas. Já a associação
// importa: a soma da diagonal vem antes das subtrações, nas duas.
void fonte_u()
{
    auto& e = estado;
    const std::size_t nx = static_cast<std::size_t>(e.Nx);
    const auto& v = e.v;
    const auto& T = e.T;
    for (std::int32_t iy = 2; iy <= e.Ny - 1; ++iy) {
        for (std::int32_t ix = 2; ix <= e.Nx - 1; ++ix) {
            const std::size_t k = no(ix, iy, e.Nx);
            const double m = ((v[k + nx + 1] + v[k - nx - 1]) - v[k - nx + 1] - v[k + nx - 1]) * 0.25 / (e.dx * e.dy);
            const double g = (T[k + 1] - T[k - 1]) * e.alpha / e.dx;
            e.Su[k] = (m - g) * e.K;
        }
    }
}

void fonte_v()
{
    auto& e = estado;
    const std::size_t nx = static_cast<std::size_t>(e.Nx);
    const auto& u = e.u;
    const auto& T = e.T;
    for (std::int32_t iy = 2; iy <= e.Ny - 1; ++iy) {
        for (std::int32_t ix = 2; ix <= e.Nx - 1; ++ix) {
            const std::size_t k = no(ix, iy, e.Nx);
            const double m = ((u[k - nx - 1] + u[k + nx + 1]) - u[k - nx + 1] - u[k + nx - 1]) * 0.25 / (e.dx * e.dy);
            const double g = (T[k + nx] - T[k - nx]) * e.alpha / e.dy;
            e.Sv[k] = (m - g) * e.K;
        }
    }
}
