// Entradas recusadas, falhas aritméticas e gravação que não perde arquivos.
#include "auxiliar.hpp"
#include "erros.hpp"
#include "formatacao.hpp"
#include "validacao.hpp"
#include "variaveis.hpp"

#include <gtest/gtest.h>

#include <map>

namespace {

using teste::Area;
using teste::Entrada;
namespace fs = std::filesystem;

// Nome e conteúdo de cada arquivo do diretório.
std::map<std::string, std::string> retrato(const fs::path& diretorio)
{
    std::map<std::string, std::string> arquivos;
    for (const auto& item : fs::recursive_directory_iterator(diretorio)) {
        arquivos[item.path().lexically_relative(diretorio).string()] =
            item.is_regular_file() ? teste::ler(item.path()) : "<diretório>";
    }
    return arquivos;
}

struct Caso_ruim {
    const char* descricao;
    std::string conteudo;
    const char* trecho; // parte esperada da mensagem
};

Entrada com(std::string Entrada::*campo, const char* valor)
{
    Entrada e;
    e.*campo = valor;
    return e;
}

std::vector<Caso_ruim> casos_ruins()
{
    const std::string valida = Entrada().texto();
    std::string treze = valida.substr(0, valida.rfind('\n', valida.size() - 2) + 1);
    std::string lixo;
    for (int i = 0; i < 4096; ++i) lixo += static_cast<char>((i * 7919 + 13) % 256);
    return {
        {"Nx = 2", com(&Entrada::Nx, "2").texto(), "Nx = 2; são necessários pelo menos 3 nós"},
        {"Ny = 1", com(&Entrada::Ny, "1").texto(), "Ny = 1;"},
        {"Nx negativo", com(&Entrada::Nx, "-4").texto(), "Nx = -4;"},
        {"Nx*Ny grande", [] { Entrada e; e.Nx = "50000"; e.Ny = "50000"; return e.texto(); }(), "excede 2147483647"},
        {"Lx zero", com(&Entrada::Lx, "0").texto(), "Lx = 0; a dimensão da placa deve ser"},
        {"Ly negativo", com(&Entrada::Ly, "-1.0").texto(), "Ly = -1;"},
        {"Lx gigante", com(&Entrada::Lx, "1e308").texto(), "falha aritmética"},
        {"Ly/Lx acima do limite", com(&Entrada::Ly, "230").texto(), "Ly/Lx = 230"},
        {"nu = 1", com(&Entrada::nu, "1.0").texto(), "nu = 1;"},
        {"itmax zero", com(&Entrada::itmax, "0").texto(), "itmax = 0;"},
        {"itmax negativo", com(&Entrada::itmax, "-3").texto(), "itmax = -3;"},
        {"passo_hist zero", com(&Entrada::passo_hist, "0").texto(), "passo_hist = 0;"},
        {"nome em branco", com(&Entrada::nome_relatorio, "'   '").texto(), "nome_relatorio vazio"},
        {"nome ausente", com(&Entrada::nome_relatorio, ",").texto(), "nome_relatorio vazio"},
        {"nome é a entrada", com(&Entrada::nome_relatorio, "entrada_geral.ent").texto(), "(entrada_geral.ent)"},
        {"nome é a linha média", com(&Entrada::nome_relatorio, "'./desl_y_meio.txt'").texto(), "(desl_y_meio.txt)"},
        {"nome é o roteiro", com(&Entrada::nome_relatorio, "desl_x_meio.gnu").texto(), "(desl_x_meio.gnu)"},
        {"nome com controle", com(&Entrada::nome_relatorio, "'a\tb'").texto(), "caracteres de controle"},
        {"alpha estoura", com(&Entrada::alpha, "1e308").texto(), "falha aritmética no cálculo"},
        {"memória", com(&Entrada::itmax, "2147483647").texto(), "de memória"},
        {"palavra", com(&Entrada::Lx, "um").texto(), "não é um número real"},
        {"fração inteira", com(&Entrada::itgs, "2.5").texto(), "não é um número inteiro"},
        {"inteiro grande", com(&Entrada::itdesl, "3000000000").texto(), "fora do intervalo"},
        {"Inf", com(&Entrada::tol, "Inf").texto(), "não é um número real"},
        {"NaN", com(&Entrada::nu, "NaN").texto(), "não é um número real"},
        {"treze valores", treze, "o arquivo terminou"},
        {"vazio", "", "o arquivo terminou"},
        {"lixo binário", lixo, "erro de leitura"},
        {"5 MB de algarismos", com(&Entrada::Nx, std::string(5 << 20, '9').c_str()).texto(), "fora do intervalo"},
        {"5 MB de algarismos reais", com(&Entrada::Lx, std::string(5 << 20, '9').c_str()).texto(), "excede o maior"},
        {"diretório inexistente", com(&Entrada::nome_relatorio, "'nao/existe/rel.txt'").texto(), "não foi possível criar"},
        {"arquivo no caminho", com(&Entrada::nome_relatorio, "'entrada_geral.ent/rel.txt'").texto(), "não foi possível criar"},
    };
}

TEST(Recusa, EntradasRuinsTerminamComMensagemENadaMudaNoDiretorio)
{
    for (const Caso_ruim& caso : casos_ruins()) {
        Area area;
        area.gravar_entrada(caso.conteudo);
        teste::gravar(area.arquivo("desl_x_meio.txt"), "anterior\r\n");
        const auto antes = retrato(area.trabalho());
        const auto r = teste::executar_programa(area);
        EXPECT_NE(r.status, 0) << caso.descricao;
        EXPECT_FALSE(r.sinal) << caso.descricao;
        EXPECT_EQ(r.saida, "") << caso.descricao;
        EXPECT_TRUE(r.erros.starts_with("placa2d: erro: ")) << caso.descricao << ": " << r.erros;
        EXPECT_NE(r.erros.find(caso.trecho), std::string::npos) << caso.descricao << ": " << r.erros;
        EXPECT_LT(r.erros.size(), 600u) << caso.descricao;
        EXPECT_EQ(retrato(area.trabalho()), antes) << caso.descricao;
    }
}

TEST(FalhasAritmeticas, EstouroEDivisaoSaoDetectadosESubfluxoNao)
{
    volatile double grande = 1e308, pequeno = 1e-308, zero = 0.0;
    limpar_falhas_aritmeticas();
    volatile double r = pequeno * 1e-10;
    EXPECT_NO_THROW(verificar_falhas_aritmeticas("no teste"));
    r = grande * 10.0;
    EXPECT_THROW(verificar_falhas_aritmeticas("no teste"), Erro_execucao);
    limpar_falhas_aritmeticas();
    r = 1.0 / zero;
    try {
        verificar_falhas_aritmeticas("no teste");
        ADD_FAILURE() << "esperava erro";
    } catch (const Erro_execucao& e) {
        EXPECT_NE(std::string(e.what()).find("falha aritmética no teste: divisão por zero"), std::string::npos);
    }
    limpar_falhas_aritmeticas();
    r = zero / zero;
    EXPECT_THROW(verificar_falhas_aritmeticas("no teste"), Erro_execucao);
    limpar_falhas_aritmeticas();
    (void)r;
}

TEST(FalhasAritmeticas, ExecucaoValidaNaoLigaNenhumIndicador)
{
    Area area;
    Entrada e;
    e.Nx = "17";
    e.Ny = "9";
    e.Lx = "1e-3";
    e.Ly = "2e-3";
    e.alpha = "1e-300";
    area.gravar_entrada(e.texto());
    const auto r = teste::executar_programa(area);
    EXPECT_EQ(r.status, 0) << r.erros;
}

class Gravacao : public ::testing::Test {
protected:
    Area area_;
    teste::No_diretorio no_{area_.trabalho()};
};

TEST_F(Gravacao, FalhaNoMeioPreservaOArquivoAnterior)
{
    teste::gravar("rel.txt", "relatório anterior\r\n");
    try {
        Arquivo_saida f("rel.txt");
        f.escrever(Linha().texto("novo"));
        throw Erro_execucao("falha simulada");
    } catch (const Erro_execucao&) {
    }
    EXPECT_EQ(teste::ler("rel.txt"), "relatório anterior\r\n");
    EXPECT_EQ(retrato("."), (std::map<std::string, std::string>{{"rel.txt", "relatório anterior\r\n"}}));
}

TEST_F(Gravacao, SubstituicaoImpossivelEhErroEApagaOTemporario)
{
    fs::create_directories("rel.txt/ocupado");
    Arquivo_saida f("rel.txt");
    f.escrever(Linha().texto("novo"));
    EXPECT_THROW(f.concluir(), Erro_execucao);
    EXPECT_FALSE(fs::exists("rel.txt.parcial"));
}

TEST_F(Gravacao, ConcluidoSubstituiODestino)
{
    teste::gravar("rel.txt", std::string(1000, 'x'));
    Arquivo_saida f("rel.txt");
    f.escrever(Linha().texto("curto"));
    f.concluir();
    EXPECT_EQ(teste::ler("rel.txt"), "curto\r\n");
    EXPECT_FALSE(fs::exists("rel.txt.parcial"));
}

TEST(Memoria, ContaCamposVetorDeTrabalhoCoordenadasEHistorias)
{
    reiniciar_variaveis();
    estado.Nx = 100;
    estado.Ny = 50;
    estado.itmax = 999;
    EXPECT_EQ(memoria_necessaria(), 8u * (7u * 5000u + 150u + 3u * 1000u));
}

} // namespace
