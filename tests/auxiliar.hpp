// Utilidades dos testes: diretórios temporários, arquivos de entrada e a
// execução do programa real com notepad e wgnuplot substitutos no PATH.
#pragma once

#include "solvers/rapidos/ajustes.hpp"
#include "solvers/solvers_rapidos.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <tuple>

namespace teste {

bool no_ci(); // CI=true
bool existe_comando(const std::string& nome);

// Sem a ferramenta o teste é pulado, menos no CI, que a instala.
#define EXIGIR_COMANDO(nome)                                                                             \
    do {                                                                                                 \
        if (!teste::existe_comando(nome)) {                                                              \
            if (teste::no_ci()) FAIL() << nome << " não está instalado no CI";                           \
            GTEST_SKIP() << nome << " não está instalado";                                               \
        }                                                                                                \
    } while (0)

// Os ajustes do processo que os testes dos solvers rápidos mudam (conjunto de
// instruções, threads, solvers do driver, falhas simuladas) voltam ao padrão
// quando o objeto sai de escopo, também depois de uma falha no meio do teste.
class Ajustes_rapidos {
public:
    Ajustes_rapidos() = default;
    ~Ajustes_rapidos();
    Ajustes_rapidos(const Ajustes_rapidos&) = delete;
    Ajustes_rapidos& operator=(const Ajustes_rapidos&) = delete;
};

// Testes repetidos com os núcleos de cada conjunto de instruções (os que a
// CPU não tem são pulados), sozinho ou com a linha de uma tabela; os ajustes
// voltam ao padrão no fim de cada um.
inline rapido::Instrucoes instrucoes_de(rapido::Instrucoes conjunto) { return conjunto; }
template <class Linha>
rapido::Instrucoes instrucoes_de(const std::tuple<rapido::Instrucoes, Linha>& p) { return std::get<0>(p); }

template <class Parametro = rapido::Instrucoes>
class Por_instrucoes : public ::testing::TestWithParam<Parametro> {
protected:
    void SetUp() override
    {
        const rapido::Instrucoes conjunto = instrucoes_de(this->GetParam());
        if (!rapido::usar_instrucoes(conjunto)) GTEST_SKIP() << "a CPU não tem " << rapido::nome(conjunto);
    }
    Ajustes_rapidos ajustes_;
};

inline auto todas_as_instrucoes()
{
    return ::testing::Values(rapido::Instrucoes::portavel, rapido::Instrucoes::avx2, rapido::Instrucoes::avx512);
}
std::string nome_das_instrucoes(const ::testing::TestParamInfo<rapido::Instrucoes>& info); // portavel, avx2, avx512

// Nome de uma linha de tabela (TEST_P) pela descrição: só letras sem acento,
// algarismos e _, para a linha poder ser rodada sozinha.
std::string nome_de_linha(std::string_view descricao);
template <class Linha>
std::string nome_da_linha(const ::testing::TestParamInfo<Linha>& info)
{
    return nome_de_linha(info.param.caso);
}

namespace fs = std::filesystem;

std::string ler(const fs::path& arquivo);
void gravar(const fs::path& arquivo, std::string_view conteudo);
// Nome e conteúdo de cada arquivo do diretório (ligações pelo alvo).
std::map<std::string, std::string> retrato(const fs::path& diretorio);

// Igualdade byte a byte; na falha, o primeiro byte diferente (posição e linha)
// e as duas linhas em que ele está.
::testing::AssertionResult mesmos_bytes(std::string_view obtido, std::string_view esperado);

// Os catorze valores de um arquivo de entrada, como texto, com comentários.
struct Entrada {
    std::string nome_relatorio = "'relatorio.txt'";
    std::string Lx = "1.0";
    std::string Ly = "1.0";
    std::string Nx = "5";
    std::string Ny = "5";
    std::string itmax = "100";
    std::string itgs = "10";
    std::string itdesl = "3";
    std::string tol = "1.0E-6";
    std::string reserva = "0";
    std::string nu = "0.3";
    std::string alpha = "1.2E-5";
    std::string modo_saida = "1";
    std::string passo_hist = "3";

