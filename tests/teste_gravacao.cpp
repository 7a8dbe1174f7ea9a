// Gravação que não perde arquivos: a troca só do que ficou completo, a criação
// exclusiva, as falhas e os sinais no meio, a durabilidade e os restos.
#include "entrada_saida/dados.hpp"
#include "entrada_saida/formatacao.hpp"
#include "modelo/erros.hpp"
#include "modelo/variaveis.hpp"
#include "roteiro/processamento.hpp"
#include "plataforma/sistema_de_arquivos.hpp"
#include "auxiliar.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <map>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using ::testing::HasSubstr;
using teste::Area;
using teste::Entrada;
namespace fs = std::filesystem;

class Gravacao : public ::testing::Test {
protected:
    Area area_;
    teste::No_diretorio no_{area_.trabalho()};
};

TEST_F(Gravacao, SubstituicaoImpossivelDizQuaisMudaramEApagaOsTemporarios)
{
    teste::gravar("c.txt", "c anterior");
    Arquivo_saida a("a.txt"), b("b.txt"), c("c.txt");
    for (Arquivo_saida* f : {&a, &b, &c}) f->escrever(Linha().texto("novo"));
    fs::remove("c.txt");
    fs::create_directories("c.txt/ocupado");
    try {
        concluir_juntos({&a, &b, &c});
        ADD_FAILURE() << "esperava erro";
    } catch (const Erro_execucao& e) {
        EXPECT_THAT(std::string(e.what()), HasSubstr("falha ao substituir o arquivo de saída \"c.txt\": "));
        EXPECT_THAT(std::string(e.what()), HasSubstr("já substituídos por esta execução: \"a.txt\", \"b.txt\"; "
                                                     "mantidos como estavam: \"c.txt\""));
    }
    EXPECT_EQ(teste::retrato("."), (std::map<std::string, std::string>{
                                {"a.txt", "novo\r\n"}, {"b.txt", "novo\r\n"}, {"c.txt", "<diretório>"}, {"c.txt/ocupado", "<diretório>"}}));
}

TEST_F(Gravacao, ConcluidoSubstituiODestino)
{
    teste::gravar("rel.txt", std::string(1000, 'x'));
    Arquivo_saida f("rel.txt");
    f.escrever(Linha().texto("curto"));
    f.concluir();
    EXPECT_EQ(teste::retrato("."), (std::map<std::string, std::string>{{"rel.txt", "curto\r\n"}}));
}

// Os temporários são criados só se nada existe com o nome: uma ligação
// simbólica (também para um alvo que não existe), uma ligação física ou um
// arquivo plantados onde o programa vai escrever ficam intactos.
TEST_F(Gravacao, CriacaoExclusivaNaoSegueNemReusaONome)
{
    teste::gravar("vitima", "intacta");
    fs::create_symlink("vitima", "simbolica");
    fs::create_symlink("ausente", "pendente");
    fs::create_hard_link("vitima", "fisica");
    const auto antes = teste::retrato(".");
    for (const char* nome : {"simbolica", "pendente", "fisica", "vitima"}) {
        errno = 0;
        std::FILE* f = criar_exclusivo(nome);
        EXPECT_EQ(f, nullptr) << nome;
        EXPECT_EQ(errno, EEXIST) << nome;
        if (f != nullptr) {
            std::fputs("escrito", f);
            std::fclose(f);
        }
    }
    EXPECT_EQ(teste::retrato("."), antes);
}

// Saídas de uma execução anterior, para ver que nada muda quando a gravação falha.
void saidas_anteriores(const Area& area)
{
    for (const char* nome : {"rel.txt", "desl_x_meio.txt", "desl_y_meio.txt", "campos.vti", "campos.csv"}) {
        teste::gravar(area.arquivo(nome), std::string("anterior de ") + nome);
    }
}

Entrada grande(const char* n)
{
    Entrada e;
    e.nome_relatorio = "rel.txt";
    e.Nx = e.Ny = n;
    e.itmax = "10";
    e.tol = "0"; // as 10 iterações de propósito: sem o aviso de não convergência
    e.itgs = e.itdesl = "1";
    return e;
}

