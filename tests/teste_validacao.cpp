// Entradas recusadas, falhas aritméticas e a memória que o cálculo e a gravação pedem.
#include "entrada_saida/campos.hpp"
#include "entrada_saida/formatacao.hpp"
#include "entrada_saida/validacao.hpp"
#include "modelo/erros.hpp"
#include "modelo/variaveis.hpp"
#include "roteiro/processamento.hpp"
#include "solvers/solvers_rapidos.hpp"
#include "auxiliar.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <new>
#include <sys/resource.h>

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

struct Caso_ruim {
    const char* descricao;
    std::string conteudo;
    const char* trecho; // parte esperada da mensagem
    std::function<void(const fs::path&)> preparar = nullptr; // no diretório de trabalho, antes da execução
    const char* argumentos = "";
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
        {"Ny = 2", com(&Entrada::Ny, "2").texto(), "Ny = 2; são necessários pelo menos 3 nós"},
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
        {"nome é o dos campos pedidos", com(&Entrada::nome_relatorio, "'aqui/campos.csv'").texto(), "(campos.csv)",
         nullptr, "--campos"},
        {"campos num FIFO", Entrada().texto(), "\"campos.vti\": já existe com esse nome um FIFO",
         [](const fs::path& d) { ::mkfifo((d / "campos.vti").c_str(), 0644); }, "--campos"},
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
        {"entrada ausente", "", "não foi possível abrir o arquivo de entrada entrada_geral.ent: ele não está na pasta "
                                "em que o placa2d foi iniciado, \"/",
         [](const fs::path& d) { fs::remove(d / "entrada_geral.ent"); }},
        {"entrada salva com .txt", valida, "/trabalho\"; há nela \"entrada_geral.ent.txt\", que parece ser ele com "
                                           "outro nome: renomeie-o para entrada_geral.ent",
         [](const fs::path& d) { fs::rename(d / "entrada_geral.ent", d / "entrada_geral.ent.txt"); }},
        {"entrada com maiúsculas e branco", valida, "há nela \"Entrada_Geral.ENT \", que parece ser ele",
         [](const fs::path& d) { fs::rename(d / "entrada_geral.ent", d / "Entrada_Geral.ENT "); }},
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
    const auto antes = teste::retrato(area.trabalho());
    const auto r = teste::executar_programa(area, false, "", "", caso.argumentos);
    EXPECT_NE(r.status, 0);
    EXPECT_FALSE(r.sinal);
    EXPECT_EQ(r.saida, "");
    // Antes do erro, só avisos (dx ≠ dy numa placa de 1e308 m, por exemplo).
    std::string erro = r.erros;
    while (erro.starts_with("placa2d: aviso: ")) erro.erase(0, erro.find('\n') + 1);
    EXPECT_THAT(erro, AllOf(StartsWith("placa2d: erro: "), EndsWith("\n")));
    EXPECT_THAT(erro, HasSubstr(caso.trecho));
    EXPECT_LT(erro.size(), 600u) << erro;
    EXPECT_EQ(teste::retrato(area.trabalho()), antes);
}

INSTANTIATE_TEST_SUITE_P(EntradasRuins, Recusa, ::testing::ValuesIn(casos_ruins()),
                         [](const auto& i) { return teste::nome_de_linha(i.param.descricao); });

// Uma saída que não pode ser criada é recusada antes do cálculo: com
// alpha = 1e308, o cálculo acabaria em falha aritmética, e a mensagem seria
// outra.
TEST(Recusa_antes_do_calculo, SaidaImpossivelNaoEsperaOCalculo)
{
    const struct {
        const char* nome;
        const char* trecho;
        const char* diretorio; // criado antes
        const char* argumentos = "";
    } casos[] = {
        {"'nao/existe/rel.txt'", "\"nao/existe/rel.txt\": o diretório não existe", nullptr},
        {"'entrada_geral.ent/rel.txt'", "uma parte do caminho é um arquivo, não um diretório", nullptr},
        {"pasta", "\"pasta\": já existe um diretório com esse nome", "pasta"},
        {"rel.txt", "\"desl_y_meio.txt\": já existe um diretório", "desl_y_meio.txt"},
        {"rel.txt", "\"campos.csv\": já existe um diretório", "campos.csv", "--campos"},
    };
    for (const auto& caso : casos) {
        SCOPED_TRACE(caso.nome);
        Area area;
        Entrada e;
        e.nome_relatorio = caso.nome;
        e.alpha = "1e308";
        area.gravar_entrada(e.texto());
        if (caso.diretorio) fs::create_directory(area.arquivo(caso.diretorio));
        const auto antes = teste::retrato(area.trabalho());
        const auto r = teste::executar_programa(area, false, "", "", caso.argumentos);
        EXPECT_EQ(r.status, 1);
        EXPECT_THAT(r.erros, HasSubstr(caso.trecho));
        EXPECT_EQ(teste::retrato(area.trabalho()), antes);
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

TEST(Memoria, EstimativaCobreOPicoDoCalculoEDaGravacaoDosCampos)
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
    {
        // Os campos são gravados nó a nó: nada do tamanho da malha a mais.
        Area area;
        teste::No_diretorio no(area.trabalho());
        solucao_analitica();
        Arquivo_saida vti("campos.vti"), csv("campos.csv");
        escrever_campos_vti(vti);
        escrever_campos_csv(csv);
        concluir_juntos({&vti, &csv});
    }
    EXPECT_LE(heap::pico - base, memoria_necessaria(e.it)) << "na gravação dos campos";
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
