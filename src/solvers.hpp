// Solvers de Gauss-Seidel, medidas de resíduo e média de campo: as versões de
// referência, literais, no espaço de nomes `referencia`. Os solvers rápidos
// (solvers_rapidos.hpp, espaço `rapido`) têm as mesmas assinaturas e dão os
// mesmos bits; chame sempre com o espaço de nomes escrito, `referencia::` ou
// `rapido::`, nunca `::`. Não tocam o estado: recebem tudo por argumento.
//
// Equação de cinco pontos em cada nó interior k:
//   aP*phi(k) = aX*(phi(k-1) + phi(k+1)) + aY*(phi(k-Nx) + phi(k+Nx)) + S(k)
// Campos com N = Nx*Ny elementos, nó k no elemento k-1.
#pragma once

#include <cstdint>
#include <span>

namespace referencia {

void norma_L1(double aP, double aX, double aY, std::int32_t Nx, std::int32_t Ny,
              std::span<const double> T, double& resultado);
void norma_L2(double aP, double aX, double aY, std::int32_t Nx, std::int32_t Ny,
              std::span<const double> T, double& resultado);
// Máximo de |resíduo| com um vetor de trabalho do tamanho do campo (ver
// solvers.cpp): nunca negativo, e um resíduo NaN não entra no máximo.
void norma_Linf(double aP, double aX, double aY, std::int32_t Nx, std::int32_t Ny,
                std::span<const double> T, double& resultado);

void media_campo(std::int32_t Nx, std::int32_t Ny, std::span<const double> F, double& media);

// Varre T até L1(m)/L1(0) <= tol (testado a partir da varredura 2) ou itmax
// varreduras; grava as medidas da varredura m na entrada m das histórias.
void gs_laplace(double aP, double aX, double aY, std::int32_t itmax, double tol,
                std::int32_t Nx, std::int32_t Ny, std::span<double> L1, std::span<double> L2,
                std::span<double> Linf, std::int32_t& it, std::span<double> T);

// Exatamente nsweeps varreduras (nenhuma se nsweeps <= 0) com termo fonte S.
void gs_fonte(double aP, double aX, double aY, std::span<const double> S, std::int32_t nsweeps,
              std::int32_t Nx, std::int32_t Ny, std::span<double> phi);

} // namespace referencia