// Um campos.csv que não pode ser substituído (no Windows, aberto numa
// planilha, que o bloqueia): a troca dele vem antes das outras, e nenhuma
// saída muda.
TEST_F(Gravacao, CamposQueNaoPodemSerSubstituidosNaoMudamNenhumaSaida)
{
    Entrada e;
    e.nome_relatorio = "rel.txt";
    reiniciar_variaveis();
    interpretar_entrada(e.texto());
    saidas_anteriores(area_);
    Saidas_preparadas saidas = preparar_saidas({.campos = true});
    processar();
    solucao_analitica();
    fs::remove("campos.csv");
    fs::create_directories("campos.csv/aberto");
    const auto sem_temporarios = [] {
        auto r = teste::retrato(".");
        std::erase_if(r, [](const auto& item) { return item.first.ends_with(".parcial"); });
        return r;
    };
    const auto antes = sem_temporarios();
    EXPECT_THROW(escrever_resultados(std::move(saidas)), Erro_execucao);
    EXPECT_EQ(teste::retrato("."), antes);
    reiniciar_variaveis();
}

// Com SIGXFSZ ignorado antes (trap) ou não: o programa o ignora e dá a mensagem.
TEST(Gravacao_execucao, FalhaNumArquivoDepoisDeOutroGravadoNaoMudaNenhum)
{
    const struct {
        const char* preambulo;
        const char* Nx;
        const char* Ny;
        const char* argumentos;
        const char* falha; // o arquivo que passa do limite
    } casos[] = {
        // Relatório de uns 6 KB, desl_x_meio.txt de 31 KB.
        {"ulimit -f 16; trap '' XFSZ", "3", "400", "", "desl_x_meio.txt"},
        {"ulimit -f 16", "3", "400", "", "desl_x_meio.txt"},
        // As saídas de sempre cabem; campos.vti, de 137 KB, não.
        {"ulimit -f 16", "40", "40", "--campos", "campos.vti"},
    };
    for (const auto& caso : casos) {
        SCOPED_TRACE(std::string(caso.preambulo) + " " + caso.argumentos);
        Area area;
        Entrada e;
        e.nome_relatorio = "rel.txt";
        e.Nx = caso.Nx;
        e.Ny = caso.Ny;
        e.modo_saida = "0";
        e.passo_hist = "1000";
        area.gravar_entrada(e.texto());
        saidas_anteriores(area);
        const auto antes = teste::retrato(area.trabalho());
        const auto r = teste::executar_programa(area, false, caso.preambulo, "", caso.argumentos);
        EXPECT_EQ(r.status, 1);
        EXPECT_THAT(r.erros, HasSubstr("falha ao gravar o arquivo de saída \"" + std::string(caso.falha) +
                                       "\": o arquivo passou do tamanho máximo permitido"));
        EXPECT_EQ(teste::retrato(area.trabalho()), antes);
    }
}

