// O kit do usuário: o exemplo com os roteiros do gnuplot e os substitutos de
// notepad e wgnuplot do Linux (ferramentas/linux), como o placa2d-rodar os usa, e o resumo dos testes.
#include "auxiliar.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path raiz = PLACA2D_RAIZ;
const fs::path ferramentas = raiz / "ferramentas" / "linux";

struct Saida {
    int status = -1;
    std::string saida;
    std::string erros;
};

// Roda `comando` (sh) em `diretorio`, sem terminal e sem tela gráfica. As
// saídas vão para fora do diretório, que fica só com o que o comando gravou.
Saida rodar(const fs::path& diretorio, const std::string& comando)
{
    const std::string prefixo = "placa2d-kit-" + std::to_string(::getpid());
    const fs::path saida = fs::temp_directory_path() / (prefixo + ".saida");
    const fs::path erros = fs::temp_directory_path() / (prefixo + ".erros");
    const std::string linha = "cd '" + diretorio.string() + "' && env -u DISPLAY -u WAYLAND_DISPLAY " + comando +
                              " < /dev/null > '" + saida.string() + "' 2> '" + erros.string() + "'";
    const int bruto = std::system(linha.c_str());
    Saida s;
    s.status = WIFEXITED(bruto) ? WEXITSTATUS(bruto) : -1;
    s.saida = teste::ler(saida);
    s.erros = teste::ler(erros);
    fs::remove(saida);
    fs::remove(erros);
    return s;
}

// Diretório de trabalho com o exemplo: entrada e os três roteiros.
class Kit : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* nome : {"entrada_geral.ent", "desl_x_meio.gnu", "desl_y_meio.gnu", "mapas.gnu"}) {
            fs::copy_file(raiz / "exemplo" / nome, trabalho() / nome);
        }
    }

    const fs::path& trabalho() const { return area_.trabalho(); }

    // placa2d-rodar na pasta de trabalho, com este executável e o PATH dado.
    Saida rodar_na_pasta(const std::string& path)
    {
        return rodar(trabalho(), "PATH='" + path + "' PLACA2D='" + PLACA2D_EXECUTAVEL + "' '" +
                                     (raiz / "ferramentas" / "placa2d-rodar").string() + "' .");
    }

    // PATH com os comandos do sistema, menos o gnuplot.
    std::string path_sem_gnuplot()
    {
        const fs::path bin = area_.bin() / "sem-gnuplot";
        fs::create_directories(bin);
        for (const char* dir : {"/usr/bin", "/bin"}) {
            for (const auto& e : fs::directory_iterator(dir)) {
                const std::string nome = e.path().filename().string();
                std::error_code repetido;
                if (nome.rfind("gnuplot", 0) != 0) fs::create_symlink(e.path(), bin / nome, repetido);
            }
        }
        return bin.string();
    }

    static bool eh_png_nao_vazio(const fs::path& arquivo)
    {
        const std::string conteudo = teste::ler(arquivo);
        return conteudo.size() > 1000 && conteudo.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0;
    }

    // Cores distintas de cada PNG (um pixel em 3 em cada direção, 16 níveis
    // por canal), contadas pelo próprio gnuplot.
    std::vector<int> cores(const std::vector<fs::path>& pngs)
    {
        std::string roteiro = "array B[4096]\n"
                              "cor(r, g, b) = (B[1 + int(r / 16) * 256 + int(g / 16) * 16 + int(b / 16)] = 1, r)\n"
                              "set table '/dev/null'\nset print '-'\n";
        for (const fs::path& png : pngs) {
            roteiro += "do for [i = 1:4096] { B[i] = 0 }\nplot '" + png.string() +
                       "' binary filetype=png every 3:3 using (cor($1, $2, $3)):2:3 with rgbimage\n"
                       "n = 0\ndo for [i = 1:4096] { n = n + B[i] }\nprint n\n";
        }
        teste::gravar(area_.bin() / "cores.gnu", roteiro);
        std::istringstream numeros(rodar(trabalho(), "gnuplot '" + (area_.bin() / "cores.gnu").string() + "'").saida);
        std::vector<int> n;
        for (int c; numeros >> c;) n.push_back(c);
        return n;
    }

    bool algum_png() const
    {
        for (const auto& e : fs::directory_iterator(trabalho())) {
            if (e.path().extension() == ".png") return true;
        }
        return false;
    }

