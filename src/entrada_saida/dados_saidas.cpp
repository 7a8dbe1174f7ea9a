// Saídas de uma execução: os temporários criados antes do cálculo, os
// arquivos da linha média, a gravação conjunta e os visualizadores.
#include "entrada_saida/dados.hpp"

#include "entrada_saida/arquivos.hpp"
#include "entrada_saida/campos.hpp"
#include "entrada_saida/formatacao.hpp"
#include "modelo/variaveis.hpp"
#include "plataforma/comandos.hpp"
#include "plataforma/console.hpp"
#include "progresso/progresso.hpp"
#include "solvers/malha.hpp"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Temporários das saídas, criados antes do cálculo; os dos campos só se pedidos.
struct Saidas {
    explicit Saidas(const Opcoes_de_saida& opcoes)
    {
        if (opcoes.campos) {
            vti.emplace(arquivos::campos_vti);
            csv.emplace(arquivos::campos_csv);
        }
    }
    Arquivo_saida relatorio{nome_relatorio_aparado()};
    Arquivo_saida x_meio{arquivos::x_meio};
    Arquivo_saida y_meio{arquivos::y_meio};
    std::optional<Arquivo_saida> vti;
    std::optional<Arquivo_saida> csv;
};

void Descartar_saidas::operator()(Saidas* saidas) const { delete saidas; }

namespace {

void escrever_linha_media(Arquivo_saida& f, const std::vector<double>& coordenada, std::int32_t n,
                          std::size_t primeiro, std::size_t passo)
{
    const auto& e = estado;
    for (std::int32_t i = 1; i <= n; ++i) {
        const std::size_t k = primeiro + indice(i) * passo;
        f.escrever(Linha().cientifico(coordenada[indice(i)]).cientifico(e.u[k]).cientifico(e.v[k]));
    }
}

} // namespace

Saidas_preparadas preparar_saidas(const Opcoes_de_saida& opcoes) { return Saidas_preparadas(new Saidas(opcoes)); }

void escrever_linhas_medias(Arquivo_saida& x_meio, Arquivo_saida& y_meio)
{
    const auto& e = estado;
    const std::int32_t ixc = (e.Nx + 1) / 2;
    const std::int32_t iyc = (e.Ny + 1) / 2;
    escrever_linha_media(x_meio, e.y, e.Ny, no(ixc, 1, e.Nx), static_cast<std::size_t>(e.Nx));
    escrever_linha_media(y_meio, e.x, e.Nx, no(1, iyc, e.Nx), 1);
}

void escrever_resultados(Saidas_preparadas s)
{
    escrever_relatorio(s->relatorio);
    escrever_linhas_medias(s->x_meio, s->y_meio);
    // Os campos trocados primeiro: o campos.csv aberto numa planilha (que no
    // Windows o bloqueia) faz falhar a primeira troca, e nenhuma saída muda.
    std::vector<Arquivo_saida*> gravados;
    if (s->vti) {
        escrever_campos_vti(*s->vti);
        escrever_campos_csv(*s->csv);
        gravados = {&*s->csv, &*s->vti};
    }
    gravados.insert(gravados.end(), {&s->relatorio, &s->x_meio, &s->y_meio});
    const std::string aviso_da_gravacao = concluir_juntos(gravados);
    progresso::encerrar(); // nada desenhado sobre o editor ou os gráficos
    for (const std::string& aviso : {aviso_do_nome_cortado(), aviso_da_gravacao}) {
        if (!aviso.empty()) avisar(aviso);
    }
    executar_comando("notepad " + citar_argumento(nome_relatorio_aparado()));
    executar_comando(std::string("wgnuplot ") + arquivos::grafico_x_meio);
    executar_comando(std::string("wgnuplot ") + arquivos::grafico_y_meio);
}

std::uint64_t bytes_previstos_das_saidas(const Saidas& saidas)
{
    const auto& e = estado;
    // Linhas fixas do relatório (cabeçalhos, parâmetros, médias, tempo): uns 2,7 kB.
    constexpr std::uint64_t fixos = 2700;
    constexpr std::uint64_t linha_historia = 85 + 2, linha_temperatura = 125 + 2, linha_deslocamento = 100 + 2;
    constexpr std::uint64_t linha_media = 75 + 2;
    const std::uint64_t p = e.passo_hist > 0 ? static_cast<std::uint64_t>(e.passo_hist) : 1;
    const std::uint64_t it = static_cast<std::uint64_t>(std::max(e.it, 0));
    const std::uint64_t historia = it / p + 1 + (it % p != 0);
    const std::uint64_t nos = e.modo_saida == 1   ? static_cast<std::uint64_t>(e.Nx) * static_cast<std::uint64_t>(e.Ny)
                              : e.modo_saida == 2 ? 1
                                                  : 0;
    return fixos + historia * linha_historia + nos * (linha_temperatura + linha_deslocamento) +
           static_cast<std::uint64_t>(e.Nx + e.Ny) * linha_media + (saidas.vti ? bytes_previstos_dos_campos() : 0);
}