// O erro padrão é um pipe cujo leitor já saiu: a mensagem de erro não tem
// para onde ir (SIGPIPE ignorado, EPIPE), mas o status é de erro e os
// temporários somem.
TEST(Gravacao_execucao, ErroPadraoSemLeitorNaoDeixaTemporarios)
{
    Area area;
    Entrada e;
    e.alpha = "1e308";
    area.gravar_entrada(e.texto()); // falha depois de os temporários existirem
    saidas_anteriores(area);
    const auto antes = teste::retrato(area.trabalho());
    int tubo[2];
    ASSERT_EQ(::pipe(tubo), 0);
    ::close(tubo[0]);
    const std::string comando = "cd '" + area.trabalho().string() + "' && PATH='" + area.bin().string() + ":" +
                                std::getenv("PATH") + "' exec '" + PLACA2D_EXECUTAVEL + "' </dev/null >/dev/null";
    const pid_t filho = ::fork();
    if (filho == 0) {
        ::dup2(tubo[1], STDERR_FILENO);
        ::execl("/bin/sh", "sh", "-c", comando.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(tubo[1]);
    int bruto = 0;
    ::waitpid(filho, &bruto, 0);
    ASSERT_TRUE(WIFEXITED(bruto)) << "morto pelo sinal " << WTERMSIG(bruto);
    EXPECT_EQ(WEXITSTATUS(bruto), 1);
    EXPECT_EQ(teste::retrato(area.trabalho()), antes);
}

// Uma interrupção no cálculo (os temporários criados e vazios) ou quando
// eles já recebem bytes (SIGTERM mandado pelo strace na 200ª escrita da
// thread principal: o relatório de 83 MB tem mais de mil, e o
// AddressSanitizer faz umas dez antes dele): os temporários somem, os
// arquivos anteriores ficam e o status é 128 + o sinal. O terminal fechado
// (SIGHUP), Ctrl-\ (SIGQUIT) e o limite de tempo de CPU (SIGXCPU) como
// SIGTERM. Na troca (na primeira, pelo strace), ela vai até o fim (as cinco
// saídas novas, com --campos) e só então o sinal termina o programa, sem
// mensagem.
struct Interrupcao {
    const char* caso;
    int sinal;
    const char* preambulo;
    bool mandar;               // o teste manda o sinal quando os temporários existem
    const char* chamadas = ""; // ou o strace, nessas chamadas
    bool na_troca = false;
};

void PrintTo(const Interrupcao& i, std::ostream* saida) { *saida << i.caso; }

class Interrupcoes : public ::testing::TestWithParam<Interrupcao> {};

TEST_P(Interrupcoes, ApagamOsTemporariosOuEsperamATroca)
{
    const Interrupcao& c = GetParam();
    const bool com_strace = *c.chamadas != '\0';
    if (com_strace) EXIGIR_COMANDO("strace");
    Area area;
    area.gravar_entrada((c.na_troca ? grande("5") : com_strace ? grande("601") : teste::sem_fim()).texto());
    saidas_anteriores(area);
    const auto antes = teste::retrato(area.trabalho());
    const std::string injecao = c.na_troca ? "signal=TERM:when=1" : "signal=TERM:when=200";
    teste::Em_execucao execucao(area, false, c.preambulo, com_strace ? teste::strace(c.chamadas, injecao) : "",
                                c.na_troca ? "--campos" : "");
    // Os tratadores são instalados antes de os temporários serem criados:
    // com os três na pasta, o sinal é tratado, qualquer que seja a máquina.
    const auto temporarios = [&] {
        int n = 0;
        for (const auto& item : fs::directory_iterator(area.trabalho())) n += item.path().extension() == ".parcial";
        return n;
    };
    if (c.mandar && execucao.esperar_por([&] { return temporarios() == 3; })) ::kill(execucao.pid(), c.sinal);
    const auto r = execucao.esperar();
    if (c.na_troca) {
        EXPECT_TRUE(r.sinal);
        EXPECT_EQ(r.erros, "");
        for (const auto& [nome, conteudo] : teste::retrato(area.trabalho())) {
            EXPECT_FALSE(nome.ends_with(".parcial") || conteudo.starts_with("anterior")) << nome;
        }
        return;
    }
    EXPECT_EQ(r.status, 128 + c.sinal);
    EXPECT_EQ(r.erros, "placa2d: execução interrompida; nenhum arquivo de saída foi criado ou mudado\n");
    EXPECT_EQ(teste::retrato(area.trabalho()), antes);
}

INSTANTIATE_TEST_SUITE_P(Sinais, Interrupcoes,
                         ::testing::Values(Interrupcao{"SIGTERM no cálculo", SIGTERM, "", true},
                                           Interrupcao{"SIGHUP no cálculo", SIGHUP, "", true},
                                           Interrupcao{"SIGQUIT no cálculo", SIGQUIT, "", true},
                                           Interrupcao{"SIGXCPU no cálculo", SIGXCPU, "ulimit -S -t 1", false},
                                           Interrupcao{"SIGTERM na gravação", SIGTERM, "", false, "write"},
                                           Interrupcao{"SIGTERM na troca", SIGTERM, "", false, "/^rename", true}),
                         teste::nome_da_linha<Interrupcao>);

TEST(Gravacao_execucao, SubstituicaoMantemAsPermissoesDoArquivoAnterior)
{
    Area area;
    area.gravar_entrada(grande("5").texto());
    saidas_anteriores(area);
    fs::permissions(area.arquivo("rel.txt"), fs::perms(0664));
    fs::permissions(area.arquivo("desl_x_meio.txt"), fs::perms(0600));
    fs::permissions(area.arquivo("desl_y_meio.txt"), fs::perms(0755));
    ASSERT_EQ(teste::executar_programa(area).status, 0);
    EXPECT_NE(teste::ler(area.arquivo("rel.txt")), "anterior de rel.txt");
    EXPECT_EQ(fs::status(area.arquivo("rel.txt")).permissions(), fs::perms(0664));
    EXPECT_EQ(fs::status(area.arquivo("desl_x_meio.txt")).permissions(), fs::perms(0600));
    EXPECT_EQ(fs::status(area.arquivo("desl_y_meio.txt")).permissions(), fs::perms(0755));
}

// Durabilidade, vista pelas chamadas ao sistema (com -y, o strace dá o
// caminho de cada descritor): cada temporário vai ao disco (fsync) antes da
// primeira troca, e a pasta depois da última.
TEST(Gravacao_execucao, TemporariosNoDiscoAntesDasTrocasEAPastaDepois)
{
    EXIGIR_COMANDO("strace");
    Area area;
    area.gravar_entrada(grande("5").texto());
    const fs::path registro = area.bin() / "strace.txt";
    const std::string comando = "cd '" + area.trabalho().string() + "' && PATH='" + area.bin().string() + ":" +
                                std::getenv("PATH") + "' " + teste::sem_busca_de_vazamentos() + "strace -y -o '" +
                                registro.string() + "' -e trace=fsync,fdatasync,rename,renameat,renameat2 '" +
                                PLACA2D_EXECUTAVEL + "' </dev/null >/dev/null 2>&1";
    ASSERT_EQ(std::system(comando.c_str()), 0);
    std::vector<std::string> no_disco, trocados;
    bool pasta_depois = false;
    std::istringstream linhas(teste::ler(registro));
    for (std::string l; std::getline(linhas, l);) {
        const std::size_t i = l.find_first_of("<\""); // o caminho do fsync, ou o primeiro do rename
        const std::string entre = i == std::string::npos ? "" : l.substr(i + 1, l.find_first_of(">\"", i + 1) - i - 1);
        if (l.starts_with("fsync(") || l.starts_with("fdatasync(")) {
            if (entre.ends_with(".parcial")) no_disco.push_back(fs::path(entre).filename().string());
            if (entre == area.trabalho().string() && trocados.size() == 3) pasta_depois = true;
        } else if (l.starts_with("rename")) {
            EXPECT_EQ(no_disco.size(), 3u) << "troca antes de todos no disco: " << l;
            EXPECT_NE(std::find(no_disco.begin(), no_disco.end(), entre), no_disco.end()) << l;
            trocados.push_back(entre);
        }
    }
    EXPECT_EQ(trocados.size(), 3u);
    EXPECT_TRUE(pasta_depois) << teste::ler(registro);
}

// Restos de execuções mortas (SIGKILL, queda de energia): só os desta
// máquina, de um processo que não existe mais e com mais de uma hora somem.
TEST(Gravacao_execucao, TemporariosAbandonadosDestaMaquinaSaoApagados)
{
    Area area;
    area.gravar_entrada(grande("5").texto());
    const pid_t morto = ::fork();
    if (morto == 0) ::_exit(0);
    ::waitpid(morto, nullptr, 0);
    const std::string marca = marca_da_maquina(), vivo = std::to_string(::getpid());
    const std::string abandonado = "rel.txt." + marca + "-" + std::to_string(morto) + "-0-0123abcd.parcial";
    const std::vector<std::string> ficam = {
        "rel.txt." + marca + "-" + vivo + "-0-0123abcd.parcial",                     // processo vivo
        "rel.txt.0badc0de-" + std::to_string(morto) + "-0-0123abcd.parcial",           // outra máquina
        "desl_x_meio.txt." + marca + "-" + std::to_string(morto) + "-1-0123abcd.parcial", // recente
        "notas." + marca + "-" + std::to_string(morto) + "-0-0123abcd.txt",              // não é temporário
    };
    for (const std::string& nome : ficam) teste::gravar(area.arquivo(nome), "x");
    teste::gravar(area.arquivo(abandonado), "x");
    const auto duas_horas = fs::file_time_type::clock::now() - std::chrono::hours(2);
    for (const std::string& nome : {abandonado, ficam[0], ficam[1], ficam[3]}) {
        fs::last_write_time(area.arquivo(nome), duas_horas);
    }
    ASSERT_EQ(teste::executar_programa(area).status, 0);
    EXPECT_FALSE(fs::exists(area.arquivo(abandonado)));
    for (const std::string& nome : ficam) EXPECT_TRUE(fs::exists(area.arquivo(nome))) << nome;
}

// Os arquivos de saída mascarados no tempo, a única linha que muda de uma execução para outra.
std::map<std::string, std::string> saidas(const Area& area)
{
    auto arquivos = teste::retrato(area.trabalho());
    std::string& relatorio = arquivos["rel.txt"];
    const std::size_t p = relatorio.rfind("Tempo de processamento");
    if (p != std::string::npos) relatorio.erase(p);
    return arquivos;
}

TEST(Gravacao_execucao, DuasExecucoesSimultaneasNoMesmoDiretorioGravamArquivosInteiros)
{
    Area sozinha, comum;
    for (const Area* area : {&sozinha, &comum}) area->gravar_entrada(grande("301").texto());
    ASSERT_EQ(teste::executar_programa(sozinha).status, 0);
    teste::Em_execucao a(comum), b(comum);
    EXPECT_EQ(a.esperar().status, 0);
    EXPECT_EQ(b.esperar().status, 0);
    EXPECT_EQ(saidas(comum), saidas(sozinha));
}

// Numa pasta com o sticky bit (como /tmp), o sistema só deixa substituir o
// arquivo de outro usuário ao dono dele, ao da pasta e ao root. Os testes
// rodam como root no CI: o programa roda como nobody (setpriv, no processo
// filho), e a recusa é a do sistema, sem simulação.
class Pasta_com_sticky_bit : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (::geteuid() != 0) {
            if (teste::no_ci()) FAIL() << "no CI os testes rodam como root";
            GTEST_SKIP() << "só root dá um arquivo a outro usuário";
        }
        EXIGIR_COMANDO("setpriv");
        // getpwnam devolve sempre a mesma área: cada resultado lido antes da chamada seguinte.
        const passwd* p = ::getpwnam("nobody");
        ASSERT_NE(p, nullptr);
        nobody_ = p->pw_uid;
        como_nobody_ = "setpriv --reuid=" + std::to_string(nobody_) + " --regid=" + std::to_string(p->pw_gid) +
                       " --clear-groups";
        p = ::getpwnam("daemon");
        ASSERT_NE(p, nullptr);
        outro_ = p->pw_uid;
    }

    // A área com os substitutos e o registro deles abertos a nobody.
    static void abrir_a_todos(const Area& area)
    {
        fs::permissions(area.bin(), fs::perms::all & ~fs::perms::group_write & ~fs::perms::others_write);
        for (const char* nome : {"notepad", "wgnuplot"}) fs::permissions(area.bin() / nome, fs::perms::owner_all |
                                                                         fs::perms::group_read | fs::perms::group_exec |
                                                                         fs::perms::others_read | fs::perms::others_exec);
        teste::gravar(area.arquivo("../comandos.log"), "");
        fs::permissions(area.arquivo("../comandos.log"), fs::perms::all & ~fs::perms::owner_exec &
                                                             ~fs::perms::group_exec & ~fs::perms::others_exec);
    }

    static void dar(const fs::path& caminho, uid_t dono) { ASSERT_EQ(::chown(caminho.c_str(), dono, dono), 0); }

    uid_t nobody_ = 0, outro_ = 0;
    std::string como_nobody_;
};

