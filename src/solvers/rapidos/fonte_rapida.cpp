// Varreduras com fonte em faixas e a fase dos deslocamentos inteira.
//
// Invariantes da tubulação (tubulacao abaixo):
// - Cada thread fica com faixas contíguas (faixas::repartir) em todas as
//   etapas; a etapa k (uma varredura, ou o cálculo de uma fonte) percorre as
//   faixas 0 .. nb-1 em ordem, passando de uma thread à seguinte. A thread
//   publica k*nb + b + 1 no seu contador depois de terminar a faixa b da
//   etapa k (release), em ordem crescente de k e de b.
// - A etapa k só entra na faixa b depois que a etapa k-1 terminou a faixa
//   min(b+1, nb-1) e a etapa k a faixa b-1. Dentro das faixas de uma thread
//   isso é a ordem dela; na primeira faixa ela lê (acquire) o contador da
//   thread de baixo, e na última o da de cima. Por indução, o que a etapa k
//   lê na faixa b+1 (a linha de cima, valores da etapa anterior) e na b-1 (a
//   linha de baixo, já da etapa k) está pronto, e ninguém escreve numa faixa
//   que outra etapa ainda lê, porque a etapa k+1 só entra na faixa b depois
//   que a k saiu da b+1.
// - Entre threads só passam as linhas das fronteiras, em cópias compactas
//   (faixas::Fronteiras, uma por campo varrido): o resto do campo fica no
//   cache de quem o varre. Com a etapa inteira por thread (a versão
//   anterior), cada linha de cache do campo mudava de núcleo a cada etapa, e
//   duas threads rendiam o mesmo que uma (Zen 5, 201 x 201: 0,39 ns por nó e
//   varredura com uma ou duas). A cópia de um campo só é reescrita na
//   varredura seguinte dele, na mesma faixa, que espera quem a lia (uma
//   etapa de fonte ou a varredura anterior) sair da fronteira.
// - Uma etapa de fonte na faixa b lê os vizinhos diagonais nas faixas b-1, b
//   e b+1 e escreve só a faixa b da fonte, que nenhuma etapa anterior ainda
//   lê; é a mesma dependência de uma varredura.
#include "rapidos_internos.hpp"

#include "equipe.hpp"
#include "escolha.hpp"
#include "fontes.hpp"
#include "malha.hpp"
#include "nucleos_fonte.hpp"
#include "progresso.hpp"
#include "solvers_rapidos.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

