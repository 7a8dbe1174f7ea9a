#include "roteiro/linha_de_comando.hpp"

#include "entrada_saida/arquivos.hpp"
#include "entrada_saida/formatacao.hpp"
#include "roteiro/versao.hpp"
#include "solvers/solvers_rapidos.hpp"

#include <algorithm>
#include <array>
#include <string_view>

namespace {

struct Opcao {
    std::array<std::string_view, 3> nomes; // os que sobram, vazios
    bool Linha_de_comando::*campo;
    std::string_view descricao;
};

constexpr Opcao opcoes[] = {
    {{"-h", "--ajuda", "--help"}, &Linha_de_comando::ajuda, "esta ajuda; não lê nem grava nada"},
    {{"--versao", "--version"}, &Linha_de_comando::versao,
     "a versão, o compilador e as instruções da CPU que o cálculo usa"},
    {{"--campos"}, &Linha_de_comando::campos,
     "grava também os campos de todos os nós, para o ParaView e a planilha"},
};

const Opcao* opcao(std::string_view argumento)
{
    for (const Opcao& o : opcoes) {
        if (!argumento.empty() && std::find(o.nomes.begin(), o.nomes.end(), argumento) != o.nomes.end()) return &o;
    }
    return nullptr;
}

} // namespace

Linha_de_comando interpretar_linha_de_comando(std::span<const std::string> argumentos)
{
    Linha_de_comando linha;
    for (const std::string& argumento : argumentos) {
        const Opcao* o = opcao(argumento);
        if (o == nullptr) {
            linha.nao_entendido = argumento;
            break;
        }
        linha.*(o->campo) = true;
    }
    return linha;
}

std::string texto_da_ajuda()
{
    const std::string entrada = arquivos::entrada;
    std::string texto =
        "Uso: placa2d [opção]\n"
        "\n"
        "Condução de calor numa placa retangular e o deslocamento termoelástico que\n"
        "ela causa. Sem opção, na pasta em que é iniciado, o placa2d:\n"
        "  1. abre " + entrada + " no notepad e espera que ele seja fechado;\n"
        "  2. lê os catorze parâmetros desse arquivo;\n"
        "  3. grava o relatório (o nome é a linha 1 da entrada), " + arquivos::x_meio + " e\n"
        "     " + arquivos::y_meio + ", só depois de o cálculo terminar sem erro; com --campos,\n"
        "     também " + arquivos::campos_vti + " (abra no ParaView) e " + arquivos::campos_csv + " (na planilha);\n"
        "  4. abre o relatório no notepad e roda wgnuplot " + arquivos::grafico_x_meio + " e\n"
        "     wgnuplot " + arquivos::grafico_y_meio + ".\n"
        "Um resultado em que não se deve confiar (o problema térmico não convergiu,\n"
        "dx diferente de dy) é dito numa linha \"placa2d: aviso:\".\n"
        "\n"
        "Opções:\n";
    for (const Opcao& o : opcoes) {
        std::string nomes;
        for (const std::string_view nome : o.nomes) {
            if (!nome.empty()) nomes.append(nomes.empty() ? "" : ", ").append(nome);
        }
        nomes.resize(std::max<std::size_t>(nomes.size() + 2, 24), ' ');
        texto.append("  ").append(nomes).append(o.descricao).append("\n");
    }
    return texto +
           "\n"
           "Variáveis de ambiente:\n"
           "  PLACA2D_THREADS=N       threads do cálculo, de 1 a " + std::to_string(rapido::maximo_de_threads) +
           " (padrão: as CPUs do processo)\n"
           "  PLACA2D_PROGRESSO=0     sem a linha de progresso no terminal\n"
           "\n"
           "Status de saída:\n"
           "  0      execução completa, também com avisos\n"
           "  1      erro (a mensagem diz qual e onde)\n"
           "  2      argumento não entendido\n"
           "  128+n  interrompido pelo sinal n (Ctrl-C: 130; no Windows, Ctrl-Break: 149)\n"
           "\n"
           "Documentação: README.md e docs/ no repositório; no pacote do Windows, LEIA-ME.txt.\n";
}

std::string texto_da_versao()
{
    std::string conjuntos;
    for (const rapido::Instrucoes c : {rapido::Instrucoes::avx512, rapido::Instrucoes::avx2, rapido::Instrucoes::portavel}) {
        if (rapido::instrucoes_disponiveis(c)) conjuntos.append(conjuntos.empty() ? "" : ", ").append(rapido::nome(c));
    }
    return std::string("placa2d ") + versao_do_programa() + "\n" + compilacao() + "\n" +
           "instruções desta CPU para o cálculo: " + conjuntos + " (em uso: " +
           rapido::nome(rapido::instrucoes_em_uso()) + ")\n";
}

std::string recusa_do_argumento(const std::string& argumento)
{
    if (argumento.starts_with("-")) return "opção desconhecida: " + trecho_citado(argumento) + "; as opções estão em placa2d --ajuda";
    return "argumento não entendido: " + trecho_citado(argumento) + "; o placa2d não recebe arquivos nem valores na linha de "
           "comando: ele lê " + std::string(arquivos::entrada) + " da pasta em que é iniciado (para outro caso, rode-o "
           "na pasta dele). Veja placa2d --ajuda";
}
