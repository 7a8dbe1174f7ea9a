// Leitura de entrada_geral.ent.
#include "auxiliar.hpp"
#include "dados.hpp"
#include "erros.hpp"
#include "variaveis.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "formatacao.hpp"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

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

class Leitura_do_arquivo : public Leitura {
protected:
    void SetUp() override
    {
        Leitura::SetUp();
        caminho_anterior_ = std::getenv("PATH");
        setenv("PATH", (area_.bin().string() + ":" + caminho_anterior_).c_str(), 1);
    }
    void TearDown() override { setenv("PATH", caminho_anterior_.c_str(), 1); }

    teste::Area area_;
    std::string caminho_anterior_;
};

TEST_F(Leitura_do_arquivo, LeDepoisQueOEditorFecha)
{
    // O editor substituto troca Nx de 5 para 9 antes da leitura.
    area_.criar_substituto("notepad", "sed -i 's/^5  Nx/9  Nx/' entrada_geral.ent");
    area_.gravar_entrada(Entrada().texto());
    teste::No_diretorio no(area_.trabalho());
    ler_entrada();
    EXPECT_EQ(estado.Nx, 9);
    EXPECT_EQ(area_.comandos(), "notepad entrada_geral.ent\n");
}

TEST_F(Leitura_do_arquivo, ArquivoAusenteEhErroENaoEhCriado)
{
    teste::No_diretorio no(area_.trabalho());
    try {
        ler_entrada();
        FAIL() << "esperava erro";
    } catch (const Erro_execucao& e) {
        EXPECT_THAT(std::string(e.what()), HasSubstr("não foi possível abrir o arquivo de entrada entrada_geral.ent"));
    }
    EXPECT_FALSE(std::filesystem::exists(area_.arquivo("entrada_geral.ent")));
    EXPECT_EQ(area_.comandos(), "notepad entrada_geral.ent\n");
}

} // namespace

// ---------------------------------------------------------------- relatório

namespace {

// Estado sintético: cada campo guarda o número do nó, para reconhecer as linhas.
void estado_sintetico(std::int32_t Nx, std::int32_t Ny, std::int32_t itmax = 20)
{
    reiniciar_variaveis();
    auto& e = estado;
    e.nome_relatorio = "relatorio.txt";
    e.nome_relatorio.resize(tamanho_nome_relatorio, ' ');
    e.Lx = 1.0;
    e.Ly = 1.0;
    e.Nx = Nx;
    e.Ny = Ny;
    e.N = Nx * Ny;
    e.itmax = itmax;
    e.it = itmax;
    e.passo_hist = 1;
    e.modo_saida = 1;
    const std::size_t n = static_cast<std::size_t>(e.N);
    for (auto* campo : {&e.T, &e.Ta, &e.u, &e.v}) campo->assign(n, 0.0);
    for (std::size_t k = 0; k < n; ++k) {
        e.T[k] = static_cast<double>(k + 1);
        e.Ta[k] = 10.0 * static_cast<double>(k + 1);
        e.u[k] = 100.0 * static_cast<double>(k + 1);
        e.v[k] = -100.0 * static_cast<double>(k + 1);
    }
    for (std::int32_t i = 0; i < Nx; ++i) e.x.push_back(0.5 * i);
    for (std::int32_t i = 0; i < Ny; ++i) e.y.push_back(0.25 * i);
    for (auto* h : {&e.L1, &e.L2, &e.Linf}) h->assign(static_cast<std::size_t>(itmax) + 1, 1.0);
}

std::vector<std::string> linhas_de(const std::string& texto)
{
    std::vector<std::string> linhas;
    std::size_t inicio = 0;
    while (inicio < texto.size()) {
        const std::size_t fim = texto.find("\r\n", inicio);
        linhas.push_back(texto.substr(inicio, fim - inicio));
        inicio = fim + 2;
    }
    return linhas;
}

// Linhas logo abaixo do cabeçalho que começa com `cabecalho`, até a primeira vazia.
std::vector<std::string> bloco_apos(const std::vector<std::string>& linhas, const std::string& cabecalho)
{
    std::vector<std::string> bloco;
    auto l = std::find_if(linhas.begin(), linhas.end(), [&](const std::string& s) { return s.starts_with(cabecalho); });
    EXPECT_NE(l, linhas.end()) << cabecalho;
    for (++l; l != linhas.end() && !l->empty(); ++l) bloco.push_back(*l);
    return bloco;
}

class Relatorio : public ::testing::Test {
protected:
    std::vector<std::string> escrever()
    {
        teste::No_diretorio no(area_.trabalho());
        Arquivo_saida f("relatorio.txt");
        escrever_relatorio(f);
        f.concluir();
        return linhas_de(teste::ler(area_.arquivo("relatorio.txt")));
    }

