// O que os arquivos dos protocolos (termica_rapida.cpp, fonte_rapida.cpp)
// recebem de solvers_rapidos.cpp, o dono das escolhas: os núcleos do
// conjunto de instruções em uso e o número de threads (ajustes.hpp).
#pragma once

#include "solvers/solvers.hpp"

#include "ajustes.hpp"
#include "faixas.hpp"

#include <cstdint>
#include <span>

namespace rapido {

// Os núcleos do conjunto de instruções em uso.
const faixas::Nucleos& nucleos_em_uso();

// Os protocolos em faixas; só são chamados com nó interior, coeficientes
// aceitos pelos núcleos e faixas que cabem. Devolvem quantas threads usaram.
//
// Se faltar memória (std::bad_alloc) ou uma thread (std::system_error) no
// meio, a exceção sai com as entradas de que a referência parte como
// estavam: T na térmica, u e v nos deslocamentos (que só recebem o
// resultado no fim). As saídas podem ter sido escritas em parte (as
// histórias; Su e Sv), e quem chama (solvers_rapidos.cpp) refaz tudo com a
// referência, que as reescreve por inteiro: as histórias até it, Su e Sv em
// toda iteração externa (por isso os deslocamentos só vão às faixas com
// itdesl >= 1).
int laplace_em_faixas(double aP, double aX, double aY, std::int32_t itmax, double tol, std::int32_t Nx,
                      std::int32_t Ny, std::span<double> L1, std::span<double> L2, std::span<double> Linf,
                      std::int32_t& it, std::span<double> T, std::int32_t passo_hist);

int fonte_em_faixas(double aP, double aX, double aY, std::span<const double> S, std::int32_t nsweeps,
                    std::int32_t Nx, std::int32_t Ny, std::span<double> phi);

// A fase dos deslocamentos em faixas (fonte_rapida.cpp): se as contas das
// fontes podem ir para os núcleos e a fase inteira, com itdesl >= 1.
bool deslocamentos_aceitos(const Deslocamentos& d);
int deslocamentos_em_faixas(const Deslocamentos& d, const Campos_deslocamento& c);

} // namespace rapido
