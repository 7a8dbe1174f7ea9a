// placa2d --campos lido como os usuários leem: o campos.csv como uma planilha
// em português (';' e vírgula decimal), o campos.vti pelo leitor XML do
// próprio VTK. O VTI em base64 leva os bytes dos doubles; o CSV tem de dar os
// mesmos bits, e os dois, os números do relatório.
#include "entrada_saida/campos.hpp"
#include "entrada_saida/formatacao.hpp"
#include "auxiliar.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr std::size_t Nx = 23, Ny = 17, N = Nx * Ny;

std::string bits(double v)
{
    char texto[32];
    return std::string(texto, std::to_chars(texto, texto + sizeof texto, v, std::chars_format::hex).ptr);
}

// Uma execução de verdade com --campos em Nx != Ny e dx != dy, com
// deslocamentos e todos os nós no relatório. Com 391 nós, cada vetor do VTI
// passa de um bloco do base64, e os dois preenchimentos ("=" e "==") aparecem.
class Campos : public ::testing::Test {
protected:
    void SetUp() override
    {
        teste::Entrada e;
        e.nome_relatorio = "rel.txt";
        e.Ly = "0.5";
        e.Nx = std::to_string(Nx);
        e.Ny = std::to_string(Ny);
        e.itmax = "300";
        area_.gravar_entrada(e.texto());
        const teste::Resultado r = teste::executar_programa(area_, false, "", "", "--campos");
        ASSERT_EQ(r.status, 0) << r.erros;
        csv_ = teste::ler(area_.arquivo("campos.csv"));
    }

    teste::Area area_;
    std::string csv_;
};

// Como uma planilha em português lê: o BOM diz UTF-8 (os acentos dos
// títulos), ';' separa, a vírgula é decimal e um ponto seria separador de
// milhar. As linhas, na ordem dos nós, são as do relatório.
TEST_F(Campos, PlanilhaEmPortuguesLeOsNumerosDoRelatorio)
{
    ASSERT_TRUE(csv_.starts_with("\xEF\xBB\xBF"));
    std::vector<std::string> linhas;
    for (std::size_t inicio = 3; inicio < csv_.size();) {
        const std::size_t fim = csv_.find("\r\n", inicio);
        ASSERT_NE(fim, std::string::npos) << "linha sem CR LF";
        linhas.push_back(csv_.substr(inicio, fim - inicio));
        inicio = fim + 2;
    }
    ASSERT_EQ(linhas.size(), N + 1);
    EXPECT_EQ(linhas[0], std::string("ix;iy;x [m];y [m];") + nome_campo::T + ";" + nome_campo::Ta + ";" +
                             nome_campo::erro + ";" + nome_campo::u + ";" + nome_campo::v);
    const std::string relatorio = teste::ler(area_.arquivo("rel.txt"));
    std::size_t temperatura = 0, deslocamento = relatorio.find("campo de deslocamentos");
    for (std::size_t k = 0; k < N; ++k) {
        SCOPED_TRACE(linhas[k + 1]);
        std::vector<std::string> campos;
        std::istringstream linha(linhas[k + 1]);
        for (std::string campo; std::getline(linha, campo, ';');) campos.push_back(campo);
        ASSERT_EQ(campos.size(), 9u);
        EXPECT_EQ(campos[0], std::to_string(k % Nx + 1));
        EXPECT_EQ(campos[1], std::to_string(k / Nx + 1));
        std::vector<double> v;
        for (std::string texto : std::vector(campos.begin() + 2, campos.end())) {
            ASSERT_EQ(texto.find_first_of(". \""), std::string::npos) << texto;
            std::replace(texto.begin(), texto.end(), ',', '.');
            double lido = 0.0;
            const auto r = std::from_chars(texto.data(), texto.data() + texto.size(), lido);
            ASSERT_TRUE(r.ec == std::errc() && r.ptr == texto.data() + texto.size()) << texto;
            v.push_back(lido);
        }
        std::string t, d;
        for (const double c : {v[0], v[1], v[2], v[3], v[4]}) t += campo_cientifico(c);
        for (const double c : {v[0], v[1], v[5], v[6]}) d += campo_cientifico(c);
        temperatura = relatorio.find(t + "\r\n", temperatura);
        deslocamento = relatorio.find(d + "\r\n", deslocamento);
        ASSERT_NE(temperatura, std::string::npos) << "temperaturas fora do relatório: " << t;
        ASSERT_NE(deslocamento, std::string::npos) << "deslocamentos fora do relatório: " << d;
    }
}

