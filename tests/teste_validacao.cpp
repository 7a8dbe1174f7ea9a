// Entradas recusadas, falhas aritméticas e gravação que não perde arquivos.
#include "auxiliar.hpp"
#include "erros.hpp"
#include "formatacao.hpp"
#include "processamento.hpp"
#include "sistema_de_arquivos.hpp"
#include "solvers_rapidos.hpp"
#include "validacao.hpp"
#include "variaveis.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <map>
#include <new>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

// Bytes vivos no heap deste processo e o maior valor que já tiveram (o teste
// zera o pico): operator new e delete contados, com o tamanho antes do bloco
// (fora de linha: embutidos, o GCC veria o cabeçalho como fora do objeto).
namespace heap {
std::atomic<std::size_t> vivos{0}, pico{0};
constexpr std::size_t cabecalho = alignof(std::max_align_t);
} // namespace heap

[[gnu::noinline]] void* operator new(std::size_t n)
{
    char* bloco = static_cast<char*>(std::malloc(n + heap::cabecalho));
    if (bloco == nullptr) throw std::bad_alloc();
    *reinterpret_cast<std::size_t*>(bloco) = n;
    const std::size_t agora = heap::vivos += n;
    for (std::size_t p = heap::pico; agora > p && !heap::pico.compare_exchange_weak(p, agora);) {
    }
    return bloco + heap::cabecalho;
}

[[gnu::noinline]] void operator delete(void* p) noexcept
{
    if (p == nullptr) return;
    char* bloco = static_cast<char*>(p) - heap::cabecalho;
    heap::vivos -= *reinterpret_cast<std::size_t*>(bloco);
    std::free(bloco);
}

void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using ::testing::AllOf;
using ::testing::EndsWith;

using teste::Area;
using teste::Entrada;
namespace fs = std::filesystem;

// Nome e conteúdo de cada arquivo do diretório.
std::map<std::string, std::string> retrato(const fs::path& diretorio)
{
    std::map<std::string, std::string> arquivos;
    for (const auto& item : fs::recursive_directory_iterator(diretorio)) {
        std::error_code erro;
        arquivos[item.path().lexically_relative(diretorio).string()] =
            item.is_symlink() ? "-> " + fs::read_symlink(item.path()).string()
            : item.is_regular_file(erro) ? teste::ler(item.path())
                                         : "<diretório>";
    }
    return arquivos;
}

struct Caso_ruim {
    const char* descricao;
    std::string conteudo;
    const char* trecho; // parte esperada da mensagem
    std::function<void(const fs::path&)> preparar = nullptr; // no diretório de trabalho, antes da execução
};

void PrintTo(const Caso_ruim& caso, std::ostream* saida) { *saida << caso.descricao; }

std::string utf16(const std::string& texto)
{
    std::string convertido = "\xFF\xFE";
    for (const char c : texto) convertido += std::string{c, '\0'};
    return convertido;
}

Entrada com(std::string Entrada::*campo, const char* valor)
{
    Entrada e;
    e.*campo = valor;
    return e;
}

