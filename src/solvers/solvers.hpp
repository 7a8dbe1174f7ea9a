// Solvers de Gauss-Seidel, medidas de resíduo, média de campo e a fase dos
// deslocamentos: as versões de referência, literais, no espaço de nomes
// `referencia`. Os solvers rápidos (solvers_rapidos.hpp, espaço `rapido`) têm
// as mesmas assinaturas e dão os mesmos bits nos campos, em it e nas
// entradas das histórias que o relatório lista (o contrato exato está lá);
// chame sempre com o espaço de nomes escrito, `referencia::` ou `rapido::`,
// nunca `::`. Não tocam o estado: recebem tudo por argumento.
//
// Equação de cinco pontos em cada nó interior k:
//   aP*phi(k) = aX*(phi(k-1) + phi(k+1)) + aY*(phi(k-Nx) + phi(k+Nx)) + S(k)
// Campos com N = Nx*Ny elementos, nó k no elemento k-1 (malha.hpp).
#pragma once

#include <cstdint>
#include <functional>
#include <span>

// A fase dos deslocamentos: o que fica constante nela (a discretização de u
// e de v, as constantes das fontes e as contagens) e os campos.
struct Deslocamentos {
    std::int32_t Nx = 0, Ny = 0;
    double aPu = 0.0, aXu = 0.0, aYu = 0.0;
    double aPv = 0.0, aXv = 0.0, aYv = 0.0;
    double dx = 0.0, dy = 0.0, K = 0.0, alpha = 0.0;
    std::int32_t itgs = 0, itdesl = 0;
    // Bytes que o cálculo já ocupa: os solvers rápidos só criam os campos
    // deles se a soma couber na memória física.
    std::uint64_t memoria_em_uso = 0;
};

struct Campos_deslocamento {
    std::span<const double> T;
    std::span<double> u, v, Su, Sv;
};

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

// As fontes de u e de v nos nós interiores (fontes.hpp tem as contas):
// Su com o v dado, Sv com o u dado.
void fonte_u(const Deslocamentos& d, std::span<const double> v, std::span<const double> T, std::span<double> Su);
void fonte_v(const Deslocamentos& d, std::span<const double> u, std::span<const double> T, std::span<double> Sv);

using Varredura_fonte = std::function<void(double, double, double, std::span<const double>, std::int32_t,
                                           std::int32_t, std::int32_t, std::span<double>)>;

// A fase dos deslocamentos: itdesl iterações externas, cada uma com fonte_u,
// itgs varreduras de u, fonte_v e itgs varreduras de v, as varreduras feitas
// por `varrer` (a de referência, ou uma com os mesmos bits).
void iteracoes_deslocamento(const Deslocamentos& d, const Campos_deslocamento& c,
                            const Varredura_fonte& varrer = referencia::gs_fonte);

} // namespace referencia
