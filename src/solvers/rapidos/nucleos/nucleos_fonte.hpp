// Núcleos vetoriais das fontes dos deslocamentos (as de fonte_u e fonte_v)
// calculadas direto nas faixas, compilados uma vez para cada conjunto de
// instruções (nucleos_fonte.cpp), como os das varreduras. Só dados simples
// aqui, pelo mesmo motivo de nucleos_faixas.hpp.
#pragma once

#include "nucleos_faixas.hpp"

namespace faixas {

// Constantes das fontes: dx*dy e K.
struct Constantes_fonte {
    double dxdy, K;
};

// Nos nós interiores da faixa b, com m o termo misto dos vizinhos diagonais
// de `outro` (v para a fonte de u, u para a de v), exatamente como na
// referência, e g o termo da temperatura já calculado em `g`:
//   S = (m - g) * K, m = ((NE + SW) - SE - NW) * 0.25 / (dx*dy)
// (para v, (SW + NE) no lugar de (NE + SW)). Fora do interior S recebe o que
// sai de zeros (zero, com dx*dy finito e não nulo e K finito), sem exceção.
// A faixa b+1 de `outro` já tem de estar pronta; as linhas dele logo abaixo
// e logo acima da faixa vêm de `viz` quando não nulas.
struct Nucleos_fonte {
    int linhas;
    void (*fonte_u)(Vista S, Vista v, Vista g, int b, Constantes_fonte c, Vizinhas viz);
    void (*fonte_v)(Vista S, Vista u, Vista g, int b, Constantes_fonte c, Vizinhas viz);
};

namespace avx512 {
extern const Nucleos_fonte nucleos_fonte;
}
namespace avx2 {
extern const Nucleos_fonte nucleos_fonte;
}
namespace portavel {
extern const Nucleos_fonte nucleos_fonte;
}

} // namespace faixas
