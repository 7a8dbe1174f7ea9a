// Discretização: coeficientes e valores de contorno das equações de
// temperatura e de deslocamento. Todas leem e escrevem o estado. As contas
// das fontes dos deslocamentos ficam com os solvers (solvers/fontes.hpp),
// que as refazem a cada iteração externa.
#pragma once

#include "solvers/solvers.hpp"

void coef_temperatura();
void contorno_T_topo();
void contorno_T_base();
void contorno_T_esquerda();
void contorno_T_direita();

void coef_u();
void coef_v();
void contorno_u_topo();
void contorno_v_topo();
void contorno_u_base();
void contorno_v_base();
void contorno_u_esquerda();
void contorno_v_esquerda();
void contorno_u_direita();
void contorno_v_direita();

// A discretização dos deslocamentos do estado, como os solvers a recebem
// (memoria_em_uso fica 0: quem chama sabe quanto o cálculo ocupa).
Deslocamentos problema_deslocamentos();
Campos_deslocamento campos_deslocamento();
