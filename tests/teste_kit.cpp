// O kit do usuário: o exemplo com os roteiros do gnuplot e os substitutos de
// notepad e wgnuplot do Linux (ferramentas/linux), como o placa2d-rodar os usa, e o resumo dos testes.
#include "entrada_saida/arquivos.hpp"
#include "auxiliar.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <set>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path raiz = PLACA2D_RAIZ;
const fs::path ferramentas = raiz / "ferramentas" / "linux";
// Os roteiros como o kit os roda: pelo substituto do wgnuplot, que sem
// terminal passa janela=0 e, sem locale UTF-8, usa o C.UTF-8.
const std::string wgnuplot = "'" + (ferramentas / "wgnuplot").string() + "' ";

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
    Saida rodar_na_pasta(const std::string& path, const std::string& opcoes = "")
    {
        return rodar(trabalho(), "PATH='" + path + "' PLACA2D='" + PLACA2D_EXECUTAVEL + "' '" +
                                     (raiz / "ferramentas" / "placa2d-rodar").string() + "' " + opcoes + " .");
    }

    // PATH com os comandos do sistema, menos o gnuplot e os de `fora`.
    std::string path_sem_gnuplot(const std::set<std::string>& fora = {})
    {
        const fs::path bin = area_.bin() / "sem-gnuplot";
        fs::create_directories(bin);
        for (const char* dir : {"/usr/bin", "/bin"}) {
            for (const auto& e : fs::directory_iterator(dir)) {
                const std::string nome = e.path().filename().string();
                std::error_code repetido;
                if (nome.rfind("gnuplot", 0) != 0 && !fora.count(nome)) fs::create_symlink(e.path(), bin / nome, repetido);
            }
        }
        return bin.string();
    }

    fs::path bin() const { return area_.bin(); }

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

