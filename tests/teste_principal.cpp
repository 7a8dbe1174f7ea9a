// O programa inteiro, executado num diretório temporário com notepad e
// wgnuplot substitutos à frente no PATH.
#include "auxiliar.hpp"

#include <gtest/gtest.h>

namespace {

using teste::Area;
using teste::Entrada;

TEST(Execucao, CompletaRodaOsComandosNaOrdemEEncerraComZeroEmSilencio)
{
    Area area;
    area.gravar_entrada(Entrada().texto());
    const auto r = teste::executar_programa(area);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.saida, "");
    EXPECT_EQ(r.erros, "");
    EXPECT_EQ(area.comandos(),
              "notepad entrada_geral.ent\n"
              "notepad relatorio.txt\n"
              "wgnuplot desl_x_meio.gnu\n"
              "wgnuplot desl_y_meio.gnu\n");
    EXPECT_TRUE(std::filesystem::exists(area.arquivo("relatorio.txt")));
    EXPECT_TRUE(std::filesystem::exists(area.arquivo("desl_x_meio.txt")));
    EXPECT_TRUE(std::filesystem::exists(area.arquivo("desl_y_meio.txt")));
}

TEST(Execucao, ValoresLidosSaoOsQueOEditorDeixou)
{
    Area area;
    area.criar_substituto("notepad", "[ \"$1\" = entrada_geral.ent ] && sed -i 's/^5  Nx/7  Nx/' entrada_geral.ent");
    area.gravar_entrada(Entrada().texto());
    ASSERT_EQ(teste::executar_programa(area).status, 0);
    const std::string relatorio = teste::ler(area.arquivo("relatorio.txt"));
    EXPECT_NE(relatorio.find("         7                    = Nx:"), std::string::npos);
}

TEST(Execucao, TempoNaoIncluiOEditor)
{
    Area area;
    area.criar_substituto("notepad", "[ \"$1\" = entrada_geral.ent ] && sleep 1.5");
    area.gravar_entrada(Entrada().texto());
    ASSERT_EQ(teste::executar_programa(area).status, 0);
    const std::string relatorio = teste::ler(area.arquivo("relatorio.txt"));
    const std::string rotulo = "Tempo de processamento (em segundos):";
    const std::size_t p = relatorio.find(rotulo);
    ASSERT_NE(p, std::string::npos);
    const double tempo = std::stod(relatorio.substr(p + rotulo.size()));
    EXPECT_LT(tempo, 1.0);
}

TEST(Execucao, ErroDeLeituraTerminaComMensagemSemCriarArquivos)
{
    Area area;
    Entrada e;
    e.Ny = "2.5";
    area.gravar_entrada(e.texto());
    const auto r = teste::executar_programa(area);
    EXPECT_NE(r.status, 0);
    EXPECT_FALSE(r.sinal);
    EXPECT_EQ(r.saida, "");
    EXPECT_EQ(r.erros,
              "placa2d: erro: erro de leitura em entrada_geral.ent, linha 5 (parâmetro Ny): \"2.5\" não é um "
              "número inteiro\n");
    std::size_t arquivos = 0;
    for ([[maybe_unused]] const auto& item : std::filesystem::directory_iterator(area.trabalho())) ++arquivos;
    EXPECT_EQ(arquivos, 1u);
}

TEST(Execucao, SemEntradaTerminaComMensagemENaoCriaOArquivo)
{
    Area area;
    const auto r = teste::executar_programa(area);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.erros.find("entrada_geral.ent"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty(area.trabalho()));
}

} // namespace
