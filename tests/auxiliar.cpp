#include "auxiliar.hpp"

#include "costuras.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <cerrno>
#include <pty.h>
#include <sys/wait.h>
#include <thread>
#include <vector>
#include <unistd.h>

namespace teste {

bool no_ci()
{
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::string(ci) == "true";
}

bool existe_comando(const std::string& nome)
{
    return std::system(("command -v " + nome + " >/dev/null 2>&1").c_str()) == 0;
}

Ajustes_rapidos::~Ajustes_rapidos()
{
    rapido::usar_melhores_instrucoes();
    rapido::definir_threads(0);
    rapido::usar_no_driver(true);
    costuras::teste::falhar_alocacao(std::nullopt);
    costuras::teste::falhar_criacao_de_threads(-1);
}

std::string nome_das_instrucoes(const ::testing::TestParamInfo<rapido::Instrucoes>& info)
{
    switch (info.param) {
    case rapido::Instrucoes::avx512: return "avx512";
    case rapido::Instrucoes::avx2: return "avx2";
    case rapido::Instrucoes::portavel: break;
    }
    return "portavel";
}

std::string nome_de_linha(std::string_view descricao)
{
    // As letras acentuadas em UTF-8 (dois bytes cada) e a letra sem acento.
    constexpr std::string_view acentuadas = "áàâãéêíóôõúçÁÉÍÓÚÇ", sem_acento = "aaaaeeioooucAEIOUC";
    std::string nome;
    for (std::size_t i = 0; i < descricao.size(); ++i) {
        char c = descricao[i];
        const std::size_t a = acentuadas.find(descricao.substr(i, 2));
        if (a != std::string_view::npos && a % 2 == 0) c = sem_acento[a / 2], ++i;
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) nome += c;
        else if (!nome.empty() && nome.back() != '_') nome += '_';
    }
    return nome;
}