    std::vector<std::int32_t> iteracoes_listadas(std::int32_t it, std::int32_t passo)
    {
        estado_sintetico(3, 3);
        estado.it = it;
        estado.passo_hist = passo;
        std::vector<std::int32_t> lista;
        for (const std::string& linha : bloco_apos(escrever(), "  itera\xE7\xE3o")) lista.push_back(std::stoi(linha.substr(0, 10)));
        return lista;
    }

    teste::Area area_;
};

using Lista = std::vector<std::int32_t>;

TEST_F(Relatorio, HistoriaDeZeroAteItDePassoEmPasso)
{
    EXPECT_EQ(iteracoes_listadas(10, 3), (Lista{0, 3, 6, 9, 10}));
    EXPECT_EQ(iteracoes_listadas(9, 3), (Lista{0, 3, 6, 9}));
    EXPECT_EQ(iteracoes_listadas(4, 1), (Lista{0, 1, 2, 3, 4}));
    EXPECT_EQ(iteracoes_listadas(4, 7), (Lista{0, 4}));
    EXPECT_EQ(iteracoes_listadas(1, 2147483647), (Lista{0, 1}));
}

TEST_F(Relatorio, PassoNegativoListaSoAUltimaIteracao)
{
    EXPECT_EQ(iteracoes_listadas(5, -2), (Lista{5}));
    EXPECT_EQ(iteracoes_listadas(1, -5), (Lista{1}));
    EXPECT_EQ(iteracoes_listadas(2, -2), (Lista{2})); // a regra da contagem sozinha não daria linha
}

TEST_F(Relatorio, LinhaDaIteracaoZero)
{
    estado_sintetico(3, 3);
    const auto historia = bloco_apos(escrever(), "  itera\xE7\xE3o");
    EXPECT_EQ(historia.front(), "         0" + std::string(3, ' ') + " 1.000000000000000E+00" + std::string(4, ' ') +
                                    "1.000000000000000E+00" + std::string(4, ' ') + "1.000000000000000E+00");
}

TEST_F(Relatorio, ModoDeSaidaEscolheOsNosListados)
{
    const std::string temperaturas = "    Posi\xE7\xE3o x                Posi\xE7\xE3o y                Temp.";
    const std::string deslocamentos = "    Posi\xE7\xE3o x                Posi\xE7\xE3o y                Desloc";

    estado_sintetico(3, 2);
    auto linhas = escrever();
    const auto todos = bloco_apos(linhas, temperaturas);
    ASSERT_EQ(todos.size(), 6u);
    for (std::size_t k = 0; k < 6; ++k) {
        EXPECT_EQ(todos[k].substr(50, 25), campo_cientifico(static_cast<double>(k + 1)));
        EXPECT_EQ(todos[k].substr(25, 25), campo_cientifico(k < 3 ? 0.0 : 0.25));
    }
    EXPECT_EQ(bloco_apos(linhas, deslocamentos).size(), 6u);

    const struct {
        std::int32_t Nx, Ny, no;
        double x, y;
    } centros[] = {{5, 5, 13, 1.0, 0.5}, {4, 6, 10, 0.5, 0.5}};
    for (const auto& c : centros) {
        SCOPED_TRACE(c.no);
        estado_sintetico(c.Nx, c.Ny);
        estado.modo_saida = 2;
        linhas = escrever();
        const std::string esperado_T = campo_cientifico(c.x) + campo_cientifico(c.y) + campo_cientifico(c.no) +
                                       campo_cientifico(10.0 * c.no) + campo_cientifico(9.0 * c.no);
        EXPECT_EQ(bloco_apos(linhas, temperaturas), std::vector<std::string>{esperado_T});
        const std::string esperado_d = campo_cientifico(c.x) + campo_cientifico(c.y) + campo_cientifico(100.0 * c.no) +
                                       campo_cientifico(-100.0 * c.no);
        EXPECT_EQ(bloco_apos(linhas, deslocamentos), std::vector<std::string>{esperado_d});
    }

    for (std::int32_t modo : {0, 3, -1}) {
        SCOPED_TRACE(modo);
        estado_sintetico(4, 4);
        estado.modo_saida = modo;
        linhas = escrever();
        EXPECT_TRUE(bloco_apos(linhas, temperaturas).empty());
        EXPECT_TRUE(bloco_apos(linhas, deslocamentos).empty());
        EXPECT_EQ(linhas.size(), 51u + 21u); // 51 fixas e 21 da história
    }
}

TEST_F(Relatorio, CrLfSemBrancosNoFimEAcentosEmUmByte)
{
    estado_sintetico(4, 3);
    escrever();
    const std::string bytes = teste::ler(area_.arquivo("relatorio.txt"));
    EXPECT_TRUE(bytes.starts_with("Difus\xE3o de Calor 2DP em Placa Plana sem Gera\xE7\xE3o de Calor\r\n\r\n****"));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
            ASSERT_EQ(bytes[i - 1], '\r') << i;
            ASSERT_NE(bytes[i - 2], ' ') << i;
        }
    }
    EXPECT_TRUE(bytes.ends_with("Tempo de processamento (em segundos):" + std::string(18, ' ') + ".000\r\n"));
    EXPECT_THAT(bytes, HasSubstr("* Problema t\xE9rmico ****"));
    EXPECT_THAT(bytes, Not(HasSubstr("\xC3"))); // nenhum UTF-8
}

