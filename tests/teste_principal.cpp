// O programa inteiro, executado num diretório temporário com notepad e
// wgnuplot substitutos à frente no PATH.
#include "entrada_saida/avisos.hpp"
#include "plataforma/comandos.hpp"
#include "roteiro/janela.hpp"
#include "roteiro/versao.hpp"
#include "auxiliar.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>

namespace {

using ::testing::HasSubstr;

using teste::Area;
using teste::Entrada;

// Nada na saída padrão; com PLACA2D_THREADS que não vale, só um aviso de uma
// linha no erro padrão (sem ela, nada: RelatoriosEArquivosDaLinhaMediaByteAByte).
TEST(Execucao, CompletaRodaOsComandosNaOrdemEEncerraComZeroEmSilencio)
{
    Area area;
    area.gravar_entrada(Entrada().texto());
    const auto r = teste::executar_programa(area, false, "export PLACA2D_THREADS=2abc");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.saida, "");
    EXPECT_EQ(r.erros, "placa2d: aviso: PLACA2D_THREADS = \"2abc\" não vale (é preciso um inteiro de 1 a 1024) e foi "
                       "ignorada: o cálculo usa as CPUs do processo\n");
    EXPECT_EQ(area.comandos(), "notepad entrada_geral.ent\nnotepad relatorio.txt\nwgnuplot desl_x_meio.gnu\n"
                               "wgnuplot desl_y_meio.gnu\n");
}

// Também gravado com CR sozinho no fim das linhas (o Mac antigo).
TEST(Execucao, ValoresLidosSaoOsQueOEditorDeixou)
{
    for (const char* depois : {"", " && tr '\\n' '\\r' < entrada_geral.ent > e.cr && mv e.cr entrada_geral.ent"}) {
        SCOPED_TRACE(depois);
        Area area;
        area.criar_substituto("notepad", "[ \"$1\" = entrada_geral.ent ] && sed -i 's/^5  Nx/7  Nx/' entrada_geral.ent" +
                                             std::string(depois));
        area.gravar_entrada(Entrada().texto());
        ASSERT_EQ(teste::executar_programa(area).status, 0);
        const std::string relatorio = teste::ler(area.arquivo("relatorio.txt"));
        EXPECT_THAT(relatorio, HasSubstr("         7                    = Nx:"));
    }
}

// O tempo do relatório cabe entre o fim do editor e a abertura do relatório,
// em qualquer máquina; com o editor (mais de 1 s) não caberia.
TEST(Execucao, TempoNaoIncluiOEditor)
{
    Area area;
    area.criar_substituto("notepad", "[ \"$1\" = entrada_geral.ent ] && sleep 1 && date +%s.%N > ../editor || "
                                     "date +%s.%N > ../relatorio");
    area.gravar_entrada(Entrada().texto());
    ASSERT_EQ(teste::executar_programa(area).status, 0);
    const std::string relatorio = teste::ler(area.arquivo("relatorio.txt"));
    const std::string rotulo = "Tempo de processamento (em segundos):";
    const std::size_t p = relatorio.find(rotulo);
    ASSERT_NE(p, std::string::npos);
    const double janela =
        std::stod(teste::ler(area.arquivo("../relatorio"))) - std::stod(teste::ler(area.arquivo("../editor")));
    EXPECT_LE(std::stod(relatorio.substr(p + rotulo.size())), janela + 0.0005); // o relatório arredonda a 1 ms
}

// Troca o campo do tempo (15 colunas no fim da única linha que varia) pela
// marca dos arquivos esperados.
std::string mascarar_tempo(std::string relatorio)
{
    const std::size_t p = relatorio.find("Tempo de processamento (em segundos):");
    if (p == std::string::npos) return relatorio;
    const std::size_t fim = relatorio.find("\r\n", p);
    return relatorio.replace(fim - 15, 15, "          TEMPO");
}

std::string esperado(const std::string& nome) { return teste::ler(std::string(PLACA2D_ESPERADO) + "/" + nome); }