// Sem locale (um Debian novo, su - aluno): nada em inglês do gnuplot.
TEST_F(Kit, ExecucaoGravaOsPngsEListaSoOQueGravou)
{
    EXIGIR_COMANDO("gnuplot");
    // Um arquivo que já estava na pasta não entra na lista.
    teste::gravar(trabalho() / "notas.txt", "minhas notas\n");
    ASSERT_FALSE(algum_png());
    const Saida r = rodar_na_pasta(ferramentas.string() + ":" + std::getenv("PATH") + "' LANG= LC_ALL= LC_CTYPE='");
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

// O nome do relatório como o usuário o escreveu: com brancos, curingas, fora
// da pasta do caso, absoluto ou em Windows-1252. A lista do fim traz os nomes
// como estão; os mapas são procurados ao lado do relatório; fora da pasta
// nada é apagado; a dica de leitura é um caminho que existe. "@" é a pasta
// acima da do caso (fora dela).
TEST_F(Kit, NomeDoRelatorioComoEscritoNaListaNosMapasENaDica)
{
    EXIGIR_COMANDO("gnuplot");
    const std::string fora = trabalho().parent_path().string();
    const std::string todos = "convergencia.png, desl_x_meio.png, desl_x_meio.txt, desl_y_meio.png, desl_y_meio.txt, ";
    const std::string mapas_de = "mapa_deslocamento.png, mapa_erro.png, mapa_temperatura.png";
    const struct {
        const char* nome;
        std::string antes;   // arquivo que já existia (em @, fora da pasta, quando começa com @)
        const char* modo;
        std::string saida;
        bool antes_fica;     // o arquivo de antes continua, intacto
    } casos[] = {
        {"'meu relatorio.txt'", "", "1",
         "Para ler o relatório no terminal: iconv -f cp1252 -t utf-8 './meu relatorio.txt' | less\n"
         "Gravados agora em ./: " + todos + mapas_de + ", meu relatorio.txt\n", false},
        {"'r*.txt'", "rx.txt", "1",
         "Para ler o relatório no terminal: iconv -f cp1252 -t utf-8 './r*.txt' | less\n"
         "Gravados agora em ./: " + todos + mapas_de + ", r*.txt\n", true},
        {"'d''água.txt'", "", "1",
         "Para ler o relatório no terminal: iconv -f cp1252 -t utf-8 './d'\\''água.txt' | less\n"
         "Gravados agora em ./: convergencia.png, d'água.txt, desl_x_meio.png, desl_x_meio.txt, desl_y_meio.png, "
         "desl_y_meio.txt, " + mapas_de + "\n", false},
        {"'../rel.txt'", "@/mapa_erro.png", "1",
         "Para ler o relatório no terminal: iconv -f cp1252 -t utf-8 './../rel.txt' | less\n"
         "Gravados agora em ./: ../convergencia.png, ../mapa_deslocamento.png, ../mapa_erro.png, "
         "../mapa_temperatura.png, ../rel.txt, desl_x_meio.png, desl_x_meio.txt, desl_y_meio.png, desl_y_meio.txt\n",
         false},
        {"'../rel.txt'", "@/mapa_erro.png", "2",
         "Para ler o relatório no terminal: iconv -f cp1252 -t utf-8 './../rel.txt' | less\n"
         "gráficos não gerados: o gnuplot falhou ou recusou o relatório (mensagem acima); fora de ./ nada é "
         "apagado, e estes são de uma execução anterior: ../mapa_erro.png\n"
         "Gravados agora em ./: ../rel.txt, desl_x_meio.png, desl_x_meio.txt, desl_y_meio.png, desl_y_meio.txt\n",
         true},
        {"'@/abs.txt'", "", "1",
         "Para ler o relatório no terminal: iconv -f cp1252 -t utf-8 '@/abs.txt' | less\n"
         "Gravados agora em ./: @/abs.txt, @/convergencia.png, @/mapa_deslocamento.png, @/mapa_erro.png, "
         "@/mapa_temperatura.png, desl_x_meio.png, desl_x_meio.txt, desl_y_meio.png, desl_y_meio.txt\n", false},
        {"'relat\xf3rio.txt'", "", "1",
         "Para ler o relatório no terminal: iconv -f cp1252 -t utf-8 './relat\xf3rio.txt' | less\n"
         "Gravados agora em ./: " + todos + mapas_de + ", relat\xf3rio.txt\n", false},
    };
    const auto trocar = [&](std::string t) {
        for (std::size_t i; (i = t.find('@')) != std::string::npos;) t.replace(i, 1, fora);
        return t;
    };
    for (const auto& caso : casos) {
        SCOPED_TRACE(caso.nome + std::string(" modo_saida ") + caso.modo);
        teste::Entrada entrada;
        entrada.nome_relatorio = trocar(caso.nome);
        entrada.modo_saida = caso.modo;
        teste::gravar(trabalho() / "entrada_geral.ent", entrada.texto());
        const fs::path antes = caso.antes.empty()      ? fs::path()
                               : caso.antes[0] == '@' ? fs::path(trocar(caso.antes))
                                                      : trabalho() / caso.antes;
        if (!antes.empty()) teste::gravar(antes, "de antes");
        const Saida r = rodar_na_pasta(std::getenv("PATH"));
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.erros.find("binary"), std::string::npos) << r.erros;
        EXPECT_EQ(r.saida, trocar(caso.saida));
        if (!antes.empty()) {
            EXPECT_EQ(fs::exists(antes) && teste::ler(antes) == "de antes", caso.antes_fica);
        }
        // O próximo caso começa sem as saídas deste.
        for (const fs::path& dir : {trabalho(), trabalho().parent_path()}) {
            for (const auto& e : fs::directory_iterator(dir)) {
                const std::string n = e.path().filename().string();
                if (e.is_regular_file() && n != "entrada_geral.ent" && n.find(".gnu") == std::string::npos) {
                    fs::remove(e.path());
                }
            }
        }
    }
}

// Um relatório grande leva tempo no gnuplot: a linha do desenho aparece antes.
TEST_F(Kit, RelatorioGrandeDizQueOsMapasEstaoSendoDesenhados)
{
    teste::Entrada entrada;
    entrada.Nx = entrada.Ny = "101";
    teste::gravar(trabalho() / "entrada_geral.ent", entrada.texto());
    const Saida r = rodar_na_pasta(ferramentas.string() + ":" + path_sem_gnuplot());
    EXPECT_EQ(r.status, 0) << r.erros;
    EXPECT_EQ(r.saida.rfind("desenhando os mapas de ./relatorio.txt (2 MB)…\n", 0), 0u) << r.saida;
}

