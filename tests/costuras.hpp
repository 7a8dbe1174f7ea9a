// Os comandos das costuras nos testes (src/solvers/rapidos/costuras.hpp):
// as falhas que os executáveis de teste provocam. O ambiente dos testes
// (auxiliar.cpp) desliga todas antes de cada teste.
#pragma once

#include "solvers/rapidos/costuras.hpp"

#include <optional>

namespace costuras::teste {

// A alocação `onde` lança std::bad_alloc enquanto ligada; nullopt desliga.
void falhar_alocacao(std::optional<Alocacao> onde);
// A partir da k-ésima thread criada daqui em diante (k >= 0), a criação
// falha como no sistema sem recursos; -1 desliga.
void falhar_criacao_de_threads(int k);
// Quantas threads da equipe foram pedidas ao sistema até aqui.
int threads_pedidas_ao_sistema();

} // namespace costuras::teste
