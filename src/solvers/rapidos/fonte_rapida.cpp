// Varreduras com fonte em faixas e a fase dos deslocamentos inteira, numa
// tubulação (tubulacao.hpp: as faixas de cada thread e as esperas entre
// elas), em lotes (lotes.hpp).
//
// Invariantes próprios daqui (os das faixas estão em tubulacao.hpp):
// - Cada campo varrido tem a sua cópia das fronteiras (faixas::Fronteiras).
//   A cópia de um campo só é reescrita na varredura seguinte dele, na mesma
//   faixa, que espera quem a lia (uma etapa de fonte ou a varredura
//   anterior) sair da fronteira.
// - Uma etapa de fonte na faixa b lê os vizinhos diagonais nas faixas b-1, b
//   e b+1 e escreve só a faixa b da fonte, que nenhuma etapa anterior ainda
//   lê; é a mesma dependência de uma varredura.
#include "progresso/progresso.hpp"
#include "solvers/fontes.hpp"
#include "solvers/malha.hpp"
#include "solvers/rapidos/nucleos/nucleos_fonte.hpp"

#include "costuras.hpp"
#include "equipe.hpp"
#include "lotes.hpp"
#include "rapidos_internos.hpp"
#include "tubulacao.hpp"

#include <algorithm>
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
    equipe::em_paralelo(tub.threads(), [&](int t) noexcept {
        tub.cronometrar(t, [&] {
            const int b0 = tub.primeira(t), b1 = tub.fim(t);
            for (long long i = 0; i < k1 - k0; ++i) {
                for (int b = b0; b < b1; ++b) {
                    // Ninguém interrompe os deslocamentos; se interrompesse, quem
                    // sai publica o máximo (tubulacao.hpp).
                    if (!tub.entrar(t, i, b)) {
                        tub.encerrar(t);
                        return;
                    }
                    fazer(k0 + i, b, t, true);
                    tub.sair(t, i, b);
                }
            }
        });
    });
}

// Tubulação que se adapta à carga da máquina, lote a lote (lotes.hpp), e às
// CPUs: depois de cada lote com várias threads, faixas::equilibrar. Antes de
// cada lote com as faixas repartidas, juntar(partes) prepara as linhas das
// fronteiras.
template <class Fazer, class Juntar>
int tubulacao_adaptativa(std::vector<int> repartidas, long long etapas, std::int32_t Nx, std::int32_t Ny,
                         const Fazer& fazer, const Juntar& juntar)
{
    const int n = static_cast<int>(repartidas.size()) - 1;
    const std::vector<int> uma_thread{0, repartidas.back()};
    Tubulacao tub(n);
    return lotes::em_lotes(n, etapas, lotes::deslocamentos(Nx, Ny, n), [&](long long k0, long long k1, int usar) {
        if (usar > 1) {
            juntar(repartidas);
            tub.comecar(repartidas);
            rodar_etapas(tub, k0, k1, fazer);
            faixas::equilibrar(repartidas, tub.ocupado());
        } else {
            tub.comecar(uma_thread);
            rodar_etapas(tub, k0, k1, fazer);
        }
        return k1;
    });
}

// As fronteiras de um campo para as faixas de cada thread.
void juntar(std::optional<faixas::Fronteiras>& f, const faixas::Campo_faixas& campo, const std::vector<int>& partes)
{
    costuras::alocar(costuras::Alocacao::fronteiras);
    f.emplace(campo.Nx(), campo.linhas(), partes);
    f->carregar(campo);
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
    const int n = equipe::preparar(lotes::threads(std::min(numero_threads(), static_cast<int>(nsweeps)), Nx, Ny));
    const int nb = campo.numero_faixas();
    const std::vector<int> partes = faixas::repartir(nb, Ny, nucleos.linhas, n);
    std::optional<faixas::Fronteiras> fronteiras;
    const auto fazer = [&](long long k, int b, int t, bool juntas) {
        faixas::varrer_faixa(nucleos, campo, fonte, b, c, juntas ? fronteiras->vizinhas(t, b) : faixas::Vizinhas{});
        if (juntas) fronteiras->publicar(campo, t, b);
        if (b + 1 == nb) progresso::publicar_varredura_fonte(static_cast<std::int32_t>(k + 1)); // só para a tela
    };
    const int usadas = tubulacao_adaptativa(partes, nsweeps, Nx, Ny, fazer,
                                            [&](const std::vector<int>& p) { juntar(fronteiras, campo, p); });
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
    const long long por_externa = progresso::etapas_por_externa(d.itgs);
    const long long etapas = por_externa * d.itdesl;
    const int n = equipe::preparar(lotes::threads(static_cast<int>(std::min<long long>(numero_threads(), etapas)), d.Nx, d.Ny));
    const std::vector<int> partes = faixas::repartir(U.numero_faixas(), d.Ny, L, n);
    std::optional<faixas::Fronteiras> FU, FV;
    const auto fazer = [&](long long k, int b, int t, bool juntas) {
        const faixas::Vizinhas nenhuma{};
        switch (progresso::etapa_na_posicao(k % por_externa, d.itgs)) {
        case progresso::Etapa::fonte_u:
            nf.fonte_u(SU.vista(), V.vista(), GU.vista(), b, cf, juntas ? FV->vizinhas(t, b) : nenhuma);
            break;
        case progresso::Etapa::varredura_u:
            faixas::varrer_faixa(nucleos, U, SU, b, cu, juntas ? FU->vizinhas(t, b) : nenhuma);
            if (juntas) FU->publicar(U, t, b);
            break;
        case progresso::Etapa::fonte_v:
            nf.fonte_v(SV.vista(), U.vista(), GV.vista(), b, cf, juntas ? FU->vizinhas(t, b) : nenhuma);
            break;
        case progresso::Etapa::varredura_v:
            faixas::varrer_faixa(nucleos, V, SV, b, cv, juntas ? FV->vizinhas(t, b) : nenhuma);
            if (juntas) FV->publicar(V, t, b);
            break;
        }
        if (b + 1 == U.numero_faixas()) progresso::publicar_etapa_deslocamento(k + 1); // só para a tela
    };
    const int usadas = tubulacao_adaptativa(partes, etapas, d.Nx, d.Ny, fazer,
                                            [&](const std::vector<int>& p) {
                                                juntar(FU, U, p);
                                                juntar(FV, V, p);
                                            });
    U.descarregar(c.u);
    V.descarregar(c.v);
    SU.descarregar(c.Su);
    SV.descarregar(c.Sv);
    return usadas;
}

} // namespace rapido