    std::string texto() const;
};

// Um cálculo que nenhuma máquina termina antes de ser interrompido: 1001 x
// 1001 nós e 100000 varreduras (tol 0 faz sempre itmax varreduras), 10^11
// atualizações de nó, minutos aqui.
Entrada sem_fim();

// Área de uma execução: base/trabalho é o diretório de trabalho do programa,
// base/bin tem os substitutos, base/comandos.log registra os comandos.
class Area {
public:
    Area();
    ~Area();
    Area(const Area&) = delete;
    Area& operator=(const Area&) = delete;

    const fs::path& trabalho() const { return trabalho_; }
    fs::path bin() const { return base_ / "bin"; }
    fs::path arquivo(std::string_view nome) const { return trabalho_ / nome; }
    void gravar_entrada(std::string_view conteudo) const;
    // Substituto que registra "nome argumentos" e depois executa `corpo` (sh).
    void criar_substituto(const std::string& nome, const std::string& corpo = "") const;
    // Comandos registrados pelos substitutos, uma linha cada.
    std::string comandos() const;

private:
    fs::path base_;
    fs::path trabalho_;
};

struct Resultado {
    int status = -1;     // status de saída, se terminou normalmente
    bool sinal = false;  // terminou por sinal
    std::string saida;   // stdout
    std::string erros;   // stderr
};

// O placa2d rodando em area.trabalho(), com area.bin() à frente no PATH (ou
// PATH só com area.bin(), se `so_substitutos`); `preambulo` (sh) roda antes,
// no mesmo processo (ulimit, por exemplo). `envoltorio` vai à frente do
// placa2d na linha de comando (o strace, por exemplo), e `argumentos` (sh)
// depois dele. O processo é o do próprio placa2d, ou o do envoltório.
class Em_execucao {
public:
    Em_execucao(const Area& area, bool so_substitutos = false, const std::string& preambulo = "",
                const std::string& envoltorio = "", const std::string& argumentos = "");
    int pid() const { return pid_; }
    // Se o processo já terminou (não espera).
    bool terminou();
    // Espera, sem prazo, até `pronto()` ou o fim do processo; diz se ficou pronto.
    bool esperar_por(const std::function<bool()>& pronto);
    Resultado esperar();

private:
    int pid_ = -1;
    int bruto_ = 0;
    bool colhido_ = false;
    fs::path saida_, erros_;
};

Resultado executar_programa(const Area& area, bool so_substitutos = false, const std::string& preambulo = "",
                            const std::string& envoltorio = "", const std::string& argumentos = "");

// Envoltório que roda o placa2d sob o strace, com `injecao` nas chamadas de
// sistema `chamadas` da thread principal (as outras não são seguidas):
// strace("/^rename", "delay_enter=2500000:when=1") segura a primeira
// substituição por 2,5 s. O strace é neto (-D): o processo é o placa2d, e o
// fim do strace o solta. Os testes que o usam pedem EXIGIR_COMANDO("strace").
std::string strace(const std::string& chamadas, const std::string& injecao);
// O prefixo de um comando que roda o placa2d sob o strace (o LeakSanitizer
// não funciona sob ptrace).
std::string sem_busca_de_vazamentos();

// O placa2d com o erro padrão num pseudoterminal de 100 colunas, como num
// console; `preambulo` e `envoltorio` como em Em_execucao. Em
// Resultado::erros, os bytes que chegaram ao terminal (também os dos substitutos).
class No_terminal {
public:
    No_terminal(const Area& area, const std::string& preambulo = "", const std::string& envoltorio = "");
    int pid() const { return pid_; }
    // Lê o terminal, sem prazo, até o texto aparecer (true) ou o programa terminar.
    bool ler_ate(std::string_view texto);
    Resultado esperar();

private:
    int pid_ = -1;
    int mestre_ = -1;
    fs::path saida_;
    std::string lido_;
};

// Como o terminal fica depois desses bytes: \r volta ao começo da linha e
// cada caractere UTF-8 ocupa uma coluna.
std::string tela(std::string_view bytes);

// Muda o diretório de trabalho do processo enquanto existir.
class No_diretorio {
public:
    explicit No_diretorio(const fs::path& destino);
    ~No_diretorio();

private:
    fs::path anterior_;
};

} // namespace teste

namespace rapido {
void PrintTo(Instrucoes conjunto, std::ostream* saida);
} // namespace rapido
