#include "rapidos_internos.hpp"

#include "equipe.hpp"

#include <algorithm>
#include <atomic>
#include <cfenv>
#include <vector>

namespace rapido {

using equipe::em_paralelo;
using equipe::esperar;

namespace {

// Campos de resíduos que circulam entre quem varre e quem soma quando a
// varredura é adiantada, ou 0 se ela não deve ser. Quem varre reescreve as
// linhas de cache que o outro núcleo leu; se elas ainda estiverem no cache
// dele, cada escrita espera a cópia de lá ser invalidada, o que chega a
// triplicar o tempo da varredura. Com uns 8 MiB circulando, bem mais que o
// cache L2 de um núcleo, a cópia já saiu de lá quando o campo volta (medido
// no Zen 4: 4 MiB ainda deixam malhas de 101 x 101 uns 30 % mais lentas).
// São pelo menos dois, um para cada thread, e com os dois campos de
// temperatura somam no máximo 16 MiB: acima disso (malhas de uns 700 x 700
// nós) já não cabe no cache L3 e adiantar custa mais do que ganha.
std::size_t residuos_para_adiantar(std::size_t bytes_por_campo)
{
    constexpr std::size_t circulando = 8u << 20;
    constexpr std::size_t limite = 16u << 20;
    const std::size_t cabem = limite / bytes_por_campo;
    if (cabem < 4) return 0;
    const std::size_t desejados = (circulando + bytes_por_campo - 1) / bytes_por_campo;
    return std::clamp<std::size_t>(desejados, 2, cabem - 2);
}

// Solução térmica em faixas, dividida entre quem varre (e calcula os
// resíduos e o máximo) e quem soma L1 e L2 na ordem dos nós e decide a
// parada. Com duas threads e campos que cabem no cache, a varredura m lê o
// campo de m-1 e escreve o de m, alternando entre dois campos: assim quem
// varre faz a varredura m+1 enquanto a soma da m não termina, e a descarta
// se a decisão for parar na m. Senão há um campo só, varrido no lugar, e a
// varredura m+1 espera a decisão sobre a m.
class Solucao_termica {
public:
    Solucao_termica(const faixas::Coeficientes& c, std::int32_t itmax, double tol, std::int32_t Nx, std::int32_t Ny,
                    std::span<double> L1, std::span<double> L2, std::span<double> Linf, bool duas_threads)
        : nucleos_(nucleos_em_uso()), c_(c), itmax_(itmax), tol_(tol), L1_(L1), L2_(L2), Linf_(Linf)
    {
        const std::size_t adiantados = residuos_para_adiantar(faixas::Campo_faixas::bytes(Nx, Ny, nucleos_.linhas));
        const bool adiantar = duas_threads && adiantados > 0;
        const std::size_t n_residuos = adiantar ? adiantados : 1;
        for (int k = 0; k < (adiantar ? 2 : 1); ++k) campos_.emplace_back(Nx, Ny, nucleos_.linhas);
        residuos_.reserve(n_residuos);
        for (std::size_t k = 0; k < n_residuos; ++k) residuos_.emplace_back(Nx, Ny, nucleos_.linhas);
    }

    void carregar(std::span<const double> T)
    {
        for (auto& campo : campos_) campo.carregar(T);
    }

    // O campo da última varredura, it.
    void descarregar(std::span<double> T) const { campo(it_).descarregar(T); }

    std::int32_t it() const { return it_; }

    // Tudo numa thread, faixa a faixa.
    void sozinha()
    {
        for (std::int32_t m = 1;; ++m) {
            varrer_e_medir(m);
            if (somar_e_decidir(m)) return;
        }
    }

    // Papel de quem varre. Com dois campos, a varredura m+1 começa sem
    // esperar a decisão sobre a m, mas só depois da decisão sobre a m-1, cujo
    // campo ela sobrescreve; se essa decisão foi parar, a varredura m é
    // descartada, com as exceções de ponto flutuante que levantou. Só a
    // decisão sobre a m-1 conta, mesmo que a da m já tenha saído: assim há
    // sempre uma varredura adiantada e descartada no fim, sem depender de
    // qual thread chega antes.
    void varredor()
    {
        const std::int32_t adiantadas = static_cast<std::int32_t>(campos_.size()) - 1;
        for (std::int32_t m = 1;; ++m) {
            std::fexcept_t antes;
            std::fegetexceptflag(&antes, FE_ALL_EXCEPT);
            varrer_e_medir(m);
            if (m > adiantadas) {
                esperar(decidida_, m - adiantadas);
                const std::int32_t parada = parada_.load(std::memory_order_relaxed);
                if (parada != 0 && parada <= m - adiantadas) {
                    if (parada < m) std::fesetexceptflag(&antes, FE_ALL_EXCEPT);
                    return;
                }
            }
            if (m >= itmax_) return;
        }
    }

