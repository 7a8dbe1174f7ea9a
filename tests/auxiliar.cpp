#include "auxiliar.hpp"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace teste {

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

std::string Entrada::texto() const
{
    return nome_relatorio + "  nome do relatório\n" + Lx + "  Lx\n" + Ly + "  Ly\n" + Nx + "  Nx\n" + Ny + "  Ny\n" +
           itmax + "  itmax\n" + itgs + "  itgs\n" + itdesl + "  itdesl\n" + tol + "  tol\n" + reserva +
           "  reserva\n" + nu + "  nu\n" + alpha + "  alpha\n" + modo_saida + "  modo_saida\n" + passo_hist +
           "  passo_hist\n";
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

Em_execucao::Em_execucao(const Area& area, bool so_substitutos, const std::string& preambulo)
{
    static std::atomic<int> contador{0};
    const std::string n = std::to_string(contador++);
    saida_ = area.bin() / ("saida-" + n + ".txt");
    erros_ = area.bin() / ("erros-" + n + ".txt");
    std::string caminho = area.bin().string();
    if (!so_substitutos) caminho.append(":").append(std::getenv("PATH"));
    const std::string comando = preambulo + "\ncd '" + area.trabalho().string() + "' && PATH='" + caminho +
                                "' exec '" + PLACA2D_EXECUTAVEL + "' > '" + saida_.string() + "' 2> '" +
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

Resultado executar_programa(const Area& area, bool so_substitutos, const std::string& preambulo)
{
    return Em_execucao(area, so_substitutos, preambulo).esperar();
}

No_diretorio::No_diretorio(const fs::path& destino) : anterior_(fs::current_path()) { fs::current_path(destino); }

No_diretorio::~No_diretorio() { fs::current_path(anterior_); }

} // namespace teste
