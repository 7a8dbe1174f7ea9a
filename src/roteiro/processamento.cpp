#include "roteiro/processamento.hpp"

#include "entrada_saida/avisos.hpp"
#include "entrada_saida/dados.hpp"
#include "entrada_saida/validacao.hpp"
#include "modelo/analitica.hpp"
#include "modelo/coeficientes.hpp"
#include "modelo/variaveis.hpp"
#include "plataforma/relogio.hpp"
#include "progresso/progresso.hpp"
#include "solvers/malha.hpp"
#include "solvers/solvers.hpp"
#include "solvers/solvers_rapidos.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <utility>

namespace {

void avisar_se_nao_vazio(const std::string& aviso)
{
    if (!aviso.empty()) progresso::avisar(aviso);
}

} // namespace

void simulacao(const Opcoes_de_saida& opcoes)
{
    auto& e = estado;
    ler_entrada();
    validar_parametros(opcoes);
    Saidas_preparadas saidas = preparar_saidas(opcoes); // antes do cálculo: uma saída impossível aparece já
    avisar_se_nao_vazio(aviso_de_espacamentos(e.Lx, e.Ly, e.Nx, e.Ny));
    limpar_falhas_aritmeticas();
    const double inicio = relogio();
    e.tempo = inicio;
    const progresso::Exibicao exibicao; // a linha de estado no terminal, até os visualizadores
    try {
        processar();
    } catch (const std::bad_alloc&) {
        falta_de_memoria();
    }
    e.tempo = relogio() - inicio;
    verificar_falhas_aritmeticas("no cálculo das temperaturas e dos deslocamentos");
    pos_processamento(std::move(saidas));
}

Percursos processar()
{
    Percursos p;
    preparar_malha();
    discretizacao_termica();
    medidas_iniciais();
    p.termico = solucao_termica();
    discretizacao_deslocamentos();
    p.deslocamentos = iteracoes_deslocamento();
    return p;
}

void preparar_malha()
{
    auto& e = estado;
    e.pi = std::acos(-1.0);
    e.K = (e.nu + 1.0) / (1.0 - e.nu);
    e.N = e.Nx * e.Ny;

    const std::size_t n = static_cast<std::size_t>(e.N);
    const std::size_t h = static_cast<std::size_t>(e.itmax) + 1;
    e.Ta.assign(n, 0.0);
    e.T.assign(n, 0.0);
    e.y.assign(static_cast<std::size_t>(e.Ny), 0.0);
    e.x.assign(static_cast<std::size_t>(e.Nx), 0.0);
    e.L2 = Historia(h);
    e.Linf = Historia(h);
    e.L1 = Historia(h);
    e.v.assign(n, 0.0);
    e.Su.assign(n, 0.0);
    e.Sv.assign(n, 0.0);
    e.u.assign(n, 0.0);

    e.dx = e.Lx / (static_cast<double>(e.Nx) - 1.0);
    e.dy = e.Ly / (static_cast<double>(e.Ny) - 1.0);
    for (std::int32_t ix = 1; ix <= e.Nx; ++ix) e.x[indice(ix)] = (static_cast<double>(ix) - 1.0) * e.dx;
    for (std::int32_t iy = 1; iy <= e.Ny; ++iy) e.y[indice(iy)] = (static_cast<double>(iy) - 1.0) * e.dy;
}

void discretizacao_termica()
{
    coef_temperatura();
    contorno_T_topo();
    contorno_T_base();
    contorno_T_esquerda();
    contorno_T_direita();
}

void medidas_iniciais()
{
    auto& e = estado;
    referencia::norma_L1(e.aPT, e.aXT, e.aYT, e.Nx, e.Ny, e.T, e.L1[0]);
    referencia::norma_L2(e.aPT, e.aXT, e.aYT, e.Nx, e.Ny, e.T, e.L2[0]);
    referencia::norma_Linf(e.aPT, e.aXT, e.aYT, e.Nx, e.Ny, e.T, e.Linf[0]);
}

rapido::Percurso solucao_termica()
{
    auto& e = estado;
    progresso::fase_termica(e.itmax, e.tol, e.L1[0]);
    rapido::Percurso p;
    if (rapido::usados_no_driver()) {
        p = rapido::gs_laplace(e.aPT, e.aXT, e.aYT, e.itmax, e.tol, e.Nx, e.Ny, e.L1, e.L2, e.Linf, e.it, e.T,
                               e.passo_hist);
    } else {
        referencia::gs_laplace(e.aPT, e.aXT, e.aYT, e.itmax, e.tol, e.Nx, e.Ny, e.L1, e.L2, e.Linf, e.it, e.T);
    }
    // Já aqui, e não no fim: numa malha grande, dá para parar e corrigir itmax
    // sem esperar os deslocamentos.
    avisar_se_nao_vazio(aviso_de_convergencia({e.tol, e.it, e.itmax, e.L1, e.aXT, e.aYT, e.Nx, e.Ny}));
    return p;
}

void discretizacao_deslocamentos()
{
    coef_u();
    coef_v();
    contorno_u_topo();
    contorno_v_topo();
    contorno_u_base();
    contorno_v_base();
    contorno_u_esquerda();
    contorno_v_esquerda();
    contorno_u_direita();
    contorno_v_direita();
}

rapido::Percurso iteracoes_deslocamento()
{
    auto& e = estado;
    progresso::fase_deslocamentos(e.itdesl, e.itgs);
    Deslocamentos d = problema_deslocamentos();
    d.memoria_em_uso = memoria_necessaria(e.it);
    rapido::Percurso p;
    if (rapido::usados_no_driver()) p = rapido::iteracoes_deslocamento(d, campos_deslocamento());
    else referencia::iteracoes_deslocamento(d, campos_deslocamento());
    e.itd = std::max(e.itdesl, 0) + 1; // como ao fim do laço de itd = 1 a itdesl
    return p;
}

void pos_processamento(Saidas_preparadas saidas)
{
    auto& e = estado;
    solucao_analitica();
    referencia::media_campo(e.Nx, e.Ny, e.T, e.Tmed_n);
    verificar_falhas_aritmeticas("na solução analítica ou na temperatura média");
    progresso::fase_gravacao(bytes_previstos_das_saidas(*saidas));
    escrever_resultados(std::move(saidas));
}

void solucao_analitica()
{
    auto& e = estado;
    const double denominador_Ta = std::sinh(e.pi * e.Ly / e.Lx);
    for (std::int32_t iy = 1; iy <= e.Ny; ++iy) {
        for (std::int32_t ix = 1; ix <= e.Nx; ++ix) {
            const std::size_t k = no(ix, iy, e.Nx);
            const double xi = e.x[indice(ix)];
            const double yi = e.y[indice(iy)];
            e.Ta[k] = std::sin(e.pi * xi / e.Lx) * std::sinh(e.pi * yi / e.Lx) / denominador_Ta;
        }
    }
    e.Tmed_a = media_analitica(e.pi, e.Lx, e.Ly).valor();
}
