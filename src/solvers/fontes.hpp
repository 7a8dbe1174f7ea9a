// As contas das fontes dos deslocamentos, nó a nó: a única definição delas
// fora dos núcleos vetoriais (que as repetem em vetores, na mesma ordem).
//
//   Su = K·[ (v_NE + v_SW − v_SE − v_NW)/(4·dx·dy) − α·(T_E − T_W)/dx ]
//   Sv = K·[ (u_NE + u_SW − u_SE − u_NW)/(4·dx·dy) − α·(T_N − T_S)/dy ]
//
// De onde vêm: no estado plano de tensões, o equilíbrio em x, dividido por
// (1 − nu)/2, é (K+1)·u_xx + u_yy + K·v_xy = 2·K·α·T_x, com
// K = (1+nu)/(1−nu). As diferenças centrais de u_xx e u_yy dão os
// coeficientes de coef_u (modelo/coeficientes.cpp), com u_P do lado
// esquerdo; do direito fica a fonte, Su = K·(v_xy − 2·α·T_x): v_xy pela
// diferença central cruzada, (v_NE + v_SW − v_SE − v_NW)/(4·dx·dy), e 2·T_x
// por (T_E − T_W)/dx (a diferença central, (T_E − T_W)/(2·dx), vezes 2).
// Em y, o mesmo com os papéis de u e v e de x e y trocados.
//
// A ordem das contas é a da forma literal, e cada parêntese muda os bits: a
// soma da diagonal vem antes das subtrações, a divisão por dx·dy depois do
// 0,25.
#pragma once

namespace fontes {

// O termo misto, com a soma da diagonal na ordem dada (em fonte_u começa
// pelo nordeste, em fonte_v pelo sudoeste; a soma de dois doubles é
// comutativa, então a ordem não muda bit nenhum: fica a de cada fórmula,
// para conferir uma com a outra).
inline double termo_misto(double diagonal_1, double diagonal_2, double SE, double NW, double dxdy)
{
    return ((diagonal_1 + diagonal_2) - SE - NW) * 0.25 / dxdy;
}

// O termo da temperatura: α vezes a diferença dos vizinhos sobre o espaçamento.
inline double termo_temperatura(double T_mais, double T_menos, double alpha, double h)
{
    return (T_mais - T_menos) * alpha / h;
}

inline double fonte(double misto, double temperatura, double K) { return (misto - temperatura) * K; }

} // namespace fontes