TEST_F(Relatorio, SegundaEscritaMaisCurtaNaoDeixaRastro)
{
    estado_sintetico(9, 9);
    escrever();
    estado_sintetico(3, 3);
    estado.modo_saida = 0;
    const auto curto = escrever();
    EXPECT_EQ(curto.size(), 51u + 21u);
    EXPECT_EQ(curto.back().substr(0, 22), "Tempo de processamento");
}

class Linha_media : public Relatorio {
protected:
    std::vector<std::string> ler(const char* nome)
    {
        teste::No_diretorio no(area_.trabalho());
        Arquivo_saida x_meio("desl_x_meio.txt"), y_meio("desl_y_meio.txt");
        escrever_linhas_medias(x_meio, y_meio);
        concluir_juntos({&x_meio, &y_meio});
        return linhas_de(teste::ler(area_.arquivo(nome)));
    }

    // Número do nó de cada linha, pela coluna de u.
    std::vector<std::int32_t> nos(const char* nome)
    {
        std::vector<std::int32_t> lista;
        for (const std::string& linha : ler(nome)) {
            EXPECT_EQ(linha.size(), 75u);
            lista.push_back(static_cast<std::int32_t>(std::stod(linha.substr(25, 25)) / 100.0));
        }
        return lista;
    }
};

TEST_F(Linha_media, SegueAColunaEALinhaCentrais)
{
    estado_sintetico(5, 3);
    EXPECT_EQ(nos("desl_x_meio.txt"), (Lista{3, 8, 13}));
    EXPECT_EQ(nos("desl_y_meio.txt"), (Lista{6, 7, 8, 9, 10}));
    EXPECT_EQ(ler("desl_x_meio.txt")[2].substr(0, 25), campo_cientifico(0.5));
    EXPECT_EQ(ler("desl_y_meio.txt")[4].substr(0, 25), campo_cientifico(2.0));

    estado_sintetico(4, 4);
    EXPECT_EQ(nos("desl_x_meio.txt"), (Lista{2, 6, 10, 14}));
    EXPECT_EQ(nos("desl_y_meio.txt"), (Lista{5, 6, 7, 8}));
}

TEST_F(Linha_media, DeslocamentosNulosESobrescritaPorMalhaMenor)
{
    estado_sintetico(7, 7);
    ler("desl_x_meio.txt");
    estado_sintetico(3, 3);
    for (auto* campo : {&estado.u, &estado.v}) campo->assign(9, 0.0);
    const std::string zero = campo_cientifico(0.0);
    for (const char* nome : {"desl_x_meio.txt", "desl_y_meio.txt"}) {
        SCOPED_TRACE(nome);
        const auto linhas = ler(nome);
        ASSERT_EQ(linhas.size(), 3u);
        for (const std::string& linha : linhas) EXPECT_EQ(linha.substr(25), zero + zero);
    }
}

} // namespace