TEST_F(Pasta_com_sticky_bit, ArquivoDeOutroUsuarioRecusadoAntesDoCalculo)
{
    const struct {
        const char* nome;
        fs::perms modo;
        bool pasta_do_usuario, arquivo_do_usuario, como_root;
        bool recusado;
    } casos[] = {
        {"nem o arquivo nem a pasta são do usuário", fs::perms::all | fs::perms::sticky_bit, false, false, false, true},
        {"a pasta é do usuário", fs::perms::all | fs::perms::sticky_bit, true, false, false, false},
        {"o arquivo é do usuário", fs::perms::all | fs::perms::sticky_bit, false, true, false, false},
        {"root", fs::perms::all | fs::perms::sticky_bit, false, false, true, false},
        {"pasta sem o sticky bit", fs::perms::all, false, false, false, false},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.nome);
        Area area;
        abrir_a_todos(area);
        // Recusado antes do cálculo: com alpha = 1e308, o cálculo acabaria em
        // falha aritmética, e a mensagem seria outra.
        Entrada e = grande("5");
        if (c.recusado) e.alpha = "1e308";
        area.gravar_entrada(e.texto());
        teste::gravar(area.arquivo("rel.txt"), "anterior");
        dar(area.arquivo("rel.txt"), c.arquivo_do_usuario ? nobody_ : outro_);
        dar(area.trabalho(), c.pasta_do_usuario ? nobody_ : 0);
        fs::permissions(area.trabalho(), c.modo);
        const auto antes = teste::retrato(area.trabalho());
        const auto r = teste::executar_programa(area, false, "", c.como_root ? "" : como_nobody_);
        if (!c.recusado) {
            EXPECT_EQ(r.status, 0) << r.erros;
            EXPECT_NE(teste::ler(area.arquivo("rel.txt")), "anterior");
            continue;
        }
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.erros, "placa2d: erro: não foi possível criar o arquivo de saída \"rel.txt\": o arquivo existente é "
                           "de outro usuário (daemon), e a pasta \"" + area.trabalho().string() +
                               "\" tem o sticky bit (como /tmp ou uma pasta compartilhada da turma): nela, só o dono "
                               "do arquivo ou da pasta pode substituí-lo. Rode o placa2d numa pasta sua, ou peça a "
                               "daemon que apague o arquivo; nenhum arquivo de saída foi mudado\n");
        EXPECT_EQ(teste::retrato(area.trabalho()), antes);
    }
}