// Os avisos só no erro padrão, também quando ele (ou os três fluxos) vem
// fechado: então o primeiro temporário ficaria com o descritor 2, e os avisos
// (dx ≠ dy, a não convergência e o de PLACA2D_THREADS) iriam para dentro dele.
// --campos só acrescenta campos.vti e campos.csv: as outras saídas, os avisos
// e os comandos são os mesmos, byte a byte.
TEST(Execucao, RelatoriosEArquivosDaLinhaMediaByteAByte)
{
    const std::string avisos_4x6 =
        "placa2d: aviso: dx = 0.666667 e dy = 0.6 diferem: com dx ≠ dy, o esquema térmico converge para a solução de "
        "outra equação, e o erro contra a solução analítica não cai quando a malha é refinada. Para dx = dy, escolha "
        "(Nx-1)/Lx = (Ny-1)/Ly: com Nx = 4, nenhum Ny dá dx = dy, e o mais próximo é o seu, 6 (dy/dx = 0.9); Nx = 5 e "
        "Ny = 7 dão dx = dy (ver " + std::string(secao_dx_dy) + ")\n"
        "placa2d: aviso: o problema térmico não convergiu: depois de itmax = 7 iterações, L1(it)/L1(0) = 0.00591, "
        "acima de tol = 0.001; aumente itmax em entrada_geral.ent: pela queda do resíduo nesta malha, faltam umas 3 "
        "iterações (itmax de uns 10)\n";
    const struct {
        const char* caso;
        const char* fechados; // redirecionamentos do sh que fecham fluxos do programa
        std::string erros;
        const char* argumentos = "";
    } execucoes[] = {
        {"3x3", "", ""},
        {"4x6", "", avisos_4x6},
        {"4x6", "2>&-", ""},
        {"4x6", "0<&- 1>&- 2>&-", ""},
        {"3x3", "", "", "--campos"},
        {"4x6", "", avisos_4x6, "--campos"},
    };
    // As entradas ficam ao lado das saídas esperadas: o passo do ARM64 as usa também.
    for (const auto& x : execucoes) {
        const std::string s = x.caso;
        SCOPED_TRACE(s + " " + x.fechados + x.argumentos);
        Area area;
        area.gravar_entrada(esperado("entrada_" + s + ".ent"));
        const bool fechados = *x.fechados != '\0';
        const auto r = teste::executar_programa(area, false, fechados ? "export PLACA2D_THREADS=abc" : "",
                                                fechados ? "sh -c 'exec \"$0\" " + std::string(x.fechados) + "'" : "",
                                                x.argumentos);
        ASSERT_EQ(r.status, 0);
        EXPECT_EQ(r.erros, x.erros);
        EXPECT_EQ(area.comandos(), "notepad entrada_geral.ent\nnotepad rel.txt\nwgnuplot desl_x_meio.gnu\n"
                                   "wgnuplot desl_y_meio.gnu\n");
        std::string nomes;
        for (const auto& [nome, conteudo] : teste::retrato(area.trabalho())) nomes += nome + " ";
        EXPECT_EQ(nomes, *x.argumentos ? "campos.csv campos.vti desl_x_meio.txt desl_y_meio.txt entrada_geral.ent rel.txt "
                                       : "desl_x_meio.txt desl_y_meio.txt entrada_geral.ent rel.txt ");
        const auto obtido = [&](const char* nome) { return teste::ler(area.arquivo(nome)); };
        EXPECT_TRUE(teste::mesmos_bytes(mascarar_tempo(obtido("rel.txt")), esperado("relatorio_" + s + ".txt")));
        EXPECT_TRUE(teste::mesmos_bytes(obtido("desl_x_meio.txt"), esperado("desl_x_meio_" + s + ".txt")));
        EXPECT_TRUE(teste::mesmos_bytes(obtido("desl_y_meio.txt"), esperado("desl_y_meio_" + s + ".txt")));
    }
}

