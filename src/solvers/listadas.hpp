// As entradas das histórias (L1, L2, Linf) que o relatório lista: a única
// definição da regra. O relatório as escreve, os solvers rápidos as dão bit a
// bit iguais às da referência (as outras, só dentro do contrato deles) e a
// conferência dos testes as compara.
//
// Com passo_hist > 0: as entradas 0, passo_hist, 2 passo_hist, ... até it, e
// a de it. Com passo_hist < 0, só a de it. O passo 0 a entrada recusa.
#pragma once

#include <cstdint>

namespace listadas {

// A entrada m é múltiplo do passo (a de it à parte: quem varre ainda não a
// conhece).
constexpr bool multiplo_do_passo(std::int64_t m, std::int32_t passo_hist)
{
    return passo_hist > 0 && m % passo_hist == 0;
}

// Algum múltiplo do passo entre as entradas 1 e fim.
constexpr bool algum_multiplo_ate(std::int64_t fim, std::int32_t passo_hist)
{
    return passo_hist > 0 && passo_hist <= fim;
}

// A entrada m vai para o relatório de uma solução que parou em it.
constexpr bool no_relatorio(std::int64_t m, std::int32_t it, std::int32_t passo_hist)
{
    return m == it || multiplo_do_passo(m, passo_hist);
}

} // namespace listadas
