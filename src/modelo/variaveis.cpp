#include "modelo/variaveis.hpp"

Variaveis estado;

void reiniciar_variaveis() { estado = Variaveis{}; }
