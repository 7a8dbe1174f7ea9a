// O relatório, num estado sintético. Os bytes de relatórios e arquivos da
// linha média inteiros: Execucao.RelatoriosEArquivosDaLinhaMediaByteAByte
// (teste_principal.cpp).
#include "entrada_saida/dados.hpp"
#include "entrada_saida/formatacao.hpp"
#include "modelo/variaveis.hpp"
#include "auxiliar.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

// Estado sintético: cada campo guarda o número do nó, para reconhecer as linhas.
void estado_sintetico(std::int32_t Nx, std::int32_t Ny, std::int32_t itmax = 20)
{
    reiniciar_variaveis();
    auto& e = estado;
    e.nome_relatorio = "relatorio.txt";
    e.nome_relatorio.resize(tamanho_nome_relatorio, ' ');
    e.Lx = 1.0;
    e.Ly = 1.0;
    e.Nx = Nx;
    e.Ny = Ny;
    e.N = Nx * Ny;
    e.itmax = itmax;
    e.it = itmax;
    e.passo_hist = 1;
    e.modo_saida = 1;
    const std::size_t n = static_cast<std::size_t>(e.N);
    for (auto* campo : {&e.T, &e.Ta, &e.u, &e.v}) campo->assign(n, 0.0);
    for (std::size_t k = 0; k < n; ++k) {
        e.T[k] = static_cast<double>(k + 1);
        e.Ta[k] = 10.0 * static_cast<double>(k + 1);
        e.u[k] = 100.0 * static_cast<double>(k + 1);
        e.v[k] = -100.0 * static_cast<double>(k + 1);
    }
    for (std::int32_t i = 0; i < Nx; ++i) e.x.push_back(0.5 * i);
    for (std::int32_t i = 0; i < Ny; ++i) e.y.push_back(0.25 * i);
    for (auto* h : {&e.L1, &e.L2, &e.Linf}) h->assign(static_cast<std::size_t>(itmax) + 1, 1.0);
}

std::vector<std::string> linhas_de(const std::string& texto)
{
    std::vector<std::string> linhas;
    std::size_t inicio = 0;
    while (inicio < texto.size()) {
        const std::size_t fim = texto.find("\r\n", inicio);
        linhas.push_back(texto.substr(inicio, fim - inicio));
        inicio = fim + 2;
    }
    return linhas;
}

// Linhas logo abaixo do cabeçalho que começa com `cabecalho`, até a primeira vazia.
std::vector<std::string> bloco_apos(const std::vector<std::string>& linhas, const std::string& cabecalho)
{
    std::vector<std::string> bloco;
    auto l = std::find_if(linhas.begin(), linhas.end(), [&](const std::string& s) { return s.starts_with(cabecalho); });
    EXPECT_NE(l, linhas.end()) << cabecalho;
    for (++l; l != linhas.end() && !l->empty(); ++l) bloco.push_back(*l);
    return bloco;
}

class Relatorio : public ::testing::Test {
protected:
    std::vector<std::string> escrever()
    {
        teste::No_diretorio no(area_.trabalho());
        Arquivo_saida f("relatorio.txt");
        escrever_relatorio(f);
        f.concluir();
        return linhas_de(teste::ler(area_.arquivo("relatorio.txt")));
    }

    std::vector<std::int32_t> iteracoes_listadas(std::int32_t it, std::int32_t passo)
    {
        estado_sintetico(3, 3);
        estado.it = it;
        estado.passo_hist = passo;
        std::vector<std::int32_t> lista;
        for (const std::string& linha : bloco_apos(escrever(), "  itera\xE7\xE3o")) lista.push_back(std::stoi(linha.substr(0, 10)));
        return lista;
    }

    teste::Area area_;
};

using Lista = std::vector<std::int32_t>;

TEST_F(Relatorio, HistoriaDeZeroAteItDePassoEmPasso)
{
    EXPECT_EQ(iteracoes_listadas(10, 3), (Lista{0, 3, 6, 9, 10}));
    EXPECT_EQ(iteracoes_listadas(9, 3), (Lista{0, 3, 6, 9}));
    EXPECT_EQ(iteracoes_listadas(4, 1), (Lista{0, 1, 2, 3, 4}));
    EXPECT_EQ(iteracoes_listadas(4, 7), (Lista{0, 4}));
    EXPECT_EQ(iteracoes_listadas(1, 2147483647), (Lista{0, 1}));
}

TEST_F(Relatorio, PassoNegativoListaSoAUltimaIteracao)
{
    EXPECT_EQ(iteracoes_listadas(5, -2), (Lista{5}));
    EXPECT_EQ(iteracoes_listadas(1, -5), (Lista{1}));
    EXPECT_EQ(iteracoes_listadas(2, -2), (Lista{2})); // a regra da contagem sozinha não daria linha
}

// Todos os nós (modo 1) e o central de uma malha par (modo 2) estão nos
// relatórios esperados; aqui, o central de uma malha ímpar e os modos sem
// listagem.
TEST_F(Relatorio, ModoDeSaidaEscolheOsNosListados)
{
    const std::string temperaturas = "    Posi\xE7\xE3o x                Posi\xE7\xE3o y                Temp.";
    const std::string deslocamentos = "    Posi\xE7\xE3o x                Posi\xE7\xE3o y                Desloc";

    estado_sintetico(5, 5);
    estado.modo_saida = 2;
    auto linhas = escrever();
    const double no = 13.0, x = 1.0, y = 0.5;
    EXPECT_EQ(bloco_apos(linhas, temperaturas),
              std::vector<std::string>{campo_cientifico(x) + campo_cientifico(y) + campo_cientifico(no) +
                                       campo_cientifico(10.0 * no) + campo_cientifico(9.0 * no)});
    EXPECT_EQ(bloco_apos(linhas, deslocamentos),
              std::vector<std::string>{campo_cientifico(x) + campo_cientifico(y) + campo_cientifico(100.0 * no) +
                                       campo_cientifico(-100.0 * no)});

    for (std::int32_t modo : {0, 3, -1}) {
        SCOPED_TRACE(modo);
        estado_sintetico(4, 4);
        estado.modo_saida = modo;
        linhas = escrever();
        EXPECT_TRUE(bloco_apos(linhas, temperaturas).empty());
        EXPECT_TRUE(bloco_apos(linhas, deslocamentos).empty());
        EXPECT_EQ(linhas.size(), 51u + 21u); // 51 fixas e 21 da história
    }
}

} // namespace