namespace rapido {

namespace {

const faixas::Nucleos_fonte& nucleos_fonte(faixas::Instrucoes conjunto)
{
    switch (conjunto) {
    case faixas::Instrucoes::avx512: return faixas::avx512::nucleos_fonte;
    case faixas::Instrucoes::avx2: return faixas::avx2::nucleos_fonte;
    case faixas::Instrucoes::portavel: break;
    }
    return faixas::portavel::nucleos_fonte;
}

// Roda as etapas k0 .. k1-1 em tubulação, com as faixas repartidas entre as
// threads por `inicio` (faixas::repartir); fazer(k, b, t, juntas) faz a
// faixa b da etapa k na thread t, juntas com mais de uma thread (as linhas
// das fronteiras valem). As etapas antes de k0 já terminaram.
template <class Fazer>
void tubulacao(const std::vector<int>& inicio, long long k0, long long k1, const Fazer& fazer,
               std::vector<double>* ocupado = nullptr)
{
    const int n = static_cast<int>(inicio.size()) - 1;
    const int nb = inicio.back();
    if (n == 1) {
        for (long long k = k0; k < k1; ++k) {
            for (int b = 0; b < nb; ++b) fazer(k, b, 0, false);
        }
        return;
    }
    std::unique_ptr<equipe::Contador[]> feitas(new equipe::Contador[static_cast<std::size_t>(n)]);
    if (ocupado != nullptr) ocupado->assign(static_cast<std::size_t>(n), 0.0);
    equipe::em_paralelo(n, [&](int t) {
        const std::size_t tt = static_cast<std::size_t>(t);
        const int b0 = inicio[tt], b1 = inicio[tt + 1];
        equipe::Contador& minhas = feitas[tt];
        const auto comeco = std::chrono::steady_clock::now();
        std::chrono::duration<double> espera{0.0};
        // Só as esperas que não saem logo são medidas.
        const auto esperar = [&espera](const equipe::Contador& c, long long alvo) {
            if (c.valor() >= alvo) return;
            const auto inicio_espera = std::chrono::steady_clock::now();
            c.esperar(alvo);
            espera += std::chrono::steady_clock::now() - inicio_espera;
        };
        for (long long i = 0; i < k1 - k0; ++i) {
            for (int b = b0; b < b1; ++b) {
                if (b == b0 && t > 0) esperar(feitas[tt - 1], i * nb + b0);
                if (b + 1 == b1 && t + 1 < n && i > 0) esperar(feitas[tt + 1], (i - 1) * nb + b1 + 1);
                fazer(k0 + i, b, t, true);
                minhas.publicar(i * nb + b + 1);
            }
        }
        if (ocupado != nullptr) {
            const std::chrono::duration<double> total = std::chrono::steady_clock::now() - comeco;
            (*ocupado)[tt] = (total - espera).count();
        }
    });
}

// Tubulação que se adapta à carga da máquina (equipe::Escolha), em lotes de
// uns 3e7 nós-etapa (uns 10 ms), e às CPUs: depois de cada lote com várias
// threads, faixas::equilibrar. Antes de cada lote com as faixas repartidas,
// juntar(partes) prepara as linhas das fronteiras.
template <class Fazer, class Juntar>
int tubulacao_adaptativa(std::vector<int> repartidas, long long etapas, long long nos, const Fazer& fazer,
                         const Juntar& juntar)
{
    const int n = static_cast<int>(repartidas.size()) - 1;
    const std::vector<int> uma_thread{0, repartidas.back()};
    if (n <= 1) {
        tubulacao(uma_thread, 0, etapas, fazer);
        return 1;
    }
    const long long lote = std::max<long long>(4LL * n, 30000000LL / std::max<long long>(nos, 1));
    equipe::Escolha escolha(n, etapas >= 4 * lote);
    std::vector<double> ocupado;
    int maior = 1;
    for (long long k = 0; k < etapas;) {
        const long long fim =
            std::min(etapas, k + std::max<long long>(8, lote / escolha.divisor()));
        const int usar = escolha.threads();
        escolha.antes();
        const auto inicio = std::chrono::steady_clock::now();
        if (usar > 1) {
            juntar(repartidas);
            tubulacao(repartidas, k, fim, fazer, &ocupado);
            faixas::equilibrar(repartidas, ocupado);
        } else {
            tubulacao(uma_thread, k, fim, fazer);
        }
        escolha.depois(std::chrono::duration<double>(std::chrono::steady_clock::now() - inicio).count() /
                       static_cast<double>(fim - k));
        maior = std::max(maior, usar);
        k = fim;
    }
    return maior;
}
} // namespace

int fonte_em_faixas(double aP, double aX, double aY, std::span<const double> S, std::int32_t nsweeps,
                    std::int32_t Nx, std::int32_t Ny, std::span<double> phi)
{
    const faixas::Nucleos& nucleos = nucleos_em_uso();
    faixas::Campo_faixas campo(Nx, Ny, nucleos.linhas);
    faixas::Campo_faixas fonte(Nx, Ny, nucleos.linhas);
    campo.carregar(phi);
    fonte.carregar(S);
    const faixas::Coeficientes c{aP, aX, aY};
    const int n = equipe::preparar(std::min(numero_threads(), static_cast<int>(nsweeps)));
    const int nb = campo.numero_faixas();
    const std::vector<int> partes = faixas::repartir(nb, Ny, nucleos.linhas, n);
    std::optional<faixas::Fronteiras> fronteiras;
    const auto fazer = [&](long long k, int b, int t, bool juntas) {
        faixas::varrer_faixa(nucleos, campo, fonte, b, c, juntas ? fronteiras->vizinhas(t, b) : faixas::Vizinhas{});
        if (juntas) fronteiras->publicar(campo, t, b);
        if (b + 1 == nb) progresso::publicar_varredura_fonte(static_cast<std::int32_t>(k + 1)); // só para a tela
    };
    const int usadas = tubulacao_adaptativa(partes, nsweeps, static_cast<long long>(Nx) * Ny, fazer,
                                            [&](const std::vector<int>& p) {
                                                fronteiras.emplace(Nx, nucleos.linhas, p);
                                                fronteiras->carregar(campo);
                                            });
    campo.descarregar(phi);
    return usadas;
}

bool deslocamentos_aceitos(const Deslocamentos& d)
{
    const double dxdy = d.dx * d.dy;
    // O contador de progresso, etapas * faixas, cabe com folga em 63 bits.
    return std::isfinite(d.K) && std::isfinite(dxdy) && dxdy != 0.0 &&
           nucleos_fonte(instrucoes_em_uso()).linhas == nucleos_em_uso().linhas &&
           static_cast<double>(progresso::etapas_por_externa(d.itgs)) * d.itdesl * static_cast<double>(d.Ny) < 1e18;
}

// A fase dos deslocamentos inteira em faixas: u, v, Su, Sv e os termos da
// temperatura das fontes (constantes na fase, já que T não muda) ficam nas
// faixas do começo ao fim, e as etapas de cada iteração externa (fonte de u,
// itgs varreduras de u, fonte de v, itgs de v) formam uma só tubulação: sem
// criar threads, sem alocar, sem converter e sem barreira entre chamadas.
int deslocamentos_em_faixas(const Deslocamentos& d, const Campos_deslocamento& c)
{
    const faixas::Nucleos& nucleos = nucleos_em_uso();
    const faixas::Nucleos_fonte& nf = nucleos_fonte(instrucoes_em_uso());
    const int L = nucleos.linhas;
    faixas::Campo_faixas U(d.Nx, d.Ny, L), V(d.Nx, d.Ny, L), SU(d.Nx, d.Ny, L), SV(d.Nx, d.Ny, L),
        GU(d.Nx, d.Ny, L), GV(d.Nx, d.Ny, L);

    // Os termos da temperatura de fonte_u e fonte_v, com as mesmas contas,
    // passam por Su e Sv, que no fim recebem as fontes da última iteração.
    const std::size_t nx = static_cast<std::size_t>(d.Nx);
    for (std::int32_t iy = 2; iy <= d.Ny - 1; ++iy) {
        for (std::int32_t ix = 2; ix <= d.Nx - 1; ++ix) {
            const std::size_t k = no(ix, iy, d.Nx);
            c.Su[k] = fontes::termo_temperatura(c.T[k + 1], c.T[k - 1], d.alpha, d.dx);
            c.Sv[k] = fontes::termo_temperatura(c.T[k + nx], c.T[k - nx], d.alpha, d.dy);
        }
    }
    GU.carregar(c.Su);
    GV.carregar(c.Sv);
    U.carregar(c.u);
    V.carregar(c.v);

    const faixas::Coeficientes cu{d.aPu, d.aXu, d.aYu}, cv{d.aPv, d.aXv, d.aYv};
    const faixas::Constantes_fonte cf{d.dx * d.dy, d.K};
    const long long itgs = std::max<std::int32_t>(d.itgs, 0);
    const long long por_externa = progresso::etapas_por_externa(d.itgs);
    const long long etapas = por_externa * d.itdesl;
    const int n = equipe::preparar(static_cast<int>(std::min<long long>(numero_threads(), etapas)));
    const std::vector<int> partes = faixas::repartir(U.numero_faixas(), d.Ny, L, n);
    std::optional<faixas::Fronteiras> FU, FV;
    const auto fazer = [&](long long k, int b, int t, bool juntas) {
        const faixas::Vizinhas nenhuma{};
        const long long r = k % por_externa;
        if (r == 0) {
            nf.fonte_u(SU.vista(), V.vista(), GU.vista(), b, cf, juntas ? FV->vizinhas(t, b) : nenhuma);
        } else if (r <= itgs) {
            faixas::varrer_faixa(nucleos, U, SU, b, cu, juntas ? FU->vizinhas(t, b) : nenhuma);
            if (juntas) FU->publicar(U, t, b);
        } else if (r == itgs + 1) {
            nf.fonte_v(SV.vista(), U.vista(), GV.vista(), b, cf, juntas ? FU->vizinhas(t, b) : nenhuma);
        } else {
            faixas::varrer_faixa(nucleos, V, SV, b, cv, juntas ? FV->vizinhas(t, b) : nenhuma);
            if (juntas) FV->publicar(V, t, b);
        }
        if (b + 1 == U.numero_faixas()) progresso::publicar_etapa_deslocamento(k + 1); // só para a tela
    };
    const int usadas =
        tubulacao_adaptativa(partes, etapas, static_cast<long long>(d.Nx) * d.Ny, fazer, [&](const std::vector<int>& p) {
            FU.emplace(d.Nx, L, p);
            FV.emplace(d.Nx, L, p);
            FU->carregar(U);
            FV->carregar(V);
        });
    U.descarregar(c.u);
    V.descarregar(c.v);
    SU.descarregar(c.Su);
    SV.descarregar(c.Sv);
    return usadas;
}

} // namespace rapido
