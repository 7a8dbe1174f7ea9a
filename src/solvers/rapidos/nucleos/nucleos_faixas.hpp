// Núcleos vetoriais das varreduras em faixas, compilados uma vez para cada
// conjunto de instruções (nucleos_faixas.cpp) e escolhidos na execução.
//
// Este cabeçalho só tem dados simples: o que os núcleos incluem não pode
// trazer funções inline compartilhadas com o resto do programa, que o ligador
// poderia tomar da cópia compilada com instruções que a CPU não tem.
#pragma once

#include <cstdint>

namespace faixas {

struct Coeficientes {
    double aP, aX, aY;
};

// Um campo em faixas de L linhas visto pelos núcleos: as L lanes da posição
// p da faixa b (b de -1 a numero_faixas, p de -L a posicoes - L - 1)
// começam em origem[((b + 1) * posicoes + p + L) * L]; origem alinhada a 64
// bytes.
struct Vista {
    double* origem;
    std::int32_t Nx, Ny;
    int numero_faixas;
    int posicoes;
};

// O que a varredura de uma faixa mede dos resíduos: o maior |r| (NaN
// ignorado) e a soma dos |r| em ordem qualquer (lanes, vetores).
struct Medidas {
    double maximo;
    double soma;
};

// As linhas logo abaixo e logo acima da faixa, quando vêm de outra thread:
// linha[ix] para a coluna ix, zero fora de 1 a Nx, com margem de 2L
// elementos dos dois lados. Nulo: lidas das faixas vizinhas do campo.
struct Vizinhas {
    const double* abaixo = nullptr;
    const double* acima = nullptr;
};

struct Nucleos {
    // L: linhas por faixa, múltiplo da largura dos vetores dos núcleos.
    int linhas;
    // Uma varredura da faixa b com termo fonte. As faixas abaixo já foram
    // varridas nesta varredura; as de cima ainda não.
    void (*varrer_faixa)(Vista phi, Vista fonte, int b, Coeficientes c, Vizinhas viz);
    // Uma varredura da faixa b sem fonte, dos valores de `velho` para os de
    // `novo` (podem ser o mesmo campo; as bordas iguais nos dois), medindo
    // os resíduos dos nós interiores da faixa, menos os da linha de cima.
    // Com copia.origem não nulo, os valores velhos da faixa vão também para
    // `copia` (que já tem as bordas); com residuos.origem não nulo, os
    // resíduos vão para `residuos` (zero fora do interior).
    Medidas (*varrer_faixa_com_residuos)(Vista velho, Vista novo, Vista copia, Vista residuos, int b,
                                         Coeficientes c, Vizinhas viz);
};

namespace avx512 {
extern const Nucleos nucleos;
}
namespace avx2 {
extern const Nucleos nucleos;
}
namespace portavel {
extern const Nucleos nucleos;
}

} // namespace faixas