// Os números de float.hex ("-0x1.8p+1"), exatos.
std::vector<double> hexadecimais(const std::string& texto)
{
    std::vector<double> valores;
    std::istringstream linha(texto);
    for (std::string h; linha >> h;) {
        const bool negativo = h.starts_with('-');
        double v = 0.0;
        std::from_chars(h.data() + (negativo ? 3 : 2), h.data() + h.size(), v, std::chars_format::hex);
        valores.push_back(negativo ? -v : v);
    }
    return valores;
}

// O CSV, coluna a coluna (sem ix e iy), como doubles.
std::vector<std::vector<double>> colunas_do_csv(const std::string& csv)
{
    std::vector<std::vector<double>> colunas(7);
    std::istringstream linhas(csv);
    std::string linha;
    std::getline(linhas, linha);
    while (std::getline(linhas, linha)) {
        std::replace(linha.begin(), linha.end(), ',', '.');
        std::replace(linha.begin(), linha.end(), ';', ' ');
        std::istringstream campos(linha);
        std::string ix, iy;
        campos >> ix >> iy;
        for (auto& coluna : colunas) {
            std::string texto;
            campos >> texto;
            double v = 0.0;
            std::from_chars(texto.data(), texto.data() + texto.size(), v);
            coluna.push_back(v);
        }
    }
    return colunas;
}

// O leitor do VTK vê a grade de Nx x Ny pontos nas coordenadas dos nós, os
// nomes, o vetor do deslocamento marcado como tal e, em cada vetor de dados,
// os bits do CSV.
TEST_F(Campos, LeitorDoVtkVeAGradeOsNomesEOsMesmosBitsDoCsv)
{
    if (std::system("/usr/bin/python3 -c 'import vtkmodules.vtkIOXML' >/dev/null 2>&1") != 0) {
        if (teste::no_ci()) FAIL() << "python3-vtk9 não está instalado no CI";
        GTEST_SKIP() << "python3-vtk9 não está instalado (apt-get install python3-vtk9)";
    }
    const fs::path lido = area_.arquivo("../lido.txt");
    const std::string comando = "/usr/bin/python3 '" PLACA2D_TESTES "/ler_campos_vti.py' '" +
                                area_.arquivo("campos.vti").string() + "' > '" + lido.string() + "' 2>&1";
    ASSERT_EQ(std::system(comando.c_str()), 0) << teste::ler(lido);
    const auto c = colunas_do_csv(csv_);
    std::istringstream saida(teste::ler(lido));
    std::string linha;
    const auto proxima = [&](const std::string& rotulo) {
        std::getline(saida, linha);
        EXPECT_TRUE(linha.starts_with(rotulo + " ")) << linha;
        return linha.substr(std::min(linha.size(), rotulo.size() + 1));
    };
    EXPECT_EQ(proxima("dimensoes"), std::to_string(Nx) + " " + std::to_string(Ny) + " 1");
    EXPECT_EQ(hexadecimais(proxima("origem")), (std::vector<double>{0.0, 0.0, 0.0}));
    EXPECT_EQ(hexadecimais(proxima("espacamento")), (std::vector<double>{c[0][1], c[1][Nx], 1.0}));
    std::vector<double> xy;
    for (std::size_t k = 0; k < N; ++k) xy.insert(xy.end(), {c[0][k], c[1][k]});
    EXPECT_EQ(hexadecimais(proxima("pontos")), xy) << "coordenadas dos pontos";
    EXPECT_EQ(proxima("escalares"), nome_campo::T);
    EXPECT_EQ(proxima("vetores"), nome_campo::deslocamento);
    const struct {
        const char* nome;
        std::size_t coluna; // do CSV; o deslocamento: u, v e 0
    } vetores[] = {{nome_campo::T, 2}, {nome_campo::Ta, 3}, {nome_campo::erro, 4},
                   {nome_campo::u, 5}, {nome_campo::v, 6}, {nome_campo::deslocamento, 0}};
    for (const auto& vetor : vetores) {
        SCOPED_TRACE(vetor.nome);
        const bool deslocamento = vetor.coluna == 0;
        EXPECT_EQ(proxima("vetor"), std::string(deslocamento ? "3 " : "1 ") + vetor.nome);
        std::getline(saida, linha);
        std::vector<double> esperado;
        for (std::size_t k = 0; k < N; ++k) {
            if (deslocamento) esperado.insert(esperado.end(), {c[5][k], c[6][k], 0.0});
            else esperado.push_back(c[vetor.coluna][k]);
        }
        const std::vector<double> obtido = hexadecimais(linha);
        ASSERT_EQ(obtido.size(), esperado.size());
        for (std::size_t i = 0; i < esperado.size(); ++i) {
            ASSERT_EQ(bits(obtido[i]), bits(esperado[i])) << "valor " << i;
        }
    }
    EXPECT_FALSE(std::getline(saida, linha)) << "vetor a mais: " << linha;
}

} // namespace
