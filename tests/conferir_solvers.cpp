// Confere, nos casos aleatórios da conferência (os mesmos de
// teste_solvers_rapidos), que os solvers rápidos dão os mesmos bits e as
// mesmas exceções de ponto flutuante que os de referência, com cada conjunto
// de instruções que a CPU tem e com 1 a 8 threads. Sem o GoogleTest: roda
// também no executável do Windows.
//   conferir_solvers [casos por conjunto e solver, padrão 150]
// Termina com status 1 se algum caso diferir.
#include "conferencia.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    const int casos = argc > 1 ? std::max(1, std::atoi(argv[1])) : 150;
    int conferidos = 0;
    int falhas = 0;
    const auto relatar = [](const std::string& d) { std::printf("  FALHOU: %s\n", d.c_str()); };
    for (const auto conjunto : {rapido::Instrucoes::portavel, rapido::Instrucoes::avx2, rapido::Instrucoes::avx512}) {
        if (!rapido::usar_instrucoes(conjunto)) {
            std::printf("conferir_solvers: %s: a CPU não tem\n", rapido::nome(conjunto));
            continue;
        }
        // Os casos são todos de faixas: um resolvido pela referência conta como diferente.
        const int f = conferencia::laplace_aleatorios(casos, relatar) + conferencia::fonte_aleatorios(casos, relatar);
        std::printf("conferir_solvers: %s: %d casos, %d diferentes\n", rapido::nome(conjunto), 2 * casos, f);
        conferidos += 2 * casos;
        falhas += f;
    }
    rapido::usar_melhores_instrucoes();
    std::printf("conferir_solvers: padrão %s\n", rapido::nome(rapido::instrucoes_em_uso()));
    std::printf("%d passed, %d failed\n", conferidos - falhas, falhas);
    return falhas == 0 ? 0 : 1;
}
