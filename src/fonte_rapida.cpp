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
#include "progresso.hpp"
#include "nucleos_fonte.hpp"
#include "solvers_rapidos.hpp"
#include "variaveis.hpp"

#include <algorithm>
#include <chrono>
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

// Roda as etapas k0 .. k1-1 em tubulação com n threads (a etapa k0 com a
// thread 0); fazer(k, b) faz a faixa b da etapa k. As etapas antes de k0 já
// terminaram.
template <class Fazer>
void tubulacao(int n, long long k0, long long k1, int nb, const Fazer& fazer)
{
    std::unique_ptr<equipe::Contador[]> feitas(new equipe::Contador[static_cast<std::size_t>(n)]);
    equipe::em_paralelo(n, [&](int t) {
        equipe::Contador& minhas = feitas[static_cast<std::size_t>(t)];
        for (long long i = t; i < k1 - k0; i += n) {
            const equipe::Contador& anterior = feitas[static_cast<std::size_t>((i + n - 1) % n)];
            for (int b = 0; b < nb; ++b) {
                if (i > 0) anterior.esperar((i - 1) * nb + std::min(b + 1, nb - 1) + 1);
                fazer(k0 + i, b);
                minhas.publicar(i * nb + b + 1);
            }
        }
    });
}

// Tubulação que se adapta à carga da máquina. Com outro processo ocupando
// as CPUs, a thread que o sistema tira da CPU segura as outras, que só
// podem dormir: medido aqui com duas threads e a máquina carregada, a fase
// dos deslocamentos de 201 x 201 levou 2,9 ns por nó e varredura contra
// 0,66 com uma thread. Então as etapas vão em lotes de uns 3e7 nós-etapa
// (uns 10 ms), cada um com n ou com uma thread; um lote com n threads em
// que alguma espera dormiu leva ao teste de um lote com uma thread, e fica o
// que andou mais depressa. Com uma thread, n volta a ser testado num lote
// curto (um oitavo) depois de 8, 16, ... até 64 lotes. Numa máquina quieta ninguém dorme
// e nada muda.
template <class Fazer>
int tubulacao_adaptativa(int n, long long etapas, int nb, long long nos, const Fazer& fazer)
{
    if (n <= 1) {
        tubulacao(1, 0, etapas, nb, fazer);
        return 1;
    }
    const long long lote = std::max<long long>(4LL * n, 30000000LL / std::max<long long>(nos, 1));
    double uma = 0.0;      // segundos por etapa com uma thread no último teste (0: sem teste)
    bool com_n = true;
    int perdeu = 4, ganhou = 1; // esperas (em lotes) que dobram
    int faltam = 0;             // lotes até o próximo teste
    int maior = 1;
    bool testando = true; // lote curto com n threads: o primeiro e os que voltam de uma thread
    for (long long k = 0; k < etapas;) {
        const long long fim = std::min(etapas, k + (testando ? std::max<long long>(2LL * n, lote / 8) : lote));
        const int usar = com_n ? n : 1;
        const long long dormidas = equipe::dormidas();
        const auto inicio = std::chrono::steady_clock::now();
        tubulacao(usar, k, fim, nb, fazer);
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - inicio).count() /
                         static_cast<double>(fim - k);
        const bool dormiu = equipe::dormidas() != dormidas;
        maior = std::max(maior, usar);
        k = fim;
        testando = false;
        if (!com_n) {
            uma = s;
            com_n = testando = --faltam <= 0;
        } else if (uma > 0.0 && s > uma) {
            // n threads perderam para uma: fica com uma por 8, 16, ... 64 lotes.
            perdeu = std::min(perdeu * 2, 64);
            faltam = perdeu;
            com_n = false;
            uma = 0.0;
        } else if (uma > 0.0) {
            // Ganharam: o próximo teste, se alguém dormir, só depois de 2, 4, ... lotes.
            perdeu = 4;
            ganhou = std::min(ganhou * 2, 64);
            faltam = ganhou;
            uma = 0.0;
        } else if (dormiu && --faltam <= 0) {
            faltam = 1;
            com_n = false;
        }
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
    const int usadas = tubulacao_adaptativa(n, nsweeps, nb, static_cast<long long>(Nx) * Ny, [&](long long k, int b) {
        faixas::varrer_faixa(nucleos, campo, fonte, b, c);
        if (b + 1 == nb) progresso::publicar_varredura_fonte(static_cast<std::int32_t>(k + 1)); // só para a tela
    });
    campo.descarregar(phi);
    return usadas;
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
    const int usadas =
        tubulacao_adaptativa(n, etapas, U.numero_faixas(), static_cast<long long>(e.Nx) * e.Ny, [&](long long k, int b) {
        const long long r = k % por_externa;
        if (r == 0) nf.fonte_u(SU.vista(), V.vista(), GU.vista(), b, cf);
        else if (r <= itgs) faixas::varrer_faixa(nucleos, U, SU, b, cu);
        else if (r == itgs + 1) nf.fonte_v(SV.vista(), U.vista(), GV.vista(), b, cf);
        else faixas::varrer_faixa(nucleos, V, SV, b, cv);
        if (b + 1 == U.numero_faixas()) progresso::publicar_etapa_deslocamento(k + 1); // só para a tela
    });
    U.descarregar(e.u);
    V.descarregar(e.v);
    SU.descarregar(e.Su);
    SV.descarregar(e.Sv);
    return usadas;
}

} // namespace rapido