// EDITOR com um programa que não existe: uma linha, uma vez, e a execução
// segue sem editar.
TEST_F(Kit, EditorQueNaoExisteUmaLinhaESegueSemEditar)
{
    EXIGIR_COMANDO("script");
    const Saida r = rodar(trabalho(), "env -u VISUAL EDITOR=editor-que-nao-existe script -qec \"PATH='" +
                                          path_sem_gnuplot({"nano", "vim", "vi"}) + "' PLACA2D='" + PLACA2D_EXECUTAVEL +
                                          "' '" + (raiz / "ferramentas" / "placa2d-rodar").string() +
                                          "' .\" /dev/null");
    EXPECT_EQ(r.status, 0) << r.saida;
    const std::string linha = "notepad: o editor \"editor-que-nao-existe\" (EDITOR) não existe nesta máquina; a "
                              "execução segue sem editar; instale um (por exemplo: sudo apt-get install nano) e rode "
                              "de novo com EDITOR=nano";
    const std::size_t i = r.saida.find(linha);
    EXPECT_NE(i, std::string::npos) << r.saida;
    EXPECT_EQ(r.saida.find(linha, i + 1), std::string::npos) << r.saida;
    EXPECT_TRUE(fs::exists(trabalho() / "relatorio.txt"));
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
                       "gráficos não gerados: falta o gnuplot; " + (raiz / "executar.sh").string() +
                       " o instala (ou: sudo apt-get install gnuplot), depois rode de novo\n"
                       "Gravados agora em ./: desl_x_meio.txt, desl_y_meio.txt, relatorio.txt\n");
}

// --campos chega ao programa, e os dois arquivos vêm na lista, com como abri-los.
TEST_F(Kit, CamposNaListaComComoAbrir)
{
    const Saida r = rodar_na_pasta(ferramentas.string() + ":" + path_sem_gnuplot(), "--campos");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.saida.substr(r.saida.find("\nPara abrir") + 1),
              "Para abrir os campos: './campos.vti' no ParaView (File > Open), './campos.csv' na planilha ou no pandas\n"
              "Gravados agora em ./: campos.csv, campos.vti, desl_x_meio.txt, desl_y_meio.txt, relatorio.txt\n");
}

// Os avisos ficam no terminal, no meio da execução, e voltam no fim do resumo.
TEST_F(Kit, AvisosDoProgramaRepetidosNoFimDoResumo)
{
    teste::Entrada entrada;
    entrada.Lx = "2.0";
    entrada.itmax = "3";
    teste::gravar(trabalho() / "entrada_geral.ent", entrada.texto());
    const Saida r = rodar_na_pasta(ferramentas.string() + ":" + path_sem_gnuplot());
    EXPECT_EQ(r.status, 0);
    const std::string avisos = "placa2d: aviso: dx = 0.5 e dy = 0.25 diferem: ";
    const std::size_t p = r.saida.find("Avisos desta execução (o resultado pode não ser a resposta):\n" + avisos);
    ASSERT_NE(p, std::string::npos) << r.saida;
    const std::string repetidos = r.saida.substr(r.saida.find('\n', p) + 1);
    EXPECT_EQ(repetidos, r.erros);
    EXPECT_NE(repetidos.find("\nplaca2d: aviso: o problema térmico não convergiu: depois de itmax = 3 iterações"),
              std::string::npos) << repetidos;
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
        const Saida r = rodar(trabalho(), wgnuplot + roteiro +
                                              ".gnu -e 'set print \"-\"; print sprintf(\"%.4g %.4g %.4g\", GPVAL_DATA_X_MAX, "
                                              "GPVAL_DATA_Y_MIN, GPVAL_DATA_Y_MAX)'");
        EXPECT_EQ(r.status, 0) << roteiro << ": " << r.erros;
        EXPECT_EQ(r.erros, "") << roteiro;
        EXPECT_EQ(r.saida, "1 -1.11 0.25\n") << roteiro;
        EXPECT_TRUE(eh_png_nao_vazio(trabalho() / (roteiro + ".png"))) << roteiro;
    }
}