private:
    teste::Area area_;
};

// Os PNGs do exemplo vêm da execução, nunca do repositório.
TEST(KitRepositorio, ExemploSemPngGuardado)
{
    EXIGIR_COMANDO("git");
    const Saida r = rodar(raiz, "git ls-files exemplo");
    if (r.status != 0) GTEST_SKIP() << "não é um clone do git";
    EXPECT_NE(r.saida.find("exemplo/entrada_geral.ent"), std::string::npos);
    EXPECT_EQ(r.saida.find(".png"), std::string::npos) << r.saida;
}

const std::vector<std::string> mapas = {"mapa_temperatura.png", "mapa_erro.png", "mapa_deslocamento.png",
                                        "convergencia.png"};

TEST_F(Kit, ExecucaoGravaOsPngsEListaSoOQueGravou)
{
    EXIGIR_COMANDO("gnuplot");
    // Um arquivo que já estava na pasta não entra na lista.
    teste::gravar(trabalho() / "notas.txt", "minhas notas\n");
    ASSERT_FALSE(algum_png());
    const Saida r = rodar_na_pasta(ferramentas.string() + ":" + std::getenv("PATH"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.erros, "");
    EXPECT_TRUE(eh_png_nao_vazio(trabalho() / "desl_x_meio.png"));
    EXPECT_TRUE(eh_png_nao_vazio(trabalho() / "desl_y_meio.png"));
    // Os mapas do exemplo: nenhum em branco, nem com umas poucas cores.
    std::vector<fs::path> pngs;
    for (const std::string& m : mapas) pngs.push_back(trabalho() / m);
    const std::vector<int> n = cores(pngs);
    ASSERT_EQ(n.size(), mapas.size());
    for (std::size_t i = 0; i < n.size(); ++i) EXPECT_GT(n[i], 20) << mapas[i];
    EXPECT_EQ(r.saida, "Para ler o relatório no terminal: iconv -f cp1252 -t utf-8 './relatorio.txt' | less\n"
                       "Gravados agora em ./: convergencia.png, desl_x_meio.png, desl_x_meio.txt, desl_y_meio.png, "
                       "desl_y_meio.txt, mapa_deslocamento.png, mapa_erro.png, mapa_temperatura.png, relatorio.txt\n");
}

TEST_F(Kit, SemGnuplotNenhumPngEUmaLinhaSoDizendoComoTelos)
{
    // PNG de uma execução anterior: com os dados novos ele seria um gráfico velho.
    teste::gravar(trabalho() / "desl_x_meio.png", "antigo");
    const Saida r = rodar_na_pasta(ferramentas.string() + ":" + path_sem_gnuplot());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.erros, "");
    EXPECT_FALSE(algum_png());
    EXPECT_EQ(r.saida, "Para ler o relatório no terminal: iconv -f cp1252 -t utf-8 './relatorio.txt' | less\n"
                       "gráficos não gerados: falta o gnuplot; ./executar.sh o instala (ou: sudo apt-get install "
                       "gnuplot), depois rode de novo\n"
                       "Gravados agora em ./: desl_x_meio.txt, desl_y_meio.txt, relatorio.txt\n");
}

