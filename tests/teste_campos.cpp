// campos.vti e campos.csv lidos como os usuários os leem: o VTI pelo leitor
// XML do próprio VTK, o CSV como uma planilha em português (';' e vírgula
// decimal), comparados bit a bit com os campos do programa.
#include "entrada_saida/campos.hpp"
#include "entrada_saida/dados.hpp"
#include "entrada_saida/formatacao.hpp"
#include "modelo/variaveis.hpp"
#include "roteiro/processamento.hpp"
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

// Uma execução de verdade em Nx != Ny e dx != dy, com deslocamentos, gravada
// numa área; 23 x 17 nós: cada vetor passa de um bloco do base64 e os dois
// preenchimentos ("=" e "==") aparecem.
class Campos : public ::testing::Test {
protected:
    void SetUp() override
    {
        teste::Entrada entrada;
        entrada.Lx = "1.0";
        entrada.Ly = "0.5";
        entrada.Nx = "23";
        entrada.Ny = "17";
        entrada.itmax = "300";
        reiniciar_variaveis();
        interpretar_entrada(entrada.texto());
        processar();
        solucao_analitica();
        teste::No_diretorio no(area_.trabalho());
        Arquivo_saida vti("campos.vti"), csv("campos.csv");
        escrever_campos_vti(vti);
        escrever_campos_csv(csv);
        concluir_juntos({&vti, &csv});
    }
    void TearDown() override { reiniciar_variaveis(); }

    // Os valores do programa, nó a nó, na ordem das colunas do CSV depois de ix e iy.
    static std::vector<double> do_programa(std::size_t k)
    {
        const auto& e = estado;
        const std::size_t ix = k % static_cast<std::size_t>(e.Nx), iy = k / static_cast<std::size_t>(e.Nx);
        return {e.x[ix], e.y[iy], e.T[k], e.Ta[k], e.Ta[k] - e.T[k], e.u[k], e.v[k]};
    }

    teste::Area area_;
};

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

std::string bits(double v)
{
    char texto[32];
    return std::string(texto, std::to_chars(texto, texto + sizeof texto, v, std::chars_format::hex).ptr);
}

TEST_F(Campos, LeitorDoVtkVeAGradeOsNomesECadaValorDoPrograma)
{
    if (std::system("/usr/bin/python3 -c 'import vtkmodules.vtkIOXML' >/dev/null 2>&1") != 0) {
        if (teste::no_ci()) FAIL() << "python3-vtk9 não está instalado no CI";
        GTEST_SKIP() << "python3-vtk9 não está instalado (apt-get install python3-vtk9)";
    }
    const fs::path lido = area_.arquivo("lido.txt");
    const std::string comando = "/usr/bin/python3 '" PLACA2D_TESTES "/ler_campos_vti.py' '" +
                                area_.arquivo("campos.vti").string() + "' > '" + lido.string() + "' 2>&1";
    ASSERT_EQ(std::system(comando.c_str()), 0) << teste::ler(lido);
    std::istringstream saida(teste::ler(lido));
    const auto& e = estado;
    const std::size_t n = static_cast<std::size_t>(e.N);
    std::string linha;
    const auto proxima = [&](const std::string& rotulo) {
        std::getline(saida, linha);
        EXPECT_TRUE(linha.starts_with(rotulo + " ")) << linha;
        return linha.substr(std::min(linha.size(), rotulo.size() + 1));
    };
    EXPECT_EQ(proxima("dimensoes"), "23 17 1");
    EXPECT_EQ(hexadecimais(proxima("origem")), (std::vector<double>{0.0, 0.0, 0.0}));
    EXPECT_EQ(hexadecimais(proxima("espacamento")), (std::vector<double>{e.dx, e.dy, 1.0}));
    std::vector<double> xy;
    for (std::size_t k = 0; k < n; ++k) {
        const auto v = do_programa(k);
        xy.insert(xy.end(), {v[0], v[1]});
    }
    EXPECT_EQ(hexadecimais(proxima("pontos")), xy) << "coordenadas dos pontos";
    EXPECT_EQ(proxima("escalares"), nome_campo::T);
    EXPECT_EQ(proxima("vetores"), nome_campo::deslocamento);
    const struct {
        const char* nome;
        std::size_t coluna; // em do_programa; o vetor: u, v e 0
    } vetores[] = {{nome_campo::T, 2}, {nome_campo::Ta, 3}, {nome_campo::erro, 4},
                   {nome_campo::u, 5}, {nome_campo::v, 6}, {nome_campo::deslocamento, 0}};
    for (const auto& vetor : vetores) {
        SCOPED_TRACE(vetor.nome);
        const bool deslocamento = vetor.coluna == 0;
        EXPECT_EQ(proxima("vetor"), std::string(deslocamento ? "3 " : "1 ") + vetor.nome);
        std::getline(saida, linha);
        std::vector<double> esperado;
        for (std::size_t k = 0; k < n; ++k) {
            const auto v = do_programa(k);
            if (deslocamento) esperado.insert(esperado.end(), {v[5], v[6], 0.0});
            else esperado.push_back(v[vetor.coluna]);
        }
        const std::vector<double> obtido = hexadecimais(linha);
        ASSERT_EQ(obtido.size(), esperado.size());
        for (std::size_t i = 0; i < esperado.size(); ++i) {
            ASSERT_EQ(bits(obtido[i]), bits(esperado[i])) << "valor " << i;
        }
    }
    EXPECT_FALSE(std::getline(saida, linha)) << "vetor a mais: " << linha;
}

