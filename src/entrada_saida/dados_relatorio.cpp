// Relatório de resultados: as oito seções, em colunas fixas.
#include "entrada_saida/dados.hpp"

#include "entrada_saida/formatacao.hpp"
#include "modelo/variaveis.hpp"
#include "solvers/listadas.hpp"
#include "solvers/malha.hpp"

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace {

constexpr std::size_t largura_regua = 104;

// Paradas de coluna do relatório, contadas a partir de 1. Os campos numéricos
// têm 25 colunas; nas tabelas, o título de cada coluna começa na parada dela.
namespace coluna {
constexpr int descricao = 30;     // " = nome: descrição" depois do valor de um parâmetro
constexpr int norma_inicial = 60; // valor das normas do campo inicial
constexpr int media = 45;         // valor das médias e do tempo
constexpr int historia[] = {15, 40, 65};
constexpr int tabela_nos[] = {5, 30, 55, 80, 105};
} // namespace coluna

// Títulos de uma tabela, cada um na sua parada.
Linha titulos(Linha linha, std::span<const int> paradas, std::initializer_list<std::string_view> nomes)
{
    auto coluna = paradas.begin();
    for (const std::string_view nome : nomes) linha.coluna(*coluna++).texto(nome);
    return linha;
}

void regua(Arquivo_saida& f) { f.escrever(Linha().texto(std::string(largura_regua, '*'))); }

void regua_titulada(Arquivo_saida& f, std::string_view titulo)
{
    Linha linha;
    linha.texto(titulo).texto(" ");
    linha.texto(std::string(largura_regua - linha.conteudo().size(), '*'));
    f.escrever(linha);
}

// Régua, título entre asteriscos, régua e linha vazia.
void cabecalho_de_secao(Arquivo_saida& f, std::string_view titulo)
{
    regua(f);
    regua_titulada(f, titulo);
    regua(f);
    f.escrever_vazia();
}

void secao_parametros_fisicos(Arquivo_saida& f)
{
    const auto& e = estado;
    f.escrever(Linha().texto("Difusão de Calor 2DP em Placa Plana sem Geração de Calor"));
    f.escrever_vazia();
    cabecalho_de_secao(f, "Parâmetros Físicos");
    f.escrever(Linha().cientifico(e.Lx).coluna(coluna::descricao).texto(" = Lx:     comprimento do domínio [m]"));
    f.escrever(Linha().cientifico(e.Ly).coluna(coluna::descricao).texto(" = Ly:     altura do domínio [m]"));
}

void secao_parametros_numericos(Arquivo_saida& f)
{
    const auto& e = estado;
    f.escrever_vazia();
    f.escrever_vazia();
    cabecalho_de_secao(f, "Parâmetros Numéricos");
    f.escrever(Linha().inteiro(e.Nx).coluna(coluna::descricao).texto(" = Nx:     número de nós da malha, direção x"));
    f.escrever(Linha().inteiro(e.Ny).coluna(coluna::descricao).texto(" = Ny:     número de nós da malha, direção y"));
    f.escrever(
        Linha().inteiro(e.itmax).coluna(coluna::descricao).texto(" = itmax:  número máximo de iterações a ser efetuada"));
    f.escrever(Linha().cientifico(e.tol).coluna(coluna::descricao).texto(" = tol:    tolerância máxima admitida"));
    f.escrever(Linha().inteiro(e.it).coluna(coluna::descricao).texto(" = it:     iterações realizadas"));
    f.escrever(Linha()
                   .cientifico(e.L1[static_cast<std::size_t>(e.it)])
                   .coluna(coluna::descricao)
                   .texto(" = L1(it): norma L1 adimensionalizada na última iteração"));
}

void secao_normas_iniciais(Arquivo_saida& f)
{
    const auto& e = estado;
    f.escrever_vazia();
    const auto norma = [&](const char* rotulo, double valor) {
        f.escrever(Linha().texto(rotulo).coluna(coluna::norma_inicial).cientifico(valor));
    };
    norma("Norma L1 com base no campo inicial de temperaturas:", e.L1[0]);
    norma("Norma L2 com base no campo inicial de temperaturas:", e.L2[0]);
    norma("Norma L-infinito com base no campo inicial de temperaturas:", e.Linf[0]);
}

void linha_de_historia(Arquivo_saida& f, std::int32_t ih)
{
    const auto& e = estado;
    const std::size_t i = static_cast<std::size_t>(ih);
    f.escrever(Linha().inteiro(ih).cientifico(e.L1[i] / e.L1[0]).cientifico(e.L2[i] / e.L2[0]).cientifico(
        e.Linf[i] / e.Linf[0]));
}

void secao_problema_termico(Arquivo_saida& f)
{
    const auto& e = estado;
    f.escrever_vazia();
    f.escrever_vazia();
    regua_titulada(f, "* Problema térmico");
    f.escrever_vazia();
    f.escrever(titulos(Linha().texto("  iteração"), coluna::historia,
                       {"L1(it)/L1(0)", "L2(it)/L2(0)", "Linf(it)/Linf(0)"}));
    for (std::int64_t m = 0; m <= e.it; ++m) {
        if (listadas::no_relatorio(m, e.it, e.passo_hist)) linha_de_historia(f, static_cast<std::int32_t>(m));
    }
}

// Nós listados conforme modo_saida: todos (1), só o central (2) ou nenhum.
template <typename Escrever_no>
void listar_nos(Escrever_no escrever_no)
{
    const auto& e = estado;
    if (e.modo_saida == 1) {
        for (std::int32_t iy = 1; iy <= e.Ny; ++iy) {
            for (std::int32_t ix = 1; ix <= e.Nx; ++ix) escrever_no(ix, iy);
        }
    } else if (e.modo_saida == 2) {
        escrever_no((e.Nx + 1) / 2, (e.Ny + 1) / 2);
    }
}

void secao_temperaturas(Arquivo_saida& f)
{
    const auto& e = estado;
    f.escrever_vazia();
    f.escrever_vazia();
    cabecalho_de_secao(f, "Soluções para o campo de temperaturas");
    f.escrever(titulos(Linha(), coluna::tabela_nos,
                       {"Posição x", "Posição y", "Temp. numérica", "Temp. analítica", "Erro numérico"}));
    listar_nos([&](std::int32_t ix, std::int32_t iy) {
        const std::size_t k = no(ix, iy, e.Nx);
        f.escrever(Linha()
                       .cientifico(e.x[indice(ix)])
                       .cientifico(e.y[indice(iy)])
                       .cientifico(e.T[k])
                       .cientifico(e.Ta[k])
                       .cientifico(e.Ta[k] - e.T[k]));
    });
}

void secao_medias(Arquivo_saida& f)
{
    const auto& e = estado;
    f.escrever_vazia();
    f.escrever_vazia();
    f.escrever(Linha().texto("Temperatura média (analítica):").coluna(coluna::media).cientifico(e.Tmed_a));
    f.escrever(Linha().texto("Temperatura média (numérica):").coluna(coluna::media).cientifico(e.Tmed_n));
    f.escrever(Linha().texto("Erro numérico:").coluna(coluna::media).cientifico(e.Tmed_a - e.Tmed_n));
}

void secao_deslocamentos(Arquivo_saida& f)
{
    const auto& e = estado;
    f.escrever_vazia();
    f.escrever_vazia();
    cabecalho_de_secao(f, "Soluções para o campo de deslocamentos");
    f.escrever(titulos(Linha(), coluna::tabela_nos, {"Posição x", "Posição y", "Deslocamento x", "Deslocamento y"}));
    listar_nos([&](std::int32_t ix, std::int32_t iy) {
        const std::size_t k = no(ix, iy, e.Nx);
        f.escrever(Linha().cientifico(e.x[indice(ix)]).cientifico(e.y[indice(iy)]).cientifico(e.u[k]).cientifico(e.v[k]));
    });
}

void secao_tempo(Arquivo_saida& f)
{
    f.escrever_vazia();
    f.escrever_vazia();
    f.escrever(Linha().texto("Tempo de processamento (em segundos):").coluna(coluna::media).fixo(estado.tempo));
}

} // namespace

void escrever_relatorio(Arquivo_saida& f)
{
    secao_parametros_fisicos(f);
    secao_parametros_numericos(f);
    secao_normas_iniciais(f);
    secao_problema_termico(f);
    secao_temperaturas(f);
    secao_medias(f);
    secao_deslocamentos(f);
    secao_tempo(f);
}
