// Discretização: coeficientes, valores de contorno e termos fonte das equações
// de temperatura e de deslocamento. Todas leem e escrevem o estado.
#pragma once

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
void fonte_u();
void fonte_v();
