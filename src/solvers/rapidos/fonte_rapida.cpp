// Varreduras com fonte em faixas e a fase dos deslocamentos inteira, numa
// tubulação (tubulacao.hpp: as faixas de cada thread e as esperas entre
// elas). Os tempos citados são de uma VM de 2 vCPUs AMD EPYC (Zen 5), g++ 12.
//
// Invariantes próprios daqui (os das faixas estão em tubulacao.hpp):
// - Cada campo varrido tem a sua cópia das fronteiras (faixas::Fronteiras).
//   A cópia de um campo só é reescrita na varredura seguinte dele, na mesma
//   faixa, que espera quem a lia (uma etapa de fonte ou a varredura
//   anterior) sair da fronteira.
// - Uma etapa de fonte na faixa b lê os vizinhos diagonais nas faixas b-1, b
//   e b+1 e escreve só a faixa b da fonte, que nenhuma etapa anterior ainda
//   lê; é a mesma dependência de uma varredura.
#include "rapidos_internos.hpp"

#include "progresso/progresso.hpp"
#include "solvers/fontes.hpp"
#include "solvers/malha.hpp"
#include "solvers/rapidos/nucleos/nucleos_fonte.hpp"
#include "solvers/solvers_rapidos.hpp"
#include "equipe.hpp"
#include "escolha.hpp"
#include "tubulacao.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
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

// Roda as etapas k0 .. k1-1 com as faixas que `tub` tem para o lote;
// fazer(k, b, t, juntas) faz a faixa b da etapa k na thread t, juntas com
// mais de uma thread (as linhas das fronteiras valem). As etapas antes de k0
// já terminaram.
template <class Fazer>
void rodar_etapas(Tubulacao& tub, long long k0, long long k1, const Fazer& fazer)
{
    if (tub.threads() == 1) {
        const int nb = tub.fim(0);
        for (long long k = k0; k < k1; ++k) {
            for (int b = 0; b < nb; ++b) fazer(k, b, 0, false);
        }
        return;
    }
    equipe::em_paralelo(tub.threads(), [&](int t) {
        tub.cronometrar(t, [&] {
            const int b0 = tub.primeira(t), b1 = tub.fim(t);
            for (long long i = 0; i < k1 - k0; ++i) {
                for (int b = b0; b < b1; ++b) {
                    tub.entrar(t, i, b);
                    fazer(k0 + i, b, t, true);
                    tub.sair(t, i, b);
                }
            }
        });
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
    Tubulacao tub(n);
    if (n <= 1) {
        tub.comecar(uma_thread);
        rodar_etapas(tub, 0, etapas, fazer);
        return 1;
    }
    const long long lote = std::max<long long>(4LL * n, 30000000LL / std::max<long long>(nos, 1));
    equipe::Escolha escolha(n, etapas >= 4 * lote);
    int maior = 1;
    for (long long k = 0; k < etapas;) {
        const long long fim =
            std::min(etapas, k + std::max<long long>(8, lote / escolha.divisor()));
        const int usar = escolha.threads();
        escolha.antes();
        const auto inicio = std::chrono::steady_clock::now();
        if (usar > 1) {
            juntar(repartidas);
            tub.comecar(repartidas);
            rodar_etapas(tub, k, fim, fazer);
            faixas::equilibrar(repartidas, tub.ocupado());
        } else {
            tub.comecar(uma_thread);
            rodar_etapas(tub, k, fim, fazer);
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
