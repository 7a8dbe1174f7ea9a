// Progresso no terminal: os solvers e o driver publicam contadores, e uma
// thread de exibição os lê e redesenha uma linha de estado no erro padrão.
//
// Invariantes:
// - Quem calcula só faz stores relaxados em atômicos (uma vez por varredura
//   ou por decisão): nada trava, nada aloca, e nenhum valor publicado volta
//   para o cálculo ou para as saídas. Pares publicados juntos (varredura e
//   L1) podem ser lidos de varreduras vizinhas: só a tela os usa.
// - Só a thread de exibição e as chamadas de fase/encerramento do driver
//   escrevem no terminal, sempre com a trava da exibição: a linha nunca é
//   desenhada pela metade por dois lados, e depois de encerrar() nada mais é
//   desenhado (os visualizadores e as mensagens de erro acham a linha limpa).
// - Sem terminal no erro padrão, ou com PLACA2D_PROGRESSO=0, a thread nem
//   começa e nada é escrito.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace progresso {

namespace contadores {
inline std::atomic<std::int32_t> varredura_termica{0};
inline std::atomic<double> L1_termica{0.0};
inline std::atomic<std::int64_t> etapa_deslocamento{0}; // etapas completas antes da chamada atual de gs_fonte
inline std::atomic<std::int32_t> varredura_fonte{0};     // varreduras completas na chamada atual
inline std::atomic<std::uint64_t> bytes_gravados{0};
} // namespace contadores

// A varredura m de gs_laplace está completa e L1_m é a sua soma L1 (nos
// solvers rápidos pode ser a soma rápida: só a tela a usa). Qualquer thread.
inline void publicar_termica(std::int32_t m, double L1_m) noexcept
{
    contadores::L1_termica.store(L1_m, std::memory_order_relaxed);
    contadores::varredura_termica.store(m, std::memory_order_relaxed);
}

// n varreduras (1..nsweeps) da chamada atual de gs_fonte estão completas.
inline void publicar_varredura_fonte(std::int32_t n) noexcept
{
    contadores::varredura_fonte.store(n, std::memory_order_relaxed);
}

// As etapas de uma iteração externa da fase dos deslocamentos, nesta ordem:
// a fonte de u, itgs varreduras de u, a fonte de v, itgs varreduras de v
// (itgs < 0 conta como 0). A única definição do arranjo: vale para quem
// calcula, quem publica e quem mostra.
enum class Etapa { fonte_u, varredura_u, fonte_v, varredura_v };

constexpr std::int64_t etapas_por_externa(std::int32_t itgs) noexcept
{
    return 2 + 2 * static_cast<std::int64_t>(itgs > 0 ? itgs : 0);
}

// A posição, na iteração externa, da primeira etapa do tipo dado.
constexpr std::int64_t primeira_etapa(Etapa tipo, std::int32_t itgs) noexcept
{
    const std::int64_t varreduras = (etapas_por_externa(itgs) - 2) / 2;
    switch (tipo) {
    case Etapa::fonte_u: return 0;
    case Etapa::varredura_u: return 1;
    case Etapa::fonte_v: return 1 + varreduras;
    case Etapa::varredura_v: break;
    }
    return 2 + varreduras;
}

// O tipo da etapa na posição r (0 <= r < etapas_por_externa(itgs)).
constexpr Etapa etapa_na_posicao(std::int64_t r, std::int32_t itgs) noexcept
{
    if (r < primeira_etapa(Etapa::varredura_u, itgs)) return Etapa::fonte_u;
    if (r < primeira_etapa(Etapa::fonte_v, itgs)) return Etapa::varredura_u;
    if (r < primeira_etapa(Etapa::varredura_v, itgs)) return Etapa::fonte_v;
    return Etapa::varredura_v;
}

// Etapas completas da fase dos deslocamentos, contadas desde o seu início.
// O laço de referência a publica antes de cada gs_fonte (que depois publica
// as suas varreduras); quem faz a fase inteira numa tubulação a publica
// quando uma etapa termina.
inline void publicar_etapa_deslocamento(std::int64_t feitas) noexcept
{
    contadores::varredura_fonte.store(0, std::memory_order_relaxed);
    contadores::etapa_deslocamento.store(feitas, std::memory_order_relaxed);
}

// Bytes gravados nas saídas (um só escritor: o driver).
inline void somar_bytes_gravados(std::uint64_t n) noexcept
{
    const auto& b = contadores::bytes_gravados;
    contadores::bytes_gravados.store(b.load(std::memory_order_relaxed) + n, std::memory_order_relaxed);
}

// Fases, chamadas pelo driver. iniciar() decide se há exibição (erro padrão
// num terminal e PLACA2D_PROGRESSO diferente de 0) e marca o início do
// relógio; nada aparece antes de um segundo. Cada fase apaga a linha da
// anterior. encerrar() apaga a linha e para a thread; chamá-la de novo, ou sem
// iniciar(), não faz nada.
void iniciar();
void fase_termica(std::int32_t itmax, double tol, double L1_0);
void fase_deslocamentos(std::int32_t itdesl, std::int32_t itgs);
void fase_gravacao(std::uint64_t bytes_previstos);
void encerrar();

// Um aviso ("placa2d: aviso: texto"), também no meio do cálculo: com a trava
// da exibição, numa linha limpa; a linha de progresso volta no próximo desenho.
void avisar(std::string_view texto);

// Encerra a exibição ao sair do escopo (também quando uma exceção o atravessa).
struct Exibicao {
    Exibicao() { iniciar(); }
    ~Exibicao() { encerrar(); }
    Exibicao(const Exibicao&) = delete;
    Exibicao& operator=(const Exibicao&) = delete;
};

// Os bytes que trocam a linha de estado na tela pelo texto: o começo da
// linha, o texto e brancos sobre o que a anterior (colunas_na_tela colunas,
// que passa a ser a largura do que ficou na tela) tinha a mais.
std::string redesenho(std::string_view texto, int& colunas_na_tela);

// Segundos que faltam na fase térmica, pela taxa recente de queda de
// log(L1/L1(0)) até log(tol), limitado por itmax. Negativo se não há estimativa.
double falta_termica(std::int32_t m0, double log_razao0, double t0, std::int32_t m, double log_razao, double t,
                     double log_tol, std::int32_t itmax);

} // namespace progresso