std::vector<Caso_ruim> casos_ruins()
{
    const std::string valida = Entrada().texto();
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
        {"nu = 1.05", com(&Entrada::nu, "1.05").texto(), "nu = 1.05; o coeficiente de Poisson deve ficar entre -1 e 1"},
        {"nu = 1.3", com(&Entrada::nu, "1.3").texto(), "nu = 1.3; o coeficiente de Poisson deve ficar entre -1 e 1"},
        {"nu igual a menos 1", com(&Entrada::nu, "-1").texto(), "nu = -1; o coeficiente de Poisson deve ficar entre -1 e 1"},
        {"itmax zero", com(&Entrada::itmax, "0").texto(), "itmax = 0;"},
        {"itmax negativo", com(&Entrada::itmax, "-3").texto(), "itmax = -3;"},
        {"passo_hist zero", com(&Entrada::passo_hist, "0").texto(), "passo_hist = 0;"},
        {"nome em branco", com(&Entrada::nome_relatorio, "'   '").texto(), "nome_relatorio vazio"},
        {"nome ausente", com(&Entrada::nome_relatorio, ",").texto(), "nome_relatorio vazio"},
        {"nome é a entrada", com(&Entrada::nome_relatorio, "entrada_geral.ent").texto(), "(entrada_geral.ent)"},
        {"nome é a linha média", com(&Entrada::nome_relatorio, "'./desl_y_meio.txt'").texto(), "(desl_y_meio.txt)"},
        {"nome é o roteiro", com(&Entrada::nome_relatorio, "desl_x_meio.gnu").texto(), "(desl_x_meio.gnu)"},
        {"nome é o roteiro dos mapas", com(&Entrada::nome_relatorio, "mapas.gnu").texto(), "(mapas.gnu)"},
        {"nome é um gráfico", com(&Entrada::nome_relatorio, "'desl_x_meio.png'").texto(), "(desl_x_meio.png)"},
        {"nome é um mapa noutra pasta", com(&Entrada::nome_relatorio, "'aqui/mapa_erro.png'").texto(),
         "(mapa_erro.png)"},
        {"relatório é um dispositivo", com(&Entrada::nome_relatorio, "meunull").texto(),
         "\"meunull\": já existe com esse nome um dispositivo de caracteres",
         [](const fs::path& d) { fs::create_symlink("/dev/null", d / "meunull"); }},
        {"linha média é um FIFO", Entrada().texto(), "\"desl_y_meio.txt\": já existe com esse nome um FIFO",
         [](const fs::path& d) { ::mkfifo((d / "desl_y_meio.txt").c_str(), 0644); }},
        {"relatório protegido", Entrada().texto(), "\"relatorio.txt\": o arquivo existente está protegido contra escrita",
         [](const fs::path& d) {
             teste::gravar(d / "relatorio.txt", "anterior");
             fs::permissions(d / "relatorio.txt", fs::perms::owner_read | fs::perms::group_read);
         }},
        {"nome com controle", com(&Entrada::nome_relatorio, "'a\tb'").texto(), "caracteres de controle"},
        {"alpha estoura", com(&Entrada::alpha, "1e308").texto(), "falha aritmética no cálculo"},
        {"memória", [] { Entrada e; e.Nx = e.Ny = "46000"; return e.texto(); }(), "a malha precisa de"},
        {"fração inteira", com(&Entrada::Ny, "2.5").texto(),
         "placa2d: erro: erro de leitura em entrada_geral.ent, linha 5 (parâmetro Ny): \"2.5\" não é um número inteiro\n"},
        {"lixo binário", lixo, "erro de leitura"},
        {"500 KB de algarismos reais", com(&Entrada::Lx, std::string(500000, '9').c_str()).texto(), "excede o maior"},
        {"entrada de 2 MB", valida + std::string(2 << 20, ' '), "tem mais de 1 MiB"},
        {"nome pela ligação ao diretório", com(&Entrada::nome_relatorio, "'aqui/desl_y_meio.txt'").texto(),
         "(desl_y_meio.txt)"},
        {"entrada em UTF-16", utf16(valida), "está gravado em UTF-16 (Unicode); grave-o de novo como ANSI ou UTF-8"},
        {"entrada é um diretório", "", "entrada_geral.ent no diretório de trabalho é um diretório",
         [](const fs::path& d) {
             fs::remove(d / "entrada_geral.ent");
             fs::create_directory(d / "entrada_geral.ent");
         }},
        {"entrada ausente", "", "não foi possível abrir o arquivo de entrada entrada_geral.ent",
         [](const fs::path& d) { fs::remove(d / "entrada_geral.ent"); }},
        {"entrada é um FIFO", "", "entrada_geral.ent no diretório de trabalho não é um arquivo comum, é um FIFO",
         [](const fs::path& d) {
             fs::remove(d / "entrada_geral.ent");
             ::mkfifo((d / "entrada_geral.ent").c_str(), 0644);
         }},
        {"entrada é /dev/zero", "", "não é um arquivo comum, é um dispositivo de caracteres",
         [](const fs::path& d) {
             fs::remove(d / "entrada_geral.ent");
             fs::create_symlink("/dev/zero", d / "entrada_geral.ent");
         }},
        {"entrada em ciclo", "", "é uma ligação simbólica em ciclo",
         [](const fs::path& d) {
             fs::remove(d / "entrada_geral.ent");
             fs::create_symlink("entrada_geral.ent", d / "entrada_geral.ent");
         }},
    };
}