    // Papel de quem soma, logo atrás de quem varre.
    void somador()
    {
        for (std::int32_t m = 1;; ++m) {
            const bool parar = somar_e_decidir(m);
            if (parar) parada_.store(m, std::memory_order_relaxed);
            decidida_.store(m, std::memory_order_release);
            if (parar) return;
        }
    }

private:
    // O campo da varredura m.
    faixas::Campo_faixas& campo(std::int32_t m) { return campos_[static_cast<std::size_t>(m) % campos_.size()]; }
    const faixas::Campo_faixas& campo(std::int32_t m) const
    {
        return campos_[static_cast<std::size_t>(m) % campos_.size()];
    }

    faixas::Campo_faixas& residuos(std::int32_t m)
    {
        return residuos_[static_cast<std::size_t>(m) % residuos_.size()];
    }

    // Etapas da varredura m: 2b+1 quando a faixa b tem resíduos menos na
    // linha de cima, 2b+2 quando tem todos.
    long long marca(std::int32_t m, int etapa) const
    {
        return static_cast<long long>(m - 1) * 2 * campos_[0].numero_faixas() + etapa;
    }

    // Varredura m; os resíduos saem na própria varredura, menos os da linha de
    // cima da faixa b, que saem logo que a faixa b+1 foi varrida.
    void varrer_e_medir(std::int32_t m)
    {
        faixas::Campo_faixas& velho = campo(m - 1);
        faixas::Campo_faixas& novo = campo(m);
        faixas::Campo_faixas& r = residuos(m);
        const int nb = novo.numero_faixas();
        double maximo = 0.0;
        for (int b = 0; b < nb; ++b) {
            faixas::varrer_faixa_com_residuos(nucleos_, velho, novo, r, b, c_, maximo);
            if (b > 0) faixas::residuos_linha_topo(novo, r, b - 1, c_, maximo);
            prontas_.store(marca(m, 2 * b + 1), std::memory_order_release);
        }
        faixas::residuos_linha_topo(novo, r, nb - 1, c_, maximo);
        maximos_[m % 2].valor = maximo;
        prontas_.store(marca(m, 2 * nb), std::memory_order_release);
    }

    // L1(m), L2(m) e Linf(m) e o teste de parada da referência.
    bool somar_e_decidir(std::int32_t m)
    {
        double soma1 = 0.0;
        double soma2 = 0.0;
        const faixas::Campo_faixas& r = residuos(m);
        const int topo = r.linhas() - 1;
        for (int b = 0; b < r.numero_faixas(); ++b) {
            esperar(prontas_, marca(m, 2 * b + 1));
            faixas::somar_faixa(r, b, 0, topo, soma1, soma2);
            esperar(prontas_, marca(m, 2 * b + 2));
            faixas::somar_faixa(r, b, topo, topo + 1, soma1, soma2);
        }
        const std::size_t mm = static_cast<std::size_t>(m);
        L1_[mm] = soma1;
        L2_[mm] = soma2;
        Linf_[mm] = maximos_[m % 2].valor;
        const bool convergiu = m >= 2 && L1_[mm] / L1_[0] <= tol_;
        if (convergiu || m >= itmax_) {
            it_ = m;
            return true;
        }
        return false;
    }

    // Um valor sozinho numa linha de cache.
    struct alignas(64) Isolado {
        double valor = 0.0;
    };

    const faixas::Nucleos& nucleos_;
    faixas::Coeficientes c_;
    std::int32_t itmax_;
    double tol_;
    std::vector<faixas::Campo_faixas> campos_;
    std::vector<faixas::Campo_faixas> residuos_;
    std::span<double> L1_, L2_, Linf_;
    std::int32_t it_ = 0;
    Isolado maximos_[2]; // maior |r| das duas últimas varreduras
    alignas(64) std::atomic<long long> prontas_{0};
    alignas(64) std::atomic<std::int32_t> decidida_{0};
    std::atomic<std::int32_t> parada_{0}; // a varredura em que parou, ou 0
};

} // namespace

// Uma thread varre e calcula os resíduos; outra faz as duas somas em série,
// que são o gargalo (uma adição dependente por nó).
int laplace_em_faixas(double aP, double aX, double aY, std::int32_t itmax, double tol, std::int32_t Nx,
                       std::int32_t Ny, std::span<double> L1, std::span<double> L2, std::span<double> Linf,
                       std::int32_t& it, std::span<double> T)
{
    const bool duas_threads = equipe::preparar(std::min(numero_threads(), 2)) >= 2;
    Solucao_termica solucao({aP, aX, aY}, itmax, tol, Nx, Ny, L1, L2, Linf, duas_threads);
    solucao.carregar(T);
    if (duas_threads) {
        em_paralelo(2, [&solucao](int t) {
            if (t == 0) solucao.varredor();
            else solucao.somador();
        });
    } else {
        solucao.sozinha();
    }
    solucao.descarregar(T);
    it = solucao.it();
    return duas_threads ? 2 : 1;
}

} // namespace rapido
