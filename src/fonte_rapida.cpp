// Varreduras com fonte em faixas e a fase dos deslocamentos inteira.
//
// Invariantes da tubulação (tubulacao abaixo):
// - A etapa k (uma varredura, ou o cálculo de uma fonte) percorre as faixas
//   0 .. nb-1 em ordem e fica com a thread k mod n. Essa thread publica
//   k*nb + b + 1 no seu contador depois de terminar a faixa b (release).
// - A etapa k só entra na faixa b depois de ler (acquire) que a etapa k-1
//   terminou a faixa min(b+1, nb-1). Por indução, toda etapa anterior a k
//   já terminou as faixas até b+1: o que a etapa k lê na faixa b+1 (a linha
//   de cima, valores da etapa anterior) e na b-1 (a linha de baixo, já da
//   etapa k) está pronto, e ninguém escreve numa faixa que ela ainda lê,
//   porque a etapa k+1 só entra na faixa b depois que a k saiu da b+1.
// - Os contadores só crescem: a thread reaproveita o seu para a etapa k+n,
//   com valores maiores que todos os alvos de quem espera a etapa k.
// - Uma etapa de fonte na faixa b lê os vizinhos diagonais nas faixas b-1, b
//   e b+1 e escreve só a faixa b da fonte, que nenhuma etapa anterior ainda
//   lê; é a mesma dependência de uma varredura.
#include "rapidos_internos.hpp"

#include "equipe.hpp"
#include "nucleos_fonte.hpp"
#include "solvers_rapidos.hpp"
#include "variaveis.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
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

// Roda `etapas` etapas em tubulação com n threads; fazer(k, b) faz a faixa b
// da etapa k.
template <class Fazer>
void tubulacao(int n, long long etapas, int nb, const Fazer& fazer)
{
    std::unique_ptr<equipe::Contador[]> feitas(new equipe::Contador[static_cast<std::size_t>(n)]);
    equipe::em_paralelo(n, [&](int t) {
        equipe::Contador& minhas = feitas[static_cast<std::size_t>(t)];
        for (long long k = t; k < etapas; k += n) {
            const equipe::Contador& anterior = feitas[static_cast<std::size_t>((k + n - 1) % n)];
            for (int b = 0; b < nb; ++b) {
                if (k > 0) anterior.esperar((k - 1) * nb + std::min(b + 1, nb - 1) + 1);
                fazer(k, b);
                minhas.publicar(k * nb + b + 1);
            }
        }
    });
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
    tubulacao(n, nsweeps, campo.numero_faixas(),
              [&](long long, int b) { faixas::varrer_faixa(nucleos, campo, fonte, b, c); });
    campo.descarregar(phi);
    return n;
}

bool deslocamentos_aceitos(const Variaveis& e)
{
    const double dxdy = e.dx * e.dy;
    const long long por_externa = 2 + 2 * static_cast<long long>(std::max<std::int32_t>(e.itgs, 0));
    // O contador de progresso, etapas * faixas, cabe com folga em 63 bits.
    return std::isfinite(e.K) && std::isfinite(dxdy) && dxdy != 0.0 &&
           nucleos_fonte(instrucoes_em_uso()).linhas == nucleos_em_uso().linhas &&
           static_cast<double>(por_externa) * e.itdesl * static_cast<double>(e.Ny) < 1e18;
}

// Passo 14 inteiro em faixas: u, v, Su, Sv e os termos da temperatura das
// fontes (constantes na fase, já que T não muda) ficam nas faixas do começo
// ao fim, e as 2 + 2*itgs etapas de cada iteração externa (fonte de u, itgs
// varreduras de u, fonte de v, itgs de v) formam uma só tubulação: sem
// criar threads, sem alocar, sem converter e sem barreira entre chamadas.
int deslocamentos_em_faixas(Variaveis& e)
{
    const faixas::Nucleos& nucleos = nucleos_em_uso();
    const faixas::Nucleos_fonte& nf = nucleos_fonte(instrucoes_em_uso());
    const int L = nucleos.linhas;
    faixas::Campo_faixas U(e.Nx, e.Ny, L), V(e.Nx, e.Ny, L), SU(e.Nx, e.Ny, L), SV(e.Nx, e.Ny, L),
        GU(e.Nx, e.Ny, L), GV(e.Nx, e.Ny, L);

    // Os termos da temperatura de fonte_u e fonte_v, com as mesmas contas,
    // passam por Su e Sv, que no fim recebem as fontes da última iteração.
    const std::size_t nx = static_cast<std::size_t>(e.Nx);
    for (std::int32_t iy = 2; iy <= e.Ny - 1; ++iy) {
        for (std::int32_t ix = 2; ix <= e.Nx - 1; ++ix) {
            const std::size_t k = static_cast<std::size_t>(iy - 1) * nx + static_cast<std::size_t>(ix - 1);
            e.Su[k] = (e.T[k + 1] - e.T[k - 1]) * e.alpha / e.dx;
            e.Sv[k] = (e.T[k + nx] - e.T[k - nx]) * e.alpha / e.dy;
        }
    }
    GU.carregar(e.Su);
    GV.carregar(e.Sv);
    U.carregar(e.u);
    V.carregar(e.v);

    const faixas::Coeficientes cu{e.aPu, e.aXu, e.aYu}, cv{e.aPv, e.aXv, e.aYv};
    const faixas::Constantes_fonte cf{e.dx * e.dy, e.K};
    const long long itgs = std::max<std::int32_t>(e.itgs, 0);
    const long long por_externa = 2 + 2 * itgs;
    const long long etapas = por_externa * e.itdesl;
    const int n = equipe::preparar(static_cast<int>(std::min<long long>(numero_threads(), etapas)));
    tubulacao(n, etapas, U.numero_faixas(), [&](long long k, int b) {
        const long long r = k % por_externa;
        if (r == 0) nf.fonte_u(SU.vista(), V.vista(), GU.vista(), b, cf);
        else if (r <= itgs) faixas::varrer_faixa(nucleos, U, SU, b, cu);
        else if (r == itgs + 1) nf.fonte_v(SV.vista(), U.vista(), GV.vista(), b, cf);
        else faixas::varrer_faixa(nucleos, V, SV, b, cv);
    });
    U.descarregar(e.u);
    V.descarregar(e.v);
    SU.descarregar(e.Su);
    SV.descarregar(e.Sv);
    return n;
}

} // namespace rapido
