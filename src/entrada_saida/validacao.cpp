#include "entrada_saida/validacao.hpp"

#include "entrada_saida/arquivos.hpp"
#include "entrada_saida/dados.hpp"
#include "modelo/analitica.hpp"
#include "modelo/erros.hpp"
#include "modelo/variaveis.hpp"
#include "plataforma/comandos.hpp"
#include "plataforma/memoria.hpp"
#include "plataforma/sistema_de_arquivos.hpp"

#include <algorithm>
#include <cctype>
#include <cfenv>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string texto(double valor)
{
    char buffer[32];
    const auto fim = std::to_chars(buffer, buffer + sizeof buffer, valor).ptr;
    return std::string(buffer, fim);
}

[[noreturn]] void recusar(const std::string& parametro, const std::string& regra)
{
    throw Erro_execucao(std::string("parâmetro inválido em ") + arquivos::entrada + ": " + parametro + "; " + regra);
}

void exigir_malha()
{
    const auto& e = estado;
    if (e.Nx < 3) recusar("Nx = " + std::to_string(e.Nx), "são necessários pelo menos 3 nós em cada direção");
    if (e.Ny < 3) recusar("Ny = " + std::to_string(e.Ny), "são necessários pelo menos 3 nós em cada direção");
    const std::int64_t nos = std::int64_t{e.Nx} * e.Ny;
    if (nos > 2147483647) {
        recusar("Nx = " + std::to_string(e.Nx) + " e Ny = " + std::to_string(e.Ny),
                "o número de nós Nx*Ny = " + std::to_string(nos) + " excede 2147483647");
    }
}

void exigir_dimensao(const char* nome, double valor)
{
    if (!(valor > 0.0) || !std::isfinite(valor)) {
        recusar(std::string(nome) + " = " + texto(valor), "a dimensão da placa deve ser um número positivo e finito");
    }
}

// A solução analítica e sua média precisam de senh e cosh de pi*Ly/Lx finitos.
void exigir_proporcao()
{
    const auto& e = estado;
    const Media_analitica media = media_analitica(std::acos(-1.0), e.Lx, e.Ly);
    if (!std::isfinite(media.numerador) || !std::isfinite(media.denominador)) {
        recusar("Ly/Lx = " + texto(e.Ly / e.Lx) + " (Lx = " + texto(e.Lx) + ", Ly = " + texto(e.Ly) + ")",
                "a solução analítica só é representável com Ly/Lx abaixo de cerca de 226");
    }
}

// Diretório pai canônico (ligações simbólicas resolvidas, mesmo que o
// arquivo ainda não exista) e o nome; no Windows, sem distinção de maiúsculas.
std::string caminho_comparavel(const fs::path& p)
{
    std::error_code erro;
    const fs::path absoluto = fs::absolute(p, erro).lexically_normal();
    const fs::path pai = fs::weakly_canonical(absoluto.parent_path(), erro);
    const std::u8string u8 = ((erro ? absoluto.parent_path() : pai) / absoluto.filename()).generic_u8string();
    std::string s(u8.begin(), u8.end());
#ifdef _WIN32
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
#endif
    return s;
}

bool mesmo_arquivo(const fs::path& a, const fs::path& b)
{
    std::error_code erro;
    return fs::equivalent(a, b, erro) || caminho_comparavel(a) == caminho_comparavel(b);
}

void exigir_nome_relatorio(const Opcoes_de_saida& opcoes)
{
    const std::string nome = nome_relatorio_aparado();
    if (nome.empty()) {
        recusar("nome_relatorio vazio", "informe na linha 1 o nome do arquivo do relatório, por exemplo 'relatorio.txt'");
    }
    const bool controle = std::any_of(nome.begin(), nome.end(), [](unsigned char c) { return c < 0x20 || c == 0x7F; });
    if (controle) recusar("nome_relatorio", "o nome do relatório tem caracteres de controle");
    const std::string_view sem_citacao = caracteres_sem_citacao(interpretador_do_sistema);
    if (nome.find_first_of(sem_citacao) != std::string::npos) {
        recusar("nome_relatorio = \"" + nome + "\"", "o nome do relatório não pode ter % nem ! nem aspas (o "
                                                      "interpretador de comandos os trataria como variáveis)");
    }
    const std::string recusado = nome_recusado_pelo_sistema(nome);
    if (!recusado.empty()) recusar("nome_relatorio = \"" + nome + "\"", recusado);
    const auto proprio_do_programa = [&](const char* proprio) {
        recusar("nome_relatorio = \"" + nome + "\"",
                "o relatório não pode ter o nome de um arquivo do próprio programa (" + std::string(proprio) + ")");
    };
    for (const char* proprio : arquivos::proprios) {
        if (mesmo_arquivo(caminho(nome), proprio)) proprio_do_programa(proprio);
    }
    for (const char* campos : {arquivos::campos_vti, arquivos::campos_csv}) {
        if (opcoes.campos && mesmo_arquivo(caminho(nome), campos)) proprio_do_programa(campos);
    }
    // O mapas.gnu grava os seus PNGs na pasta do relatório, qualquer que seja.
    const fs::path base = caminho(nome).filename();
    for (const char* png : arquivos::pngs_dos_mapas) {
        if (caminho_comparavel(base) == caminho_comparavel(png)) proprio_do_programa(png);
    }
}