// Nenhum pedido da linha de comando toca na pasta ou chama o editor; o que
// não é opção é recusado com status 2, dizendo qual argumento.
TEST(LinhaDeComando, AjudaVersaoERecusaNaoTocamEmNada)
{
    const std::string versao = std::string("placa2d ") + versao_do_programa() + "\n";
    const std::string nao_recebe = "; o placa2d não recebe arquivos nem valores na linha de comando: ele lê "
                                   "entrada_geral.ent da pasta em que é iniciado (para outro caso, rode-o na pasta "
                                   "dele). Veja placa2d --ajuda\n";
    const struct {
        const char* argumentos;
        int status;
        std::string saida;  // o começo
        std::string erros;
        const char* envoltorio = "";
    } casos[] = {
        {"--ajuda", 0, "Uso: placa2d [opção]\n", ""},
        {"--help", 0, "Uso: placa2d [opção]\n", ""},
        {"-h", 0, "Uso: placa2d [opção]\n", ""},
        {"--versao", 0, versao, ""},
        {"--version --ajuda", 0, "Uso: placa2d [opção]\n", ""},
        {"--campos --ajuda", 0, "Uso: placa2d [opção]\n", ""},
        {"--hlep", 2, "", "placa2d: erro: opção desconhecida: \"--hlep\"; as opções estão em placa2d --ajuda\n"},
        {"--ajuda ../outro/entrada_geral.ent", 2, "",
         "placa2d: erro: argumento não entendido: \"../outro/entrada_geral.ent\"" + nao_recebe},
        {"''", 2, "", "placa2d: erro: argumento não entendido: \"\"" + nao_recebe},
        {"--versao", 1, "", "placa2d: erro: não foi possível escrever na saída padrão\n",
         "sh -c 'exec \"$0\" \"$@\" > /dev/full'"},
    };
    for (const auto& caso : casos) {
        SCOPED_TRACE(caso.argumentos);
        Area area;
        area.gravar_entrada(Entrada().texto());
        const auto antes = teste::retrato(area.trabalho());
        const auto r = teste::executar_programa(area, false, "", caso.envoltorio, caso.argumentos);
        EXPECT_EQ(r.status, caso.status);
        EXPECT_EQ(r.saida.substr(0, caso.saida.size()), caso.saida);
        EXPECT_EQ(r.saida.empty(), caso.saida.empty());
        EXPECT_EQ(r.erros, caso.erros);
        EXPECT_EQ(area.comandos(), "");
        EXPECT_EQ(teste::retrato(area.trabalho()), antes);
    }
}

// Esperar o Enter só quando a janela some com o processo e há o que ler nela.
struct Caso_janela {
    bool sozinho;
    bool entrada_no_console;
    Desfecho desfecho;
    bool espera;
};

class Janela : public ::testing::TestWithParam<Caso_janela> {};

TEST_P(Janela, EsperaOEnterSoSozinhoNoConsoleComOQueLer)
{
    const Caso_janela& c = GetParam();
    EXPECT_EQ(esperar_enter_ao_fechar({c.sozinho, c.entrada_no_console}, c.desfecho), c.espera);
}

INSTANTIATE_TEST_SUITE_P(
    Regras, Janela,
    ::testing::Values(
        // Um clique duplo: sozinho no console, com a entrada nele.
        Caso_janela{true, true, Desfecho::erro, true}, Caso_janela{true, true, Desfecho::interrupcao, true},
        Caso_janela{true, true, Desfecho::aviso, true}, Caso_janela{true, true, Desfecho::sucesso, false},
        // Um Prompt, um .bat, um script: o console é de outro processo também.
        Caso_janela{false, true, Desfecho::erro, false}, Caso_janela{false, true, Desfecho::interrupcao, false},
        // Entrada redirecionada (o CI, o wine num script): ninguém aperta o Enter.
        Caso_janela{true, false, Desfecho::erro, false}, Caso_janela{true, false, Desfecho::aviso, false}));

TEST(Execucao, NomeDoRelatorioNaLinhaDeComandoDoNotepad)
{
    const std::string longo = std::string(95, 'a') + "12345";
    const struct {
        std::string linha;
        std::string arquivo;
        std::string argumento;
        bool cortado = false; // avisado no erro padrão, com o nome gravado
    } casos[] = {
        {"'   com brancos.txt'", "com brancos.txt", "com brancos.txt"},
        {"'meu relatorio.txt'", "meu relatorio.txt", "meu relatorio.txt"},
        {"'a;touch invasor'", "a;touch invasor", "a;touch invasor"},
        {"'$(touch invasor)&x'", "$(touch invasor)&x", "$(touch invasor)&x"},
        {"\"it's.txt\"", "it's.txt", "it's.txt"},
        {"simples-1.0_ok.txt", "simples-1.0_ok.txt", "simples-1.0_ok.txt"},
        {"-rf", "-rf", "./-rf"},
        {"'+!touch invasor'", "+!touch invasor", "./+!touch invasor"},
        {"'" + longo + "6789.txt'", longo, longo, true},
    };
    for (const auto& caso : casos) {
        SCOPED_TRACE(caso.linha);
        Area area;
        area.criar_substituto("notepad", "echo \"$#:$1\" >> ../argumentos.log");
        Entrada e;
        e.nome_relatorio = caso.linha;
        area.gravar_entrada(e.texto());
        const auto r = teste::executar_programa(area);
        ASSERT_EQ(r.status, 0);
        EXPECT_EQ(r.erros, caso.cortado ? "placa2d: aviso: o nome do relatório na linha 1 de entrada_geral.ent passa de "
                                          "100 caracteres e só os 100 primeiros valem: o relatório foi gravado em \"" +
                                              caso.arquivo + "\"\n"
                                        : "");
        EXPECT_EQ(teste::ler(area.arquivo("../argumentos.log")), "1:entrada_geral.ent\n1:" + caso.argumento + "\n");
        EXPECT_TRUE(std::filesystem::exists(area.arquivo(caso.arquivo)));
        EXPECT_FALSE(std::filesystem::exists(area.arquivo("invasor")));
    }
}

