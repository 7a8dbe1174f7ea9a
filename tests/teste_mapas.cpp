// O roteiro dos mapas (exemplo/mapas.gnu) no gnuplot de verdade, sobre o
// relatório que o programa grava para o exemplo.
#include "auxiliar.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;

const fs::path raiz = PLACA2D_RAIZ;
const char* const pngs[] = {"mapa_temperatura.png", "mapa_erro.png", "mapa_deslocamento.png", "convergencia.png"};

struct Saida {
    int status = -1;
    std::string erros;
};

// gnuplot sem terminal e sem tela gráfica, em `diretorio`.
Saida gnuplot(const fs::path& diretorio, const std::string& argumentos)
{
    const fs::path erros = diretorio / "gnuplot.erros";
    const std::string linha = "cd '" + diretorio.string() + "' && env -u DISPLAY -u WAYLAND_DISPLAY gnuplot " +
                              argumentos + " < /dev/null > /dev/null 2> '" + erros.string() + "'";
    const int bruto = std::system(linha.c_str());
    Saida s;
    s.status = WIFEXITED(bruto) ? WEXITSTATUS(bruto) : -1;
    s.erros = teste::ler(erros);
    fs::remove(erros);
    return s;
}

// Cores distintas de cada PNG (um pixel em 3 em cada direção, 16 níveis por
// canal), contadas pelo próprio gnuplot.
std::vector<int> cores(const fs::path& pasta)
{
    std::string roteiro = "array B[4096]\n"
                          "cor(r, g, b) = (B[1 + int(r / 16) * 256 + int(g / 16) * 16 + int(b / 16)] = 1, r)\n"
                          "set table '/dev/null'\n";
    for (const char* png : pngs) {
        roteiro += "do for [i = 1:4096] { B[i] = 0 }\n"
                   "plot '" + (pasta / png).string() + "' binary filetype=png every 3:3 using (cor($1, $2, $3)):2:3 with rgbimage\n"
                   "n = 0\n"
                   "do for [i = 1:4096] { n = n + B[i] }\n"
                   "print n\n";
    }
    teste::gravar(pasta / "cores.gnu", roteiro);
    const Saida s = gnuplot(pasta, "cores.gnu");
    std::istringstream numeros(s.erros);
    std::vector<int> n;
    for (int c; numeros >> c;) n.push_back(c);
    return n;
}

bool tem_gnuplot() { return std::system("command -v gnuplot > /dev/null 2>&1") == 0; }

#define EXIGIR_GNUPLOT()                                                                                 \
    do {                                                                                                 \
        if (!tem_gnuplot()) {                                                                            \
            if (std::getenv("CI") != nullptr) FAIL() << "gnuplot não está instalado no CI";             \
            GTEST_SKIP() << "gnuplot não está instalado";                                                \
        }                                                                                                \
    } while (0)

// O exemplo, rodado pelo programa; os PNGs saem na pasta do relatório, não na
// de onde o gnuplot roda, e cada um tem muito mais que umas poucas cores.
TEST(Mapas, ExemploDaQuatroPngsComCoresAoLadoDoRelatorio)
{
    EXIGIR_GNUPLOT();
    teste::Area area;
    fs::copy_file(raiz / "exemplo" / "entrada_geral.ent", area.arquivo("entrada_geral.ent"));
    ASSERT_EQ(teste::executar_programa(area).status, 0);
    const Saida s = gnuplot(area.trabalho().parent_path(),
                            "-e janela=0 -c '" + (raiz / "exemplo" / "mapas.gnu").string() + "' trabalho/relatorio.txt");
    ASSERT_EQ(s.status, 0) << s.erros;
    EXPECT_EQ(s.erros, "");
    for (const char* png : pngs) EXPECT_TRUE(fs::exists(area.arquivo(png))) << png;
    const std::vector<int> n = cores(area.trabalho());
    ASSERT_EQ(n.size(), 4u) << "cores: " << n.size();
    for (std::size_t i = 0; i < n.size(); ++i) EXPECT_GT(n[i], 20) << pngs[i];
}

// Relatório sem todos os nós: uma mensagem em português e nenhum PNG.
TEST(Mapas, OutroModoSaidaUmaMensagemENenhumPng)
{
    EXIGIR_GNUPLOT();
    const struct {
        const char* modo;
        const char* trecho;
    } casos[] = {
        {"2", "tem só o nó central (modo_saida = 2)"},
        {"0", "não tem a listagem dos nós (modo_saida diferente de 1 e 2)"},
    };
    for (const auto& caso : casos) {
        teste::Area area;
        teste::Entrada entrada;
        entrada.modo_saida = caso.modo;
        area.gravar_entrada(entrada.texto());
        ASSERT_EQ(teste::executar_programa(area).status, 0);
        const Saida s = gnuplot(area.trabalho(), "-c '" + (raiz / "exemplo" / "mapas.gnu").string() + "' relatorio.txt");
        EXPECT_EQ(s.status, 1) << caso.modo;
        EXPECT_EQ(s.erros, "mapas.gnu: o relatório \"relatorio.txt\" " + std::string(caso.trecho) +
                               "; os mapas precisam de modo_saida = 1 (todos os nós): mude modo_saida em "
                               "entrada_geral.ent e rode o placa2d de novo\n");
        for (const char* png : pngs) EXPECT_FALSE(fs::exists(area.arquivo(png))) << png;
    }
}

} // namespace