std::string em_mib(std::uint64_t bytes) { return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MiB"; }

// Só a malha: as histórias ocupam as iterações que a execução fizer.
void exigir_memoria()
{
    const std::uint64_t necessaria = memoria_necessaria(0);
    const unsigned long long fisica = memoria_fisica();
    if (fisica != 0 && necessaria > fisica) {
        recusar("Nx = " + std::to_string(estado.Nx) + ", Ny = " + std::to_string(estado.Ny),
                "a malha precisa de " + em_mib(necessaria) + " de memória e a máquina tem " + em_mib(fisica));
    }
}

} // namespace

std::uint64_t memoria_necessaria(std::int64_t iteracoes)
{
    const auto& e = estado;
    const std::uint64_t nos = static_cast<std::uint64_t>(std::int64_t{e.Nx} * e.Ny);
    const std::uint64_t historia = static_cast<std::uint64_t>(std::max<std::int64_t>(iteracoes, 0)) + 1;
    // Seis campos, o vetor de trabalho da norma L-infinito, coordenadas e três histórias.
    const std::uint64_t doubles = 7 * nos + static_cast<std::uint64_t>(e.Nx) + static_cast<std::uint64_t>(e.Ny) + 3 * historia;
    return doubles * sizeof(double);
}

void validar_parametros(const Opcoes_de_saida& opcoes)
{
    const auto& e = estado;
    exigir_nome_relatorio(opcoes);
    exigir_dimensao("Lx", e.Lx);
    exigir_dimensao("Ly", e.Ly);
    exigir_proporcao();
    exigir_malha();
    if (e.itmax < 1) recusar("itmax = " + std::to_string(e.itmax), "é preciso pelo menos 1 iteração térmica");
    if (!(e.nu > -1.0 && e.nu < 1.0)) {
        recusar("nu = " + texto(e.nu), "o coeficiente de Poisson deve ficar entre -1 e 1, sem os extremos (fora disso "
                                       "K = (1+nu)/(1-nu) é infinito ou K+1 é negativo, e as equações dos "
                                       "deslocamentos não têm solução: o resultado não significaria nada)");
    }
    if (e.passo_hist == 0) recusar("passo_hist = 0", "o passo da história de convergência não pode ser zero");
    exigir_memoria();
}

void falta_de_memoria()
{
    throw Erro_execucao("memória insuficiente: a malha e as histórias precisam de até " +
                        em_mib(memoria_necessaria(estado.itmax)) +
                        "; reduza Nx, Ny ou itmax");
}

void limpar_falhas_aritmeticas() { std::feclearexcept(FE_DIVBYZERO | FE_OVERFLOW | FE_INVALID); }

void verificar_falhas_aritmeticas(const char* etapa)
{
    const int falhas = std::fetestexcept(FE_DIVBYZERO | FE_OVERFLOW | FE_INVALID);
    if (falhas == 0) return;
    std::string nomes;
    auto acrescentar = [&](int bit, const char* nome) {
        if (!(falhas & bit)) return;
        if (!nomes.empty()) nomes += ", ";
        nomes += nome;
    };
    acrescentar(FE_OVERFLOW, "estouro (overflow)");
    acrescentar(FE_DIVBYZERO, "divisão por zero");
    acrescentar(FE_INVALID, "operação inválida");
    throw Erro_execucao("falha aritmética " + std::string(etapa) + ": " + nomes +
                        "; os resultados seriam infinitos ou indefinidos e nada foi gravado. Verifique os parâmetros "
                        "(Lx, Ly, Nx, Ny, nu, alpha)");
}