// O arquivo passa a outro usuário depois da conferência, enquanto o strace
// segura a primeira substituição: a mensagem dá a causa certa, e não a falta
// de permissão de escrita.
TEST_F(Pasta_com_sticky_bit, SubstituicaoRecusadaAssimMesmoDizACausa)
{
    EXIGIR_COMANDO("strace");
    Area area;
    abrir_a_todos(area);
    area.gravar_entrada(grande("5").texto());
    teste::gravar(area.arquivo("rel.txt"), "anterior");
    dar(area.arquivo("rel.txt"), nobody_);
    fs::permissions(area.trabalho(), fs::perms::all | fs::perms::sticky_bit);
    // Segura por mais tempo do que o teste pode durar: o fim do strace a solta.
    teste::Em_execucao execucao(area, false, "",
                                teste::strace("/^rename", "delay_enter=1000000000:when=1") + " " + como_nobody_);
    const std::string proc = "/proc/" + std::to_string(execucao.pid());
    const auto segura = [&] {
        const std::string estado = teste::ler(proc + "/stat");
        const long chamada = std::atol(teste::ler(proc + "/syscall").c_str());
        return estado.find(") t ") != std::string::npos && (chamada == SYS_rename || chamada == SYS_renameat2);
    };
    ASSERT_TRUE(execucao.esperar_por(segura)) << execucao.esperar().erros;
    dar(area.arquivo("rel.txt"), outro_);
    const std::string status = teste::ler(proc + "/status");
    ::kill(std::stoi(status.substr(status.find("TracerPid:") + 10)), SIGKILL);
    const auto r = execucao.esperar();
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.erros, HasSubstr("placa2d: erro: falha ao substituir o arquivo de saída \"rel.txt\": o arquivo "
                                   "existente é de outro usuário (daemon), e a pasta"));
    EXPECT_THAT(r.erros, HasSubstr("; nenhum arquivo de saída foi mudado\n"));
    EXPECT_EQ(teste::ler(area.arquivo("rel.txt")), "anterior");
}

} // namespace