std::string ler(const fs::path& arquivo)
{
    std::ifstream f(arquivo, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void gravar(const fs::path& arquivo, std::string_view conteudo)
{
    std::ofstream f(arquivo, std::ios::binary | std::ios::trunc);
    f.write(conteudo.data(), static_cast<std::streamsize>(conteudo.size()));
}

std::map<std::string, std::string> retrato(const fs::path& diretorio)
{
    std::map<std::string, std::string> arquivos;
    for (const auto& item : fs::recursive_directory_iterator(diretorio)) {
        std::error_code erro;
        arquivos[item.path().lexically_relative(diretorio).string()] =
            item.is_symlink() ? "-> " + fs::read_symlink(item.path()).string()
            : item.is_regular_file(erro) ? ler(item.path())
                                         : "<diretório>";
    }
    return arquivos;
}

std::string Entrada::texto() const
{
    return nome_relatorio + "  nome do relatório\n" + Lx + "  Lx\n" + Ly + "  Ly\n" + Nx + "  Nx\n" + Ny + "  Ny\n" +
           itmax + "  itmax\n" + itgs + "  itgs\n" + itdesl + "  itdesl\n" + tol + "  tol\n" + reserva +
           "  reserva\n" + nu + "  nu\n" + alpha + "  alpha\n" + modo_saida + "  modo_saida\n" + passo_hist +
           "  passo_hist\n";
}

Entrada sem_fim()
{
    Entrada e;
    e.nome_relatorio = "rel.txt";
    e.Nx = e.Ny = "1001";
    e.itmax = "100000";
    e.tol = "0";
    e.modo_saida = "2";
    return e;
}

Area::Area()
{
    static std::atomic<int> contador{0};
    std::random_device aleatorio;
    base_ = fs::temp_directory_path() /
            ("placa2d-teste-" + std::to_string(::getpid()) + "-" + std::to_string(contador++) + "-" +
             std::to_string(aleatorio()));
    trabalho_ = base_ / "trabalho";
    fs::create_directories(trabalho_);
    fs::create_directories(bin());
    criar_substituto("notepad");
    criar_substituto("wgnuplot");
}

Area::~Area()
{
    std::error_code ignorado;
    fs::permissions(base_, fs::perms::owner_all, fs::perm_options::add, ignorado);
    fs::remove_all(base_, ignorado);
}

void Area::gravar_entrada(std::string_view conteudo) const { gravar(arquivo("entrada_geral.ent"), conteudo); }

void Area::criar_substituto(const std::string& nome, const std::string& corpo) const
{
    const fs::path script = bin() / nome;
    gravar(script, "#!/bin/sh\necho \"" + nome + " $*\" >> '" + (base_ / "comandos.log").string() + "'\n" + corpo + "\n");
    fs::permissions(script, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
}

std::string Area::comandos() const { return ler(base_ / "comandos.log"); }

::testing::AssertionResult mesmos_bytes(std::string_view obtido, std::string_view esperado)
{
    if (obtido == esperado) return ::testing::AssertionSuccess();
    const auto a = std::mismatch(obtido.begin(), obtido.end(), esperado.begin(), esperado.end()).first;
    const std::size_t i = static_cast<std::size_t>(a - obtido.begin());
    const auto linha_em = [i](std::string_view t) {
        const std::size_t inicio = i == 0 ? 0 : t.rfind('\n', std::min(i, t.size()) - 1) + 1;
        return std::string(t.substr(inicio, t.find('\n', inicio) - inicio));
    };
    const auto byte = [](std::string_view t, std::size_t k) {
        return k < t.size() ? std::to_string(static_cast<unsigned char>(t[k])) : std::string("fim");
    };
    const std::size_t linha = 1 + static_cast<std::size_t>(std::count(obtido.begin(), a, '\n'));
    return ::testing::AssertionFailure() << "primeira diferença no byte " << i << " (linha " << linha << "): obtido "
                                         << byte(obtido, i) << ", esperado " << byte(esperado, i) << "\n  obtido:   "
                                         << linha_em(obtido) << "\n  esperado: " << linha_em(esperado)
                                         << "\n  (tamanhos " << obtido.size() << " e " << esperado.size() << ")";
}

Em_execucao::Em_execucao(const Area& area, bool so_substitutos, const std::string& preambulo,
                         const std::string& envoltorio, const std::string& argumentos)
{
    static std::atomic<int> contador{0};
    const std::string n = std::to_string(contador++);
    saida_ = area.bin() / ("saida-" + n + ".txt");
    erros_ = area.bin() / ("erros-" + n + ".txt");
    std::string caminho = area.bin().string();
    if (!so_substitutos) caminho.append(":").append(std::getenv("PATH"));
    const std::string comando = preambulo + "\ncd '" + area.trabalho().string() + "' && PATH='" + caminho +
                                "' exec " + envoltorio + " '" + PLACA2D_EXECUTAVEL + "' " + argumentos + " > '" +
                                saida_.string() + "' 2> '" +
                                erros_.string() + "' < /dev/null";
    pid_ = ::fork();
    if (pid_ == 0) {
        for (const int s : {SIGINT, SIGTERM, SIGHUP}) std::signal(s, SIG_DFL);
        ::execl("/bin/sh", "sh", "-c", comando.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
}

bool Em_execucao::terminou()
{
    colhido_ = colhido_ || ::waitpid(pid_, &bruto_, WNOHANG) == pid_;
    return colhido_;
}

bool Em_execucao::esperar_por(const std::function<bool()>& pronto)
{
    while (!pronto()) {
        if (terminou()) return pronto();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

Resultado Em_execucao::esperar()
{
    if (!colhido_) ::waitpid(pid_, &bruto_, 0);
    colhido_ = true;
    const int bruto = bruto_;
    Resultado r;
    if (WIFEXITED(bruto)) r.status = WEXITSTATUS(bruto);
    r.sinal = WIFSIGNALED(bruto) || (WIFEXITED(bruto) && WEXITSTATUS(bruto) > 128);
    r.saida = ler(saida_);
    r.erros = ler(erros_);
    fs::remove(saida_);
    fs::remove(erros_);
    return r;
}

Resultado executar_programa(const Area& area, bool so_substitutos, const std::string& preambulo,
                            const std::string& envoltorio, const std::string& argumentos)
{
    return Em_execucao(area, so_substitutos, preambulo, envoltorio, argumentos).esperar();
}

// Sob o strace, o LeakSanitizer não consegue parar as threads e falha no
// fim (status 1): a procura de vazamentos fica para as outras execuções.
std::string sem_busca_de_vazamentos() { return "env ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0\" "; }

std::string strace(const std::string& chamadas, const std::string& injecao)
{
    return sem_busca_de_vazamentos() + "strace -D -o /dev/null -e trace=" + chamadas + " -e inject=" + chamadas + ":" +
           injecao;
}

No_terminal::No_terminal(const Area& area, const std::string& preambulo, const std::string& envoltorio)
{
    static std::atomic<int> contador{0};
    saida_ = area.bin() / ("saida-terminal-" + std::to_string(contador++) + ".txt");
    struct winsize tamanho {};
    tamanho.ws_row = 24;
    tamanho.ws_col = 100;
    int escravo = -1;
    if (::openpty(&mestre_, &escravo, nullptr, nullptr, &tamanho) != 0) return;
    const std::string comando = preambulo + "\ncd '" + area.trabalho().string() + "' && PATH='" +
                                area.bin().string() + ":" + std::getenv("PATH") + "' exec " + envoltorio + " '" +
                                PLACA2D_EXECUTAVEL +
                                "' > '" + saida_.string() + "' < /dev/null";
    pid_ = ::fork();
    if (pid_ == 0) {
        for (const int s : {SIGINT, SIGTERM, SIGHUP}) std::signal(s, SIG_DFL);
        ::dup2(escravo, STDERR_FILENO);
        ::close(escravo);
        ::close(mestre_);
        ::execl("/bin/sh", "sh", "-c", comando.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(escravo);
}

bool No_terminal::ler_ate(std::string_view texto)
{
    char bloco[4096];
    // Até o último descritor do escravo fechar (EIO), também nos substitutos.
    while (lido_.find(texto) == std::string::npos) {
        const ssize_t n = ::read(mestre_, bloco, sizeof bloco);
        if (n > 0) lido_.append(bloco, static_cast<std::size_t>(n));
        else if (n < 0 && errno == EINTR) continue;
        else return false;
    }
    return true;
}

Resultado No_terminal::esperar()
{
    Resultado r;
    ler_ate(std::string_view("\0", 1)); // o terminal não recebe NUL: lê até o fim
    r.erros = lido_;
    ::close(mestre_);
    int bruto = 0;
    ::waitpid(pid_, &bruto, 0);
    if (WIFEXITED(bruto)) r.status = WEXITSTATUS(bruto);
    r.sinal = WIFSIGNALED(bruto) || (WIFEXITED(bruto) && WEXITSTATUS(bruto) > 128);
    r.saida = ler(saida_);
    fs::remove(saida_);
    return r;
}

std::string tela(std::string_view bytes)
{
    std::vector<std::vector<std::string>> linhas(1); // uma célula por caractere
    std::size_t coluna = 0;
    for (std::size_t i = 0; i < bytes.size();) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            if (c == '\n') linhas.emplace_back();
            coluna = 0;
            ++i;
            continue;
        }
        std::size_t fim = i + 1;
        while (fim < bytes.size() && (static_cast<unsigned char>(bytes[fim]) & 0xC0) == 0x80) ++fim;
        auto& linha = linhas.back();
        if (linha.size() <= coluna) linha.resize(coluna + 1, " ");
        linha[coluna++] = std::string(bytes.substr(i, fim - i));
        i = fim;
    }
    std::string resultado;
    for (const auto& linha : linhas) {
        std::string texto;
        for (const auto& celula : linha) texto += celula;
        while (!texto.empty() && texto.back() == ' ') texto.pop_back();
        resultado += texto + "\n";
    }
    return resultado;
}

No_diretorio::No_diretorio(const fs::path& destino) : anterior_(fs::current_path()) { fs::current_path(destino); }

No_diretorio::~No_diretorio() { fs::current_path(anterior_); }

} // namespace teste

void rapido::PrintTo(Instrucoes conjunto, std::ostream* saida) { *saida << nome(conjunto); }