// Os mapas vão para a pasta do relatório; sem todos os nós, ou cortado, uma mensagem e nenhum PNG.
TEST_F(Kit, MapasAoLadoDoRelatorioOuUmaMensagemParaOutroModoSaida)
{
    EXIGIR_COMANDO("gnuplot");
    const std::string refazer = "; os mapas precisam de modo_saida = 1 (todos os nós): mude modo_saida em "
                                "entrada_geral.ent e rode o placa2d de novo\n";
    const struct {
        const char* modo;
        std::string erros;
        bool cortado = false; // termina no meio da história
    } casos[] = {
        {"1", ""},
        {"2", "mapas.gnu: o relatório \"sub/rel.txt\" tem só o nó central (modo_saida = 2)" + refazer},
        {"0", "mapas.gnu: o relatório \"sub/rel.txt\" não tem a listagem dos nós (modo_saida diferente de 1 e 2)" +
                  refazer},
        {"1", "mapas.gnu: o relatório \"sub/rel.txt\" está incompleto: termina antes da linha do tempo de "
              "processamento, a última; rode o placa2d de novo para ter o relatório inteiro\n", true},
    };
    fs::create_directory(trabalho() / "sub");
    for (const auto& caso : casos) {
        teste::Entrada entrada;
        entrada.nome_relatorio = "'sub/rel.txt'";
        entrada.modo_saida = caso.modo;
        teste::gravar(trabalho() / "entrada_geral.ent", entrada.texto());
        ASSERT_EQ(rodar(trabalho(), std::string("'") + PLACA2D_EXECUTAVEL + "'").status, 0) << caso.modo;
        if (caso.cortado) {
            const std::string relatorio = teste::ler(trabalho() / "sub" / "rel.txt");
            teste::gravar(trabalho() / "sub" / "rel.txt", relatorio.substr(0, relatorio.find("         6    ")));
        }
        const Saida r = rodar(trabalho(), wgnuplot + "-c mapas.gnu sub/rel.txt");
        EXPECT_EQ(r.status, caso.erros.empty() ? 0 : 1) << caso.modo;
        EXPECT_EQ(r.erros, caso.erros) << caso.modo;
        for (const std::string& m : mapas) {
            EXPECT_EQ(eh_png_nao_vazio(trabalho() / "sub" / m), caso.erros.empty()) << caso.modo << m;
            fs::remove(trabalho() / "sub" / m);
        }
        EXPECT_FALSE(algum_png()) << caso.modo;
    }
}