TEST_F(Kit, ExecucaoQueFalhaDevolveOStatusENaoApagaNada)
{
    teste::gravar(trabalho() / "desl_x_meio.png", "anterior");
    teste::Entrada entrada;
    entrada.Nx = "2";
    teste::gravar(trabalho() / "entrada_geral.ent", entrada.texto());
    const Saida r = rodar_na_pasta(ferramentas.string() + ":" + std::getenv("PATH"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.erros.find("Nx = 2"), std::string::npos) << r.erros;
    EXPECT_EQ(r.saida, "Nada gravado em ./ por esta execução (status 1).\n");
    EXPECT_EQ(teste::ler(trabalho() / "desl_x_meio.png"), "anterior");
}

TEST_F(Kit, RoteirosLeemOsCamposDoProgramaInclusiveExpoenteDeTresAlgarismos)
{
    EXIGIR_COMANDO("gnuplot");
    // Malha par e pequena; 4.000000000000000-101 é 4e-101, não 4. O gráfico
    // é em micrômetros.
    teste::gravar(trabalho() / "desl_x_meio.txt",
                  "    0.000000000000000E+00    0.000000000000000E+00    0.000000000000000E+00\r\n"
                  "    3.333333333333333E-01   -2.510466356176975E-13   -1.109712458161457E-06\r\n"
                  "    6.666666666666666E-01    4.000000000000000-101    2.500000000000000E-07\r\n"
                  "    1.000000000000000E+00    0.000000000000000E+00    0.000000000000000E+00\r\n");
    fs::copy_file(trabalho() / "desl_x_meio.txt", trabalho() / "desl_y_meio.txt");
    for (const std::string roteiro : {"desl_x_meio", "desl_y_meio"}) {
        const Saida r = rodar(trabalho(), "gnuplot -e janela=0 " + roteiro +
                                              ".gnu -e 'set print \"-\"; print sprintf(\"%.4g %.4g %.4g\", GPVAL_DATA_X_MAX, "
                                              "GPVAL_DATA_Y_MIN, GPVAL_DATA_Y_MAX)'");
        EXPECT_EQ(r.status, 0) << roteiro << ": " << r.erros;
        EXPECT_EQ(r.erros, "") << roteiro;
        EXPECT_EQ(r.saida, "1 -1.11 0.25\n") << roteiro;
        EXPECT_TRUE(eh_png_nao_vazio(trabalho() / (roteiro + ".png"))) << roteiro;
    }
}

// Os mapas vão para a pasta do relatório; sem todos os nós, uma mensagem e nenhum PNG.
TEST_F(Kit, MapasAoLadoDoRelatorioOuUmaMensagemParaOutroModoSaida)
{
    EXIGIR_COMANDO("gnuplot");
    const std::string refazer = "; os mapas precisam de modo_saida = 1 (todos os nós): mude modo_saida em "
                                "entrada_geral.ent e rode o placa2d de novo\n";
    const struct {
        const char* modo;
        std::string erros;
    } casos[] = {
        {"1", ""},
        {"2", "mapas.gnu: o relatório \"sub/rel.txt\" tem só o nó central (modo_saida = 2)" + refazer},
        {"0", "mapas.gnu: o relatório \"sub/rel.txt\" não tem a listagem dos nós (modo_saida diferente de 1 e 2)" +
                  refazer},
    };
    fs::create_directory(trabalho() / "sub");
    for (const auto& caso : casos) {
        teste::Entrada entrada;
        entrada.nome_relatorio = "'sub/rel.txt'";
        entrada.modo_saida = caso.modo;
        teste::gravar(trabalho() / "entrada_geral.ent", entrada.texto());
        ASSERT_EQ(rodar(trabalho(), std::string("'") + PLACA2D_EXECUTAVEL + "'").status, 0) << caso.modo;
        const Saida r = rodar(trabalho(), "gnuplot -e janela=0 -c mapas.gnu sub/rel.txt");
        EXPECT_EQ(r.status, caso.erros.empty() ? 0 : 1) << caso.modo;
        EXPECT_EQ(r.erros, caso.erros) << caso.modo;
        for (const std::string& m : mapas) {
            EXPECT_EQ(eh_png_nao_vazio(trabalho() / "sub" / m), caso.erros.empty()) << caso.modo << m;
            fs::remove(trabalho() / "sub" / m);
        }
        EXPECT_FALSE(algum_png()) << caso.modo;
    }
}

TEST_F(Kit, CurvaSobreOZeroNaoFicaNaMoldura)
{
    EXIGIR_COMANDO("gnuplot");
    // u = 0 em todos os nós e v <= 0, como na linha média vertical do exemplo.
    teste::gravar(trabalho() / "desl_x_meio.txt",
                  "    0.000000000000000E+00    0.000000000000000E+00    0.000000000000000E+00\r\n"
                  "    5.000000000000000E-01    0.000000000000000E+00   -1.000000000000000E-06\r\n"
                  "    1.000000000000000E+00    0.000000000000000E+00    0.000000000000000E+00\r\n");
    const Saida r = rodar(trabalho(), "gnuplot -e janela=0 desl_x_meio.gnu -e 'set print \"-\"; print (GPVAL_Y_MAX > 0 "
                                      "&& GPVAL_Y_MIN < -1)'");
    EXPECT_EQ(r.saida, "1\n") << r.erros;
}

// O resumo do fim dos testes: passos pulados aparecem e, com CI=true, falham.
TEST(KitResumo, PuladoApareceEFalhaSoNoCi)
{
    teste::Area area;
    struct Caso {
        const char* linhas;
        const char* ci;
        int status;
        const char* resultado;
    } casos[] = {
        {"ok\ta\nnota\tb\n", "true", 0, "Resultado: passou, nada pulado.\n"},
        {"ok\ta\npulado\tb\n", "", 0, "Resultado: passou, com 1 passo(s) pulado(s) (acima).\n"},
        {"ok\ta\npulado\tb\n", "true", 1,
         "Resultado: FALHOU: 0 passo(s) falhou(aram), 1 pulado(s) (com CI=true, pular é falhar).\n"},
        {"falhou\ta\nok\tb\n", "", 1, "Resultado: FALHOU: 1 passo(s) falhou(aram), 0 pulado(s).\n"},
    };
    for (const Caso& c : casos) {
        teste::gravar(area.arquivo("resumo"), c.linhas);
        const Saida r = rodar(area.trabalho(), std::string("CI=") + c.ci + " '" +
                                                   (raiz / "ferramentas" / "resumo.sh").string() + "' resumo");
        EXPECT_EQ(r.status, c.status) << c.linhas << c.ci;
        const std::string ultima = r.saida.substr(r.saida.rfind('\n', r.saida.size() - 2) + 1);
        EXPECT_EQ(ultima, c.resultado) << c.linhas << c.ci;
        if (std::string(c.linhas).find("pulado") != std::string::npos) {
            EXPECT_NE(r.saida.find("  pulado  b\n"), std::string::npos) << r.saida;
        }
    }
}

TEST_F(Kit, NotepadSoAbreOEditorQuandoHaTerminal)
{
    // Editor falso: acrescenta uma linha ao arquivo recebido.
    const fs::path editor = trabalho() / "editor";
    teste::gravar(editor, "#!/bin/sh\necho editado >> \"$1\"\n");
    fs::permissions(editor, fs::perms::owner_all);
    teste::gravar(trabalho() / "nota.txt", "original\n");
    std::string notepad = "'";
    notepad += (ferramentas / "notepad").string();
    notepad += "' nota.txt";

    // Sem terminal: retorna na hora, sem abrir nada.
    Saida r = rodar(trabalho(), "EDITOR='" + editor.string() + "' " + notepad);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(teste::ler(trabalho() / "nota.txt"), "original\n");

    // Com terminal (pseudoterminal do `script`): abre $VISUAL, que prevalece sobre $EDITOR.
    EXIGIR_COMANDO("script");
    r = rodar(trabalho(), "VISUAL='" + editor.string() + "' EDITOR=false script -qec \"" + notepad + "\" /dev/null");
    EXPECT_EQ(r.status, 0) << r.erros;
    EXPECT_EQ(teste::ler(trabalho() / "nota.txt"), "original\neditado\n");

    // Com terminal e sem editor definido: não faz nada.
    r = rodar(trabalho(), "env -u VISUAL -u EDITOR script -qec \"" + notepad + "\" /dev/null");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(teste::ler(trabalho() / "nota.txt"), "original\neditado\n");
}

} // namespace
