// Utilidades dos testes: diretórios temporários, arquivos de entrada e a
// execução do programa real com notepad e wgnuplot substitutos no PATH.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace teste {

namespace fs = std::filesystem;

std::string ler(const fs::path& arquivo);
void gravar(const fs::path& arquivo, std::string_view conteudo);

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
// no mesmo processo (ulimit, por exemplo). O processo é o do próprio placa2d.
class Em_execucao {
public:
    Em_execucao(const Area& area, bool so_substitutos = false, const std::string& preambulo = "");
    int pid() const { return pid_; }
    // Se o processo já terminou (não espera).
    bool terminou();
    Resultado esperar();

private:
    int pid_ = -1;
    int bruto_ = 0;
    bool colhido_ = false;
    fs::path saida_, erros_;
};

Resultado executar_programa(const Area& area, bool so_substitutos = false, const std::string& preambulo = "");

// Muda o diretório de trabalho do processo enquanto existir.
class No_diretorio {
public:
    explicit No_diretorio(const fs::path& destino);
    ~No_diretorio();

private:
    fs::path anterior_;
};

} // namespace teste