// Cada mapa diz a execução que o fez (placa, malha, it, tol); a linha de tol
// fica dentro da moldura da convergência, e não sobre ela, mesmo quando a
// execução parou antes dela; a figura tem a forma da placa.
TEST_F(Kit, MapasDizemAExecucaoETemAFormaDaPlaca)
{
    EXIGIR_COMANDO("gnuplot");
    const struct {
        const char *Lx, *Ly, *Nx, *Ny, *itmax;
        const char* subtitulo;
        double menor, maior; // largura / altura de mapa_temperatura.png
    } casos[] = {
        {"1.0", "1.0", "5", "5", "3", "placa 1 × 1 m, malha 5 × 5, it = 3, tol = 1e-12: parou antes de tol", 1.0, 1.3},
        {"2.0", "1.0", "9", "5", "100", "placa 2 × 1 m, malha 9 × 5, it = ", 1.6, 2.4},
        {"1.0", "2.0", "5", "9", "100", "placa 1 × 2 m, malha 5 × 9, it = ", 0.5, 0.8},
    };
    teste::gravar(trabalho() / "conferir.gnu", "call 'mapas.gnu' 'relatorio.txt'\nset print '-'\n"
                                                "print (GPVAL_Y_MIN < 1e-12 / 2 && 1e-12 < GPVAL_Y_MAX)\n"
                                                "save set 'estado.gnu'\n");
    for (const auto& caso : casos) {
        SCOPED_TRACE(std::string(caso.Lx) + " x " + caso.Ly);
        teste::Entrada entrada;
        entrada.Lx = caso.Lx;
        entrada.Ly = caso.Ly;
        entrada.Nx = caso.Nx;
        entrada.Ny = caso.Ny;
        entrada.itmax = caso.itmax;
        entrada.tol = "1.0E-12";
        teste::gravar(trabalho() / "entrada_geral.ent", entrada.texto());
        ASSERT_EQ(rodar(trabalho(), std::string("'") + PLACA2D_EXECUTAVEL + "'").status, 0);
        const Saida r = rodar(trabalho(), wgnuplot + "conferir.gnu");
        EXPECT_EQ(r.saida, "1\n") << r.erros;
        EXPECT_NE(teste::ler(trabalho() / "estado.gnu").find(caso.subtitulo), std::string::npos);
        const std::string png = teste::ler(trabalho() / "mapa_temperatura.png");
        ASSERT_GT(png.size(), 24u);
        const auto u32 = [&](std::size_t i) {
            return double((unsigned char)png[i] << 24 | (unsigned char)png[i + 1] << 16 |
                          (unsigned char)png[i + 2] << 8 | (unsigned char)png[i + 3]);
        };
        const double proporcao = u32(16) / u32(20);
        EXPECT_GE(proporcao, caso.menor);
        EXPECT_LE(proporcao, caso.maior);
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
    const Saida r = rodar(trabalho(), wgnuplot + "desl_x_meio.gnu -e 'set print \"-\"; print (GPVAL_Y_MAX > 0 "
                                      "&& GPVAL_Y_MIN < -1)'");
    EXPECT_EQ(r.saida, "1\n") << r.erros;
}

// Os nomes do kit em três lugares (arquivos.hpp, os roteiros e o
// placa2d-rodar) são os mesmos.
TEST(KitNomes, ArquivosHppRoteirosEPlaca2dRodarConcordam)
{
    const auto achados = [](const fs::path& arquivo, const std::string& padrao) {
        std::set<std::string> nomes;
        const std::string texto = teste::ler(arquivo);
        const std::regex r(padrao);
        for (auto i = std::sregex_iterator(texto.begin(), texto.end(), r); i != std::sregex_iterator(); ++i) {
            std::istringstream palavras((*i)[1].str());
            for (std::string p; palavras >> p;) nomes.insert(p);
        }
        return nomes;
    };
    const std::set<std::string> pngs(std::begin(arquivos::pngs_dos_mapas), std::end(arquivos::pngs_dos_mapas));
    EXPECT_EQ(achados(raiz / "exemplo" / arquivos::mapas, "\nfigura (\\S+)"), pngs);
    EXPECT_EQ(achados(raiz / "ferramentas" / "placa2d-rodar", "\nmapas=\\(([^)]*)\\)"), pngs);
    EXPECT_EQ(achados(raiz / "ferramentas" / "placa2d-rodar", "\ncampos=\\(([^)]*)\\)"),
              (std::set<std::string>{arquivos::campos_vti, arquivos::campos_csv}));
    EXPECT_EQ(achados(raiz / "exemplo" / arquivos::grafico_x_meio, "\nfigura = \"([^\"]*)\""),
              std::set<std::string>{arquivos::png_x_meio});
    EXPECT_EQ(achados(raiz / "exemplo" / arquivos::grafico_y_meio, "\nfigura = \"([^\"]*)\""),
              std::set<std::string>{arquivos::png_y_meio});
    EXPECT_EQ(achados(raiz / "exemplo" / arquivos::grafico_x_meio, "\ndados += \"([^\"]*)\""),
              std::set<std::string>{arquivos::x_meio});
    EXPECT_EQ(achados(raiz / "exemplo" / arquivos::grafico_y_meio, "\ndados += \"([^\"]*)\""),
              std::set<std::string>{arquivos::y_meio});
}

// O relatório é o que o programa abriu, não um arquivo que o editor gravou
// ao lado (o backup entrada_geral.ent~ do emacs e do gedit).
TEST_F(Kit, BackupDoEditorNaoEhTomadoPeloRelatorio)
{
    EXIGIR_COMANDO("script");
    const fs::path editor = trabalho() / ".." / "editor";
    teste::gravar(editor, "#!/bin/sh\ncp \"$1\" \"$1~\"\n");
    fs::permissions(editor, fs::perms::owner_all);
    const Saida r = rodar(trabalho(), "script -qec \"VISUAL='" + editor.string() + "' PATH='" + ferramentas.string() +
                                          ":" + path_sem_gnuplot() + "' PLACA2D='" + PLACA2D_EXECUTAVEL + "' '" +
                                          (raiz / "ferramentas" / "placa2d-rodar").string() + "' .\" /dev/null");
    EXPECT_EQ(r.status, 0) << r.saida;
    EXPECT_NE(r.saida.find("iconv -f cp1252 -t utf-8 './relatorio.txt' | less"), std::string::npos) << r.saida;
}

// Uma pasta que começa com "-" não vira opção do cp nem do cd.
TEST_F(Kit, PastaQueComecaComTraco)
{
    fs::create_directory(trabalho() / "-caso");
    fs::copy_file(trabalho() / "entrada_geral.ent", trabalho() / "-caso" / "entrada_geral.ent");
    const Saida r = rodar(trabalho(), "PATH='" + path_sem_gnuplot() + "' PLACA2D='" + PLACA2D_EXECUTAVEL + "' '" +
                                          (raiz / "ferramentas" / "placa2d-rodar").string() + "' -caso");
    EXPECT_EQ(r.status, 0) << r.erros;
    EXPECT_TRUE(fs::exists(trabalho() / "-caso" / "relatorio.txt"));
    EXPECT_TRUE(fs::exists(trabalho() / "-caso" / "mapas.gnu"));
}

// dependencias.sh com apt-get, dpkg-query, id e sudo de mentira: só o gnuplot
// faltando e sem sudo, segue sem os gráficos; com a trava do apt presa, espera
// dizendo por quê, em português.
TEST_F(Kit, DependenciasSemSudoOuComOAptOcupado)
{
    const fs::path falsos = bin() / "falsos";
    fs::create_directories(falsos);
    const auto falso = [&](const char* nome, const std::string& corpo) {
        teste::gravar(falsos / nome, "#!/bin/sh\n" + corpo + "\n");
        fs::permissions(falsos / nome, fs::perms::owner_all);
    };
    const std::string registro = (bin() / "apt.log").string();
    falso("dpkg-query", "case \"$*\" in *gnuplot*) echo not-installed ;; *) echo installed ;; esac");
    falso("apt-get", "echo \"$*\" >> '" + registro + "'\n"
                     "[ -e '" + registro + ".preso' ] && exit 0\n"
                     "touch '" + registro + ".preso'\n"
                     "echo 'E: Could not get lock /var/lib/dpkg/lock-frontend. It is held by process 1 (unattended-upgr)' >&2\n"
                     "exit 100");
    const std::string comando = "'" + (raiz / "ferramentas" / "dependencias.sh").string() + "' programa";
    const std::string path = falsos.string() + ":" + path_sem_gnuplot({"sudo", "apt-get", "dpkg-query", "id"});

    falso("id", "echo 1000");
    Saida r = rodar(trabalho(), "PATH='" + path + "' " + comando);
    EXPECT_EQ(r.status, 0) << r.erros;
    EXPECT_EQ(r.saida, "dependencias.sh: o gnuplot não está instalado e não há sudo para instalá-lo: tudo roda, sem os "
                       "gráficos; para tê-los, peça a quem administra a máquina: apt-get install gnuplot-nox\n");
    EXPECT_FALSE(fs::exists(registro));

    falso("id", "echo 0");
    r = rodar(trabalho(), "PATH='" + path + "' " + comando);
    EXPECT_EQ(r.status, 0) << r.erros;
    EXPECT_NE(r.saida.find("dependencias.sh: o apt está ocupado por outro programa (num Ubuntu novo, em geral as "
                           "atualizações automáticas); esperando até 10 minutos que ele termine..."),
              std::string::npos) << r.saida;
    EXPECT_EQ(teste::ler(registro), "update\nupdate\ninstall -y --no-install-recommends gnuplot-nox\n");
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