// Cada caso é um teste: um caso que falha não esconde os seguintes.
class Recusa : public ::testing::TestWithParam<Caso_ruim> {};

TEST_P(Recusa, TerminaComMensagemENadaMudaNoDiretorio)
{
    const Caso_ruim& caso = GetParam();
    Area area;
    area.gravar_entrada(caso.conteudo);
    teste::gravar(area.arquivo("desl_x_meio.txt"), "anterior\r\n");
    fs::create_directory_symlink(".", area.arquivo("aqui"));
    if (caso.preparar) caso.preparar(area.trabalho());
    const auto antes = retrato(area.trabalho());
    const auto r = teste::executar_programa(area);
    EXPECT_NE(r.status, 0);
    EXPECT_FALSE(r.sinal);
    EXPECT_EQ(r.saida, "");
    EXPECT_THAT(r.erros, AllOf(StartsWith("placa2d: erro: "), EndsWith("\n")));
    EXPECT_THAT(r.erros, HasSubstr(caso.trecho));
    EXPECT_LT(r.erros.size(), 600u) << r.erros;
    EXPECT_EQ(retrato(area.trabalho()), antes);
}

// Nome do teste: a descrição só com letras sem acento, algarismos e _.
std::string nome_do_caso(const ::testing::TestParamInfo<Caso_ruim>& caso)
{
    std::string nome;
    for (const char c : std::string_view(caso.param.descricao)) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) nome += c;
        else if (!nome.empty() && nome.back() != '_') nome += '_';
    }
    return nome;
}

INSTANTIATE_TEST_SUITE_P(EntradasRuins, Recusa, ::testing::ValuesIn(casos_ruins()), nome_do_caso);

// Uma saída que não pode ser criada é recusada antes de um cálculo de muitos
// minutos. O limite de 30 s fica longe dos dois lados: a recusa leva uns 50 ms
// mesmo com a máquina ocupada, e o cálculo, se começasse, duraria bem mais.
TEST(Recusa_antes_do_calculo, SaidaImpossivelNaoEsperaOCalculo)
{
    const struct {
        const char* nome;
        const char* trecho;
        const char* diretorio; // criado antes
    } casos[] = {
        {"'nao/existe/rel.txt'", "\"nao/existe/rel.txt\": o diretório não existe", nullptr},
        {"'entrada_geral.ent/rel.txt'", "uma parte do caminho é um arquivo, não um diretório", nullptr},
        {"pasta", "\"pasta\": já existe um diretório com esse nome", "pasta"},
        {"rel.txt", "\"desl_y_meio.txt\": já existe um diretório", "desl_y_meio.txt"},
    };
    for (const auto& caso : casos) {
        SCOPED_TRACE(caso.nome);
        Area area;
        Entrada e;
        e.nome_relatorio = caso.nome;
        e.Nx = e.Ny = "201";
        e.itmax = "1";
        e.itgs = "2000";
        e.itdesl = "2000";
        area.gravar_entrada(e.texto());
        if (caso.diretorio) fs::create_directory(area.arquivo(caso.diretorio));
        const auto antes = retrato(area.trabalho());
        teste::Em_execucao execucao(area);
        const auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!execucao.terminou() && std::chrono::steady_clock::now() < limite) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        const bool no_prazo = execucao.terminou();
        if (!no_prazo) ::kill(execucao.pid(), SIGKILL);
        const auto r = execucao.esperar();
        ASSERT_TRUE(no_prazo) << "ainda calculando depois de 30 s";
        EXPECT_EQ(r.status, 1);
        EXPECT_THAT(r.erros, HasSubstr(caso.trecho));
        EXPECT_EQ(retrato(area.trabalho()), antes);
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
        EXPECT_THAT(std::string(e.what()), HasSubstr("falha aritmética no teste: divisão por zero"));
    }
    limpar_falhas_aritmeticas();
    r = zero / zero;
    EXPECT_THROW(verificar_falhas_aritmeticas("no teste"), Erro_execucao);
    limpar_falhas_aritmeticas();
    (void)r;
}

