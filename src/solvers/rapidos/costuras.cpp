// As costuras no programa: nada falha (ver costuras.hpp; este arquivo não
// pode ter mais nada).
#include "costuras.hpp"

namespace costuras {

void alocar(Alocacao) {}

void criar_thread() {}

} // namespace costuras