// Como uma planilha em português lê: ';' separa, a vírgula é decimal e um
// ponto seria separador de milhar; o BOM diz UTF-8 (os acentos dos títulos).
TEST_F(Campos, PlanilhaEmPortuguesLeCadaNumeroComoONumeroDoPrograma)
{
    const std::string csv = teste::ler(area_.arquivo("campos.csv"));
    ASSERT_TRUE(csv.starts_with("\xEF\xBB\xBF"));
    std::vector<std::string> linhas;
    for (std::size_t inicio = 3; inicio < csv.size();) {
        const std::size_t fim = csv.find("\r\n", inicio);
        ASSERT_NE(fim, std::string::npos) << "última linha sem CR LF";
        linhas.push_back(csv.substr(inicio, fim - inicio));
        inicio = fim + 2;
    }
    const auto& e = estado;
    ASSERT_EQ(linhas.size(), static_cast<std::size_t>(e.N) + 1);
    EXPECT_EQ(linhas[0], std::string("ix;iy;x [m];y [m];") + nome_campo::T + ";" + nome_campo::Ta + ";" +
                             nome_campo::erro + ";" + nome_campo::u + ";" + nome_campo::v);
    for (std::size_t k = 0; k < static_cast<std::size_t>(e.N); ++k) {
        SCOPED_TRACE(linhas[k + 1]);
        std::vector<std::string> campos;
        std::istringstream linha(linhas[k + 1]);
        for (std::string campo; std::getline(linha, campo, ';');) campos.push_back(campo);
        ASSERT_EQ(campos.size(), 9u);
        EXPECT_EQ(campos[0], std::to_string(k % static_cast<std::size_t>(e.Nx) + 1));
        EXPECT_EQ(campos[1], std::to_string(k / static_cast<std::size_t>(e.Nx) + 1));
        const std::vector<double> esperado = do_programa(k);
        for (std::size_t c = 0; c < esperado.size(); ++c) {
            std::string texto = campos[c + 2];
            ASSERT_EQ(texto.find_first_of(".\n\r\" "), std::string::npos) << texto;
            std::replace(texto.begin(), texto.end(), ',', '.');
            double lido = 0.0;
            const auto r = std::from_chars(texto.data(), texto.data() + texto.size(), lido);
            ASSERT_TRUE(r.ec == std::errc() && r.ptr == texto.data() + texto.size()) << texto;
            ASSERT_EQ(bits(lido), bits(esperado[c])) << texto;
        }
    }
}

} // namespace
