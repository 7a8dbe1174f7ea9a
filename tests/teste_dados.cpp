// Leitura de entrada_geral.ent.
#include "entrada_saida/dados.hpp"
#include "modelo/erros.hpp"
#include "modelo/variaveis.hpp"
#include "auxiliar.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>


namespace {

using ::testing::HasSubstr;

using teste::Entrada;

class Leitura : public ::testing::Test {
protected:
    void SetUp() override { reiniciar_variaveis(); }

    static std::string nome(std::string_view texto)
    {
        std::string n(texto);
        n.resize(tamanho_nome_relatorio, ' ');
        return n;
    }

    // Mensagem do erro de leitura de `conteudo` (vazia se não houve erro).
    static std::string erro_de(const std::string& conteudo)
    {
        reiniciar_variaveis();
        try {
            interpretar_entrada(conteudo);
        } catch (const Erro_execucao& e) {
            return e.what();
        }
        return "";
    }
};

TEST_F(Leitura, LeOsCatorzeValoresNaOrdemDoArquivo)
{
    Entrada e;
    e.Nx = "41";
    e.Ny = "-7";
    e.reserva = "123.5";
    e.modo_saida = "2";
    e.passo_hist = "+50";
    interpretar_entrada(e.texto());
    const Variaveis& s = estado;
    EXPECT_EQ(s.nome_relatorio, nome("relatorio.txt"));
    EXPECT_EQ(s.Lx, 1.0);
    EXPECT_EQ(s.Ly, 1.0);
    EXPECT_EQ(s.Nx, 41);
    EXPECT_EQ(s.Ny, -7);
    EXPECT_EQ(s.itmax, 100);
    EXPECT_EQ(s.itgs, 10);
    EXPECT_EQ(s.itdesl, 3);
    EXPECT_EQ(s.tol, 1.0e-6);
    EXPECT_EQ(s.reserva, 123.5);
    EXPECT_EQ(s.nu, 0.3);
    EXPECT_EQ(s.alpha, 1.2e-5);
    EXPECT_EQ(s.modo_saida, 2);
    EXPECT_EQ(s.passo_hist, 50);
}

TEST_F(Leitura, ComentariosLinhasEmBrancoTabulacoesCrLfEBomNaoMudamOsValores)
{
    Entrada e;
    interpretar_entrada(e.texto());
    const Variaveis referencia = estado;

    const std::string sem_comentarios =
        "relatorio.txt\n1.0\n1.0\n5\n5\n100\n10\n3\n1.0E-6\n0\n0.3\n1.2E-5\n1\n3";
    std::string espalhado = "\xEF\xBB\xBF\r\n  \t \r\n" + e.texto();
    std::string crlf;
    for (const char c : espalhado) {
        if (c == '\n') crlf += "\r\n\t\r\n";
        else crlf += c;
    }
    for (const std::string& variante : {sem_comentarios, crlf}) {
        reiniciar_variaveis();
        interpretar_entrada(variante);
        EXPECT_EQ(estado.nome_relatorio, referencia.nome_relatorio);
        EXPECT_EQ(estado.Nx, referencia.Nx);
        EXPECT_EQ(estado.tol, referencia.tol);
        EXPECT_EQ(estado.alpha, referencia.alpha);
        EXPECT_EQ(estado.passo_hist, referencia.passo_hist);
    }
}

TEST_F(Leitura, NomesEntreDelimitadoresGuardamBrancosVirgulasBarrasEDelimitadorDobrado)
{
    const struct {
        const char* linha;
        const char* esperado;
    } casos[] = {
        {"'meu relatorio, v1/final.txt'  comentário", "meu relatorio, v1/final.txt"},
        {"\"outro nome.txt\"", "outro nome.txt"},
        {"'it''s.txt'", "it's.txt"},
        {"\"diz \"\"oi\"\".txt\"", "diz \"oi\".txt"},
        {"\"com 'apostrofo'.txt\"", "com 'apostrofo'.txt"},
        {"meu relatorio.txt", "meu"},
        {"nome,resto", "nome"},
        {"pasta/relatorio.txt", "pasta"},
        {"''", ""},
        {"'   com brancos na frente.txt'", "   com brancos na frente.txt"},
    };
    for (const auto& caso : casos) {
        Entrada e;
        e.nome_relatorio = caso.linha;
        reiniciar_variaveis();
        interpretar_entrada(e.texto());
        EXPECT_EQ(estado.nome_relatorio, nome(caso.esperado)) << caso.linha;
    }
}

TEST_F(Leitura, NomeLongoGuardaOsPrimeiros100Caracteres)
{
    Entrada e;
    const std::string longo = std::string(90, 'a') + std::string(30, 'b');
    e.nome_relatorio = longo;
    interpretar_entrada(e.texto());
    EXPECT_EQ(estado.nome_relatorio, longo.substr(0, 100));
    EXPECT_THAT(aviso_do_nome_cortado(), HasSubstr("gravado em \"" + longo.substr(0, 100) + "\""));
    // O nome escrito vai com o estado: um estado novo, sem entrada lida, não
    // herda o nome longo da leitura anterior.
    reiniciar_variaveis();
    estado.nome_relatorio = "rel.txt";
    EXPECT_EQ(aviso_do_nome_cortado(), "");
    EXPECT_EQ(nome_relatorio_aparado(), "rel.txt");
}

TEST_F(Leitura, RealAceitaInteiroPontoFixoEExpoenteEouD)
{
    const struct {
        const char* texto;
        double valor;
    } casos[] = {
        {"1", 1.0},          {"1.0", 1.0},     {"1.0E-6", 1.0e-6}, {"1D-6", 1.0e-6}, {"1d-6", 1.0e-6},
        {"-2.5e+3", -2500.0}, {".5", 0.5},      {"5.", 5.0},        {"+3", 3.0},      {"1.0E-400", 0.0},
        {"2.5E-320", 2.5e-320},
    };
    for (const auto& caso : casos) {
        Entrada e;
        e.tol = caso.texto;
        reiniciar_variaveis();
        interpretar_entrada(e.texto());
        EXPECT_EQ(estado.tol, caso.valor) << caso.texto;
    }
}

TEST_F(Leitura, VirgulaOuBarraNoInicioMantemOValorDeInicio)
{
    Entrada e;
    e.nome_relatorio = ", nada";
    e.Lx = "/";
    e.Nx = ",";
    e.reserva = "/ comentário";
    interpretar_entrada(e.texto());
    EXPECT_EQ(estado.nome_relatorio, std::string(100, '\0'));
    EXPECT_EQ(estado.Lx, 0.0);
    EXPECT_EQ(estado.Nx, 0);
    EXPECT_EQ(estado.reserva, 0.0);
    EXPECT_EQ(estado.Ly, 1.0);

    // Vírgula seguida de branco, de comentário ou do fim da linha ainda termina o valor.
    Entrada f;
    f.Nx = "7,";
    f.Lx = "2.0/3";
    f.Ly = "3.0,comentário";
    f.nu = "0.25,/";
    reiniciar_variaveis();
    interpretar_entrada(f.texto());
    EXPECT_EQ(estado.Nx, 7);
    EXPECT_EQ(estado.Lx, 2.0);
    EXPECT_EQ(estado.Ly, 3.0);
    EXPECT_EQ(estado.nu, 0.25);
    reiniciar_variaveis();
    interpretar_entrada("r.txt\n1.0,\n1\n5\n5\n100\n10\n3\n1e-6\n0\n0.3\n1e-5\n1\n3,");
    EXPECT_EQ(estado.Lx, 1.0);
    EXPECT_EQ(estado.passo_hist, 3);
}

TEST_F(Leitura, LimitesDosInteirosDe32Bits)
{
    Entrada e;
    e.Nx = "2147483647";
    e.Ny = "-2147483648";
    interpretar_entrada(e.texto());
    EXPECT_EQ(estado.Nx, 2147483647);
    EXPECT_EQ(estado.Ny, -2147483647 - 1);
}

TEST_F(Leitura, ValoresInvalidosSaoErrosQueNomeiamLinhaParametroETexto)
{
    const struct {
        std::string Entrada::*campo;
        const char* texto;
        const char* trecho;
    } casos[] = {
        {&Entrada::Nx, "abc", "linha 4 (parâmetro Nx): \"abc\" não é um número inteiro"},
        {&Entrada::Ny, "2.5", "linha 5 (parâmetro Ny): \"2.5\" não é um número inteiro"},
        {&Entrada::itmax, "3000000000", "linha 6 (parâmetro itmax): \"3000000000\" está fora do intervalo"},
        {&Entrada::itgs, "-2147483649", "(parâmetro itgs): \"-2147483649\" está fora"},
        {&Entrada::Nx, "18446744073709551621", "\"18446744073709551621\" está fora do intervalo"}, // 2^64 + 5
        {&Entrada::itdesl, "12abc", "\"12abc\" não é um número inteiro"},
        {&Entrada::Lx, "Inf", "linha 2 (parâmetro Lx): \"Inf\" não é um número real"},
        {&Entrada::Ly, "NaN", "(parâmetro Ly): \"NaN\" não é um número real"},
        {&Entrada::tol, "um", "(parâmetro tol): \"um\" não é um número real"},
        {&Entrada::nu, "1.0E", "\"1.0E\" não é um número real"},
        {&Entrada::alpha, "1e999", "\"1e999\" excede o maior número real"},
        {&Entrada::reserva, "0x10", "\"0x10\" não é um número real"},
        {&Entrada::nome_relatorio, "'sem fim.txt", "(parâmetro nome_relatorio): \"'sem fim.txt  nome do relatório\" não tem o delimitador de fechamento (')"},
        {&Entrada::modo_saida, "-", "\"-\" não é um número inteiro"},
        {&Entrada::nu, "0,3", "linha 11 (parâmetro nu): \"0,3\" tem vírgula decimal; use ponto decimal: 0.3"},
        {&Entrada::alpha, "1,2E-5", "\"1,2E-5\" tem vírgula decimal; use ponto decimal: 1.2E-5"},
        {&Entrada::Nx, "7,8", "(parâmetro Nx): \"7,8\" tem vírgula decimal; escreva um número inteiro"},
    };
    for (const auto& caso : casos) {
        SCOPED_TRACE(caso.texto);
        Entrada e;
        e.*caso.campo = caso.texto;
        const std::string erro = erro_de(e.texto());
        EXPECT_THAT(erro, HasSubstr("erro de leitura em entrada_geral.ent"));
        EXPECT_THAT(erro, HasSubstr(caso.trecho));
    }
}

TEST_F(Leitura, TextoLongoOuBinarioApareceCurtoEEscapadoNaMensagem)
{
    Entrada e;
    e.Nx = std::string(5'000'000, '7');
    const std::string longo = erro_de(e.texto());
    EXPECT_THAT(longo, HasSubstr("(5000000 caracteres)"));
    EXPECT_LT(longo.size(), 300u);

    e.Nx = std::string("\x01\x02\x7f", 3);
    const std::string binario = erro_de(e.texto());
    EXPECT_THAT(binario, HasSubstr("\"\\x01\\x02\\x7F\""));
}

TEST_F(Leitura, ArquivoCurtoOuVazioEhErroDeFimDeArquivo)
{
    Entrada e;
    std::string treze = e.texto();
    treze.erase(treze.rfind('\n', treze.size() - 2) + 1);
    EXPECT_THAT(erro_de(treze),
                HasSubstr("o arquivo terminou (linha 13) antes do valor de passo_hist, o parâmetro 14 de 14"));
    EXPECT_THAT(erro_de(""), HasSubstr("antes do valor de nome_relatorio, o parâmetro 1 de 14"));
    EXPECT_THAT(erro_de("\n\n   \n"), HasSubstr("o arquivo terminou (linha 3)"));
}

} // namespace