// nu entre 0,5 e 1 não é físico, mas as equações valem e entradas guardadas o usam.
TEST(FalhasAritmeticas, ExecucaoValidaNaoLigaNenhumIndicador)
{
    for (const char* nu : {"0.3", "0.5", "0.9", "-0.9"}) {
        Area area;
        Entrada e;
        e.Nx = "17";
        e.Ny = "9";
        e.Lx = "1e-3";
        e.Ly = "2e-3";
        e.alpha = "1e-300";
        e.nu = nu;
        area.gravar_entrada(e.texto());
        const auto r = teste::executar_programa(area);
        EXPECT_EQ(r.status, 0) << nu << r.erros;
    }
}

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
    EXPECT_EQ(retrato("."), (std::map<std::string, std::string>{
                                {"a.txt", "novo\r\n"}, {"b.txt", "novo\r\n"}, {"c.txt", "<diretório>"}, {"c.txt/ocupado", "<diretório>"}}));
}

TEST_F(Gravacao, ConcluidoSubstituiODestino)
{
    teste::gravar("rel.txt", std::string(1000, 'x'));
    Arquivo_saida f("rel.txt");
    f.escrever(Linha().texto("curto"));
    f.concluir();
    EXPECT_EQ(retrato("."), (std::map<std::string, std::string>{{"rel.txt", "curto\r\n"}}));
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
    const auto antes = retrato(".");
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
    EXPECT_EQ(retrato("."), antes);
}

// Saídas de uma execução anterior, para ver que nada muda quando a gravação falha.
void saidas_anteriores(const Area& area)
{
    for (const char* nome : {"rel.txt", "desl_x_meio.txt", "desl_y_meio.txt"}) {
        teste::gravar(area.arquivo(nome), std::string("anterior de ") + nome);
    }
}

Entrada grande(const char* n)
{
    Entrada e;
    e.nome_relatorio = "rel.txt";
    e.Nx = e.Ny = n;
    e.itmax = "10";
    e.itgs = e.itdesl = "1";
    return e;
}

// Com SIGXFSZ ignorado antes (trap) ou não: o programa o ignora e dá a mensagem.
TEST(Gravacao_execucao, FalhaNumArquivoDepoisDeOutroGravadoNaoMudaNenhum)
{
    for (const char* preambulo : {"ulimit -f 16; trap '' XFSZ", "ulimit -f 16"}) {
        SCOPED_TRACE(preambulo);
        Area area;
        Entrada e; // relatório de uns 6 KB, desl_x_meio.txt de 31 KB
        e.nome_relatorio = "rel.txt";
        e.Nx = "3";
        e.Ny = "400";
        e.modo_saida = "0";
        e.passo_hist = "1000";
        area.gravar_entrada(e.texto());
        saidas_anteriores(area);
        const auto antes = retrato(area.trabalho());
        const auto r = teste::executar_programa(area, false, preambulo);
        EXPECT_EQ(r.status, 1);
        EXPECT_THAT(r.erros, HasSubstr("falha ao gravar o arquivo de saída \"desl_x_meio.txt\": o arquivo passou do "
                                       "tamanho máximo permitido"));
        EXPECT_EQ(retrato(area.trabalho()), antes);
    }
}