// O ramo do cmd é conferido em qualquer sistema.
TEST(CitarArgumento, ShECmd)
{
    const struct {
        Interpretador interpretador;
        const char* nome;
        const char* citado;
    } casos[] = {
        {Interpretador::sh, "-rf", "./-rf"},
        {Interpretador::sh, "+x y", "'./+x y'"},
        {Interpretador::sh, "pasta/-a", "pasta/-a"},
        {Interpretador::cmd, "a b.txt", "\"a b.txt\""},
        {Interpretador::cmd, "-rf", ".\\-rf"},
        {Interpretador::cmd, "+a", "\".\\+a\""},
        {Interpretador::cmd, "pasta/rel.txt", "pasta\\rel.txt"},
        {Interpretador::cmd, "C:\\dados\\rel.txt", "C:\\dados\\rel.txt"},
        {Interpretador::cmd, "a&b^c(1)|d.txt", "\"a&b^c(1)|d.txt\""},
        {Interpretador::cmd, "%PATH%.txt", ""},
        {Interpretador::cmd, "a!b!.txt", ""},
        {Interpretador::cmd, "a\"&calc.txt", ""},
    };
    for (const auto& caso : casos) {
        EXPECT_EQ(citar_argumento(caso.nome, caso.interpretador), caso.citado) << caso.nome;
    }
}

// Ctrl-C no editor: o editor morto por SIGINT, ou o status 130 que o sh dá.
TEST(Execucao, EditorInterrompidoParaAntesDaLeitura)
{
    for (const char* corpo : {"exit 130", "exec perl -e '$SIG{INT} = \"DEFAULT\"; kill \"INT\", $$'"}) {
        SCOPED_TRACE(corpo);
        Area area;
        area.criar_substituto("notepad", corpo);
        area.gravar_entrada(Entrada().texto());
        const auto r = teste::executar_programa(area);
        EXPECT_EQ(r.status, 1);
        EXPECT_THAT(r.erros, HasSubstr("o editor de entrada_geral.ent foi interrompido"));
        EXPECT_EQ(area.comandos(), "notepad entrada_geral.ent\n");
        EXPECT_FALSE(std::filesystem::exists(area.arquivo("relatorio.txt")));
    }
}

// O programa ignora SIGPIPE e SIGXFSZ; o editor e os visualizadores não
// herdam isso (um sinal ignorado continuaria ignorado depois do exec).
TEST(Execucao, VisualizadoresRecebemSigpipeESigxfszNoPadrao)
{
    Area area;
    area.criar_substituto("notepad", "m=$(sed -n 's/^SigIgn:[[:space:]]*//p' /proc/$$/status); "
                                     "echo $(( 0x$m & 0x1001000 )) >> ../ignorados.log");
    area.gravar_entrada(Entrada().texto());
    ASSERT_EQ(teste::executar_programa(area).status, 0);
    EXPECT_EQ(teste::ler(area.arquivo("../ignorados.log")), "0\n0\n");
}

TEST(Execucao, TerminaNormalmenteSemNotepadNemWgnuplot)
{
    Area area;
    std::filesystem::remove(area.bin() / "notepad");
    std::filesystem::remove(area.bin() / "wgnuplot");
    area.gravar_entrada(Entrada().texto());
    const auto r = teste::executar_programa(area, true);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(std::filesystem::exists(area.arquivo("relatorio.txt")));
    EXPECT_TRUE(std::filesystem::exists(area.arquivo("desl_y_meio.txt")));
}

} // namespace

