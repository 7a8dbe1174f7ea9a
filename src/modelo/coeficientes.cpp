#include "modelo/coeficientes.hpp"

#include "modelo/variaveis.hpp"
#include "solvers/malha.hpp"

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

// Temperatura, cinco pontos em cada nó interior:
//   aPT·T_P = aXT·(T_W + T_E) + aYT·(T_S + T_N)
//   aXT = 1/dx   aYT = 1/dy   aPT = 2/dx + 2/dy
// É a soma dos quatro gradientes em volta do nó,
//   (T_E − T_P)/dx + (T_W − T_P)/dx + (T_N − T_P)/dy + (T_S − T_P)/dy = 0,
// sem o comprimento das faces: os espaçamentos entram na primeira potência.
// As diferenças centrais da equação de Laplace,
//   (T_W − 2·T_P + T_E)/dx² + (T_S − 2·T_P + T_N)/dy² = 0,
// dividem cada par mais uma vez pelo seu espaçamento. Com dx = dy as duas
// são a mesma equação (vezes dx): T_P é a média dos quatro vizinhos, de
// segunda ordem. Com dx != dy o esquema pesa x e y de outro jeito e não
// aproxima a equação de Laplace: o erro não cai com a malha (o README
// mostra).
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

// Deslocamentos (estado plano de tensões, K = (1+nu)/(1-nu)), com os
// termos fonte Su e Sv (solvers/fontes.hpp):
//   aPu·u_P = aXu·(u_W + u_E) + aYu·(u_S + u_N) + Su
//   aXu = (K+1)/dx²   aYu = 1/dy²   aPu = 2·(aXu + aYu)
// São as diferenças centrais de (K+1)·u_xx + u_yy, a parte em u do
// equilíbrio em x (fontes.hpp tem a equação inteira): (K+1)·(u_W − 2·u_P +
// u_E)/dx² + (u_S − 2·u_P + u_N)/dy², com u_P passado para a esquerda.
// Para v, os papéis de x e y trocados: aXv = 1/dx², aYv = (K+1)/dy².
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

Deslocamentos problema_deslocamentos()
{
    const auto& e = estado;
    Deslocamentos d;
    d.Nx = e.Nx;
    d.Ny = e.Ny;
    d.aPu = e.aPu;
    d.aXu = e.aXu;
    d.aYu = e.aYu;
    d.aPv = e.aPv;
    d.aXv = e.aXv;
    d.aYv = e.aYv;
    d.dx = e.dx;
    d.dy = e.dy;
    d.K = e.K;
    d.alpha = e.alpha;
    d.itgs = e.itgs;
    d.itdesl = e.itdesl;
    return d;
}

Campos_deslocamento campos_deslocamento()
{
    auto& e = estado;
    return {e.T, e.u, e.v, e.Su, e.Sv};
}
