// As contas das fontes dos deslocamentos, nó a nó: a única definição delas
// fora dos núcleos vetoriais (que as repetem em vetores, na mesma ordem).
//
//   Su = K·[ (v_NE + v_SW − v_SE − v_NW)/(4·dx·dy) − α·(T_E − T_W)/dx ]
//   Sv = K·[ (u_NE + u_SW − u_SE − u_NW)/(4·dx·dy) − α·(T_N − T_S)/dy ]
//
// Os parênteses são os do método, e cada um muda os bits: a soma da
// diagonal vem antes das subtrações, a divisão por dx·dy depois do 0,25.
#pragma once

namespace fontes {

// O termo misto, com a soma da diagonal na ordem dada (em fonte_u começa
// pelo nordeste, em fonte_v pelo sudoeste; a soma de dois doubles é
// comutativa, então a ordem não muda bit nenhum, mas fica como o método a
// escreve).
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
