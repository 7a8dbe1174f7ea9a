// O kit do usuário: o exemplo com os roteiros do gnuplot e os substitutos de
// notepad e wgnuplot do Linux (ferramentas/linux), como `make executar` os usa.
#include "auxiliar.hpp"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

namespace fs = std::filesystem;

const fs::path raiz = PLACA2D_RAIZ;
const fs::path ferramentas = raiz / "ferramentas" / "linux";

bool no_ci() { return std::getenv("CI") != nullptr && std::string(std::getenv("CI")) == "true"; }

bool existe_comando(const std::string& nome) { return std::system(("command -v " + nome + " >/dev/null 2>&1").c_str()) == 0; }

// Sem a ferramenta o teste é pulado, menos no CI, que a instala.
#define EXIGIR_COMANDO(nome)                                                                             \
    do {                                                                                                 \
        if (!existe_comando(nome)) {                                                                     \
            if (no_ci()) FAIL() << nome << " não está instalado no CI";                                  \
            GTEST_SKIP() << nome << " não está instalado";                                               \
        }                                                                                                \
    } while (0)

struct Saida {
    int status = -1;
    std::string saida;
    std::string erros;
};

// Roda `comando` (sh) em `diretorio`, sem terminal e sem tela gráfica.
Saida rodar(const fs::path& diretorio, const std::string& comando)
{
    const fs::path saida = diretorio / ".saida";
    const fs::path erros = diretorio / ".erros";
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

// Diretório de trabalho com o exemplo: entrada e os dois roteiros.
class Kit : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* nome : {"entrada_geral.ent", "desl_x_meio.gnu", "desl_y_meio.gnu"}) {
            fs::copy_file(raiz / "exemplo" / nome, trabalho() / nome);
        }
    }

    const fs::path& trabalho() const { return area_.trabalho(); }

    Saida rodar_programa(const std::string& path)
    {
        return rodar(trabalho(), "PATH='" + path + "' '" + PLACA2D_EXECUTAVEL + "'");
    }

    static bool eh_png_nao_vazio(const fs::path& arquivo)
    {
        const std::string conteudo = teste::ler(arquivo);
        return conteudo.size() > 1000 && conteudo.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0;
    }

private:
    teste::Area area_;
};

TEST_F(Kit, ExemploDeixaRelatorioEDoisPngSemNenhumaMensagem)
{
    EXIGIR_COMANDO("gnuplot");
    const Saida r = rodar_programa(ferramentas.string() + ":" + std::getenv("PATH"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.saida, "");
    EXPECT_EQ(r.erros, "");
    EXPECT_GT(fs::file_size(trabalho() / "relatorio.txt"), 0u);
    EXPECT_TRUE(eh_png_nao_vazio(trabalho() / "desl_x_meio.png"));
    EXPECT_TRUE(eh_png_nao_vazio(trabalho() / "desl_y_meio.png"));
}

TEST_F(Kit, RoteirosLeemOsCamposDoProgramaInclusiveExpoenteDeTresAlgarismos)
{
    EXIGIR_COMANDO("gnuplot");
    // Malha par e pequena; 4.000000000000000-101 é 4e-101, não 4.
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
        EXPECT_EQ(r.saida, "1 -1.11e-06 2.5e-07\n") << roteiro;
        EXPECT_TRUE(eh_png_nao_vazio(trabalho() / (roteiro + ".png"))) << roteiro;
    }
}

TEST_F(Kit, SemGnuplotAExecucaoTerminaNormalmenteComUmAvisoPorGrafico)
{
    // Só os substitutos no PATH: não há gnuplot.
    const Saida r = rodar_programa(ferramentas.string());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.saida, "");
    const std::string aviso =
        "wgnuplot: gnuplot não encontrado; instale-o (Debian/Ubuntu: sudo apt-get install gnuplot, ou gnuplot-nox "
        "sem janela)\n";
    EXPECT_EQ(r.erros, aviso + aviso);
    EXPECT_TRUE(fs::exists(trabalho() / "relatorio.txt"));
    EXPECT_TRUE(fs::exists(trabalho() / "desl_x_meio.txt"));
    EXPECT_FALSE(fs::exists(trabalho() / "desl_x_meio.png"));
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