namespace {

bool tem_progresso(const std::string& texto)
{
    for (const char* fase : {"Problema térmico", "Deslocamentos", "Gravando"}) {
        if (texto.find(fase) != std::string::npos) return true;
    }
    return false;
}

// Progresso só num terminal: aparece durante o cálculo, é apagado antes dos
// visualizadores e no fim; a interrupção e um erro escrevem a sua mensagem
// numa linha limpa.
TEST(Progresso, SoNoTerminalEApagadoAntesDosVisualizadoresEDasMensagens)
{
    EXIGIR_COMANDO("strace");
    // O strace segura a primeira substituição (o cálculo, de 5 x 5 nós, é
    // curto) para o progresso, que aparece depois de um segundo, aparecer.
    // A thread dele só roda com CPU ociosa: se não apareceu, a execução é
    // refeita com o dobro do tempo. No erro, a substituição falha.
    const std::string interrompida = "placa2d: execução interrompida; nenhum arquivo de saída foi criado ou mudado";
    const std::string erro = "placa2d: erro: falha ao substituir o arquivo de saída \"relatorio.txt\": sem permissão "
                             "de escrita, ou o arquivo está aberto e bloqueado por outro programa; nenhum arquivo de "
                             "saída foi mudado";
    const struct {
        const char* nome;
        bool terminal;
        const char* preambulo;
        const char* segura;   // nulo: o cálculo sem fim, interrompido quando o progresso aparece
        std::string mensagem; // o que fica na tela sem os visualizadores
    } casos[] = {
        {"terminal", true, "", "", ""},
        {"desligado", true, "export PLACA2D_PROGRESSO=0", "", ""},
        {"sem terminal", false, "", "", ""},
        {"interrompido", true, "", nullptr, interrompida},
        {"erro na substituição", true, "", ":error=EACCES", erro},
    };
    for (const auto& caso : casos) {
        SCOPED_TRACE(caso.nome);
        const bool mostra = caso.terminal && std::string(caso.preambulo).find("PROGRESSO=0") == std::string::npos;
        for (long atraso = 2500000;; atraso *= 2) {
            Area area;
            area.criar_substituto("notepad", "[ \"$1\" = entrada_geral.ent ] || echo VISUALIZADOR >&2");
            area.gravar_entrada((caso.segura ? Entrada() : teste::sem_fim()).texto());
            const std::string segura = "delay_enter=" + std::to_string(atraso) + ":when=1";
            const std::string envoltorio = caso.segura ? teste::strace("/^rename", segura + caso.segura) : "";
            if (!caso.terminal) {
                EXPECT_EQ(teste::executar_programa(area, false, "", envoltorio).erros, "VISUALIZADOR\n");
                break;
            }
            teste::No_terminal execucao(area, caso.preambulo, envoltorio);
            if (!caso.segura) {
                ASSERT_TRUE(execucao.ler_ate("Problema térmico"));
                ::kill(execucao.pid(), SIGTERM);
            }
            const teste::Resultado r = execucao.esperar();
            if (mostra && !tem_progresso(r.erros) && atraso < 40000000) continue;
            if (!caso.mensagem.empty()) {
                EXPECT_TRUE(tem_progresso(r.erros)) << r.erros;
                EXPECT_EQ(teste::tela(r.erros), caso.mensagem + "\n\n");
                break;
            }
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(teste::tela(r.erros), "VISUALIZADOR\n\n");
            const std::size_t visualizador = r.erros.find("VISUALIZADOR");
            EXPECT_EQ(tem_progresso(r.erros.substr(0, visualizador)), mostra) << r.erros;
            EXPECT_FALSE(tem_progresso(r.erros.substr(visualizador)));
            break;
        }
    }
}

// Na primeira iteração externa dos deslocamentos (minutos), o progresso diz 1.
TEST(Progresso, DeslocamentosContamAPartirDaPrimeiraIteracao)
{
    Area area;
    Entrada e = teste::sem_fim();
    e.tol = "1"; // a fase térmica para logo
    e.itgs = "100000";
    area.gravar_entrada(e.texto());
    teste::No_terminal execucao(area);
    ASSERT_TRUE(execucao.ler_ate("Deslocamentos: iteração "));
    ::kill(execucao.pid(), SIGTERM);
    EXPECT_THAT(execucao.esperar().erros, HasSubstr("Deslocamentos: iteração 1/3"));
}

} // namespace
