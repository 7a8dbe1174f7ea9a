// Alvo do libFuzzer: bytes quaisquer como conteúdo de entrada_geral.ent.
// Toda entrada termina em catorze valores aceitos ou num erro com mensagem.
#include "entrada_saida/dados.hpp"
#include "entrada_saida/validacao.hpp"
#include "modelo/erros.hpp"
#include "modelo/variaveis.hpp"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho)
{
    reiniciar_variaveis();
    try {
        interpretar_entrada(std::string_view(reinterpret_cast<const char*>(dados), tamanho));
        validar_parametros(Opcoes_de_saida{.campos = true});
    } catch (const Erro_execucao& erro) {
        if (std::strlen(erro.what()) == 0) std::abort();
        return 0;
    }
    if (estado.nome_relatorio.size() != tamanho_nome_relatorio) std::abort();
    if (estado.Nx < 3 || estado.Ny < 3 || estado.itmax < 1 || estado.passo_hist == 0) std::abort();
    if (!(estado.nu > -1.0 && estado.nu < 1.0)) std::abort();
    return 0;
}