// O limite de tempo de CPU (SIGXCPU) e Ctrl-\\ (SIGQUIT) no meio do cálculo:
// como SIGTERM, nenhum temporário fica e a mensagem é a da interrupção.
TEST(Gravacao_execucao, LimiteDeCpuECtrlBarraApagamOsTemporarios)
{
    const struct {
        const char* preambulo;
        int sinal;
        bool enviar;
    } casos[] = {{"ulimit -S -t 1", SIGXCPU, false}, {"", SIGQUIT, true}};
    for (const auto& caso : casos) {
        SCOPED_TRACE(caso.sinal);
        Area area;
        Entrada e = grande("201");
        e.itmax = "5000000";
        e.tol = "0";
        area.gravar_entrada(e.texto());
        saidas_anteriores(area);
        const auto antes = retrato(area.trabalho());
        teste::Em_execucao execucao(area, false, caso.preambulo);
        if (caso.enviar) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            ::kill(execucao.pid(), caso.sinal);
        }
        const auto r = execucao.esperar();
        EXPECT_EQ(r.status, 128 + caso.sinal);
        EXPECT_EQ(r.erros, "placa2d: execução interrompida; nenhum arquivo de saída foi criado ou mudado\n");
        EXPECT_EQ(retrato(area.trabalho()), antes);
    }
}

// O erro padrão é um pipe cujo leitor já saiu: a mensagem de erro não tem
// para onde ir (SIGPIPE ignorado, EPIPE), mas o status é de erro e os
// temporários somem.
TEST(Gravacao_execucao, ErroPadraoSemLeitorNaoDeixaTemporarios)
{
    Area area;
    area.gravar_entrada(com(&Entrada::alpha, "1e308").texto()); // falha depois de os temporários existirem
    saidas_anteriores(area);
    const auto antes = retrato(area.trabalho());
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
    EXPECT_EQ(retrato(area.trabalho()), antes);
}

// SIGTERM com os temporários criados e vazios (no cálculo, que não acabaria
// antes) e quando já recebem bytes (mandado pelo strace na 200ª escrita da
// thread principal: o relatório de 83 MB tem mais de mil, e o
// AddressSanitizer faz umas dez antes dele): os temporários somem e os
// arquivos anteriores ficam.
TEST(Gravacao_execucao, SigtermNoCalculoOuNaGravacaoApagaOsTemporarios)
{
    EXIGIR_COMANDO("strace");
    for (const bool gravando : {false, true}) {
        SCOPED_TRACE(gravando ? "na gravação" : "no cálculo");
        Area area;
        area.gravar_entrada((gravando ? grande("601") : teste::sem_fim()).texto());
        saidas_anteriores(area);
        const auto antes = retrato(area.trabalho());
        teste::Em_execucao execucao(area, false, "", gravando ? teste::strace("write", "signal=TERM:when=200") : "");
        const auto temporarios = [&] {
            int n = 0;
            for (const auto& item : fs::directory_iterator(area.trabalho())) n += item.path().extension() == ".parcial";
            return n;
        };
        const auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!gravando && temporarios() < 3 && !execucao.terminou() && std::chrono::steady_clock::now() < limite) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (!gravando && !execucao.terminou()) ::kill(execucao.pid(), SIGTERM);
        const auto r = execucao.esperar();
        EXPECT_EQ(r.status, 128 + SIGTERM);
        EXPECT_EQ(r.erros, "placa2d: execução interrompida; nenhum arquivo de saída foi criado ou mudado\n");
        EXPECT_EQ(retrato(area.trabalho()), antes);
    }
}

TEST(Gravacao_execucao, SubstituicaoMantemAsPermissoesDoArquivoAnterior)
{
    Area area;
    area.gravar_entrada(grande("5").texto());
    saidas_anteriores(area);
    fs::permissions(area.arquivo("rel.txt"), fs::perms(0664));
    fs::permissions(area.arquivo("desl_x_meio.txt"), fs::perms(0600));
    ASSERT_EQ(teste::executar_programa(area).status, 0);
    EXPECT_NE(teste::ler(area.arquivo("rel.txt")), "anterior de rel.txt");
    EXPECT_EQ(fs::status(area.arquivo("rel.txt")).permissions(), fs::perms(0664));
    EXPECT_EQ(fs::status(area.arquivo("desl_x_meio.txt")).permissions(), fs::perms(0600));
}

// Durabilidade, vista pelas chamadas ao sistema: cada temporário vai ao disco
// (fsync) antes da primeira troca, e a pasta depois da última.
TEST(Gravacao_execucao, TemporariosNoDiscoAntesDasTrocasEAPastaDepois)
{
    if (std::system("command -v strace >/dev/null 2>&1") != 0) {
        if (const char* ci = std::getenv("CI"); ci != nullptr && std::string(ci) == "true") FAIL() << "falta o strace";
        GTEST_SKIP() << "strace não instalado";
    }
    Area area;
    area.gravar_entrada(grande("5").texto());
    const fs::path registro = area.bin() / "strace.txt";
    const std::string comando = "cd '" + area.trabalho().string() + "' && PATH='" + area.bin().string() + ":" +
                                std::getenv("PATH") + "' strace -o '" + registro.string() +
                                "' -e trace=openat,fsync,fdatasync,rename,renameat,renameat2 '" + PLACA2D_EXECUTAVEL +
                                "' </dev/null >/dev/null 2>&1";
    ASSERT_EQ(std::system(comando.c_str()), 0);
    std::map<std::string, std::string> aberto; // descritor -> nome
    std::vector<std::string> no_disco, trocados;
    bool pasta_depois = false;
    std::istringstream linhas(teste::ler(registro));
    for (std::string l; std::getline(linhas, l);) {
        const auto entre_aspas = [&](std::size_t n) {
            std::size_t a = 0;
            for (std::size_t i = 0; i <= n; ++i) a = l.find('"', i == 0 ? 0 : l.find('"', a + 1) + 1);
            return l.substr(a + 1, l.find('"', a + 1) - a - 1);
        };
        const std::size_t igual = l.rfind(" = ");
        const std::string resultado = igual == std::string::npos ? "" : l.substr(igual + 3);
        if (l.starts_with("openat(") && resultado.find_first_not_of("0123456789") != 0) {
            aberto[resultado.substr(0, resultado.find(' '))] = entre_aspas(0);
        } else if (l.starts_with("fsync(") || l.starts_with("fdatasync(")) {
            const std::string nome = aberto[l.substr(l.find('(') + 1, l.find(')') - l.find('(') - 1)];
            if (nome.ends_with(".parcial")) no_disco.push_back(nome);
            if (nome == "." && trocados.size() == 3) pasta_depois = true;
        } else if (l.starts_with("rename")) {
            const std::string temporario = entre_aspas(0);
            EXPECT_EQ(no_disco.size(), 3u) << "troca antes de todos no disco: " << l;
            EXPECT_NE(std::find(no_disco.begin(), no_disco.end(), temporario), no_disco.end()) << l;
            trocados.push_back(temporario);
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
    auto arquivos = retrato(area.trabalho());
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

TEST(Memoria, EstimativaCobreOPicoDoCalculo)
{
    teste::Ajustes_rapidos ajustes;
    rapido::usar_no_driver(false); // os rápidos conferem a memória das faixas à parte
    reiniciar_variaveis();
    auto& e = estado;
    e.Lx = e.Ly = 1.0;
    e.Nx = 100;
    e.Ny = 50;
    e.itmax = 999;
    e.itgs = e.itdesl = 2;
    e.nu = 0.3;
    e.alpha = 1e-5;
    e.passo_hist = 1;
    const std::size_t base = heap::vivos;
    heap::pico = base;
    processar();
    const std::size_t pico = heap::pico - base;
    // As histórias vêm do alocador sob demanda, fora do heap.
    EXPECT_LE(pico, memoria_necessaria(e.it));
    EXPECT_GE(pico, memoria_necessaria(0) * 9 / 10) << "estimativa que recusaria malhas que cabem";
    reiniciar_variaveis();
}

// itmax não custa a memória que a execução não usa: 2e9 iterações
// reservadas (48 GB de histórias), umas cem feitas.
TEST(Memoria, ItmaxNaoCustaOQueAExecucaoNaoUsa)
{
    Area area;
    area.gravar_entrada(com(&Entrada::itmax, "2000000000").texto());
    const auto r = teste::executar_programa(area);
    EXPECT_EQ(r.status, 0) << r.erros;
    struct rusage uso {};
    ::getrusage(RUSAGE_CHILDREN, &uso);
    EXPECT_LT(uso.ru_maxrss, 200 * 1024) << "KiB";
}

} // namespace
