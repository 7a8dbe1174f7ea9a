#include "solvers_rapidos.hpp"

#include "faixas.hpp"
#include "solvers.hpp"

#include <algorithm>
#include <atomic>
#include <cfenv>
#include <cmath>
#include <functional>
#include <thread>
#include <vector>

namespace rapido {

namespace {

std::atomic<int> threads_pedidas{0};
std::atomic<bool> rapidos_no_driver{true};
std::atomic<int> conjunto_pedido{-1}; // -1: o melhor disponível

const faixas::Nucleos& nucleos_em_uso() { return faixas::nucleos(instrucoes_em_uso()); }

// Espera até o contador chegar ao alvo; cede a CPU se demorar (pode haver
// mais threads que núcleos).
template <class Inteiro>
void esperar(const std::atomic<Inteiro>& contador, Inteiro alvo)
{
    for (int voltas = 0; contador.load(std::memory_order_acquire) < alvo; ++voltas) {
        if (voltas >= 100) std::this_thread::yield();
    }
}

// Roda tarefa(0) nesta thread e tarefa(1..n-1) em threads novas, com o mesmo
// ambiente de ponto flutuante; as exceções levantadas nelas são levantadas
// aqui no fim (os indicadores de exceção são de cada thread).
void em_paralelo(int n, const std::function<void(int)>& tarefa)
{
    std::fenv_t ambiente;
    std::fegetenv(&ambiente);
    std::vector<int> excecoes(static_cast<std::size_t>(n), 0);
    std::vector<std::thread> equipe;
    for (int t = 1; t < n; ++t) {
        equipe.emplace_back([&ambiente, &excecoes, &tarefa, t] {
            std::fesetenv(&ambiente);
            std::feclearexcept(FE_ALL_EXCEPT);
            tarefa(t);
            excecoes[static_cast<std::size_t>(t)] = std::fetestexcept(FE_ALL_EXCEPT);
        });
    }
    tarefa(0);
    for (auto& thread : equipe) thread.join();
    for (const int e : excecoes) {
        if (e != 0) std::feraiseexcept(e);
    }
}

// Quantos campos de resíduos circulam entre quem varre e quem soma. Quem
// varre reescreve as linhas de cache que o outro núcleo leu; se elas ainda
// estiverem no cache dele, cada escrita espera a cópia de lá ser invalidada,
// o que chega a triplicar o tempo da varredura. Com uns 4 MiB circulando,
// mais que o cache L2 de um núcleo, a cópia já saiu de lá quando o campo volta.
std::size_t campos_de_residuos(std::size_t bytes_por_campo)
{
    constexpr std::size_t circulando = 4u << 20;
    return std::max<std::size_t>(2, (circulando + bytes_por_campo - 1) / bytes_por_campo);
}

// Os núcleos em faixas tratam malhas com nó interior e coeficientes finitos
// com aP != 0: assim as lanes fora do interior, que só fazem contas com zeros,
// não levantam exceção. O resto vai para a referência.
bool em_faixas(double aP, double aX, double aY, std::int32_t Nx, std::int32_t Ny)
{
    return Nx >= 3 && Ny >= 3 && std::isfinite(aP) && std::isfinite(aX) && std::isfinite(aY) && aP != 0.0;
}

// Estado de uma solução térmica em faixas, dividida entre quem varre (e
// calcula os resíduos) e quem soma L1 e L2 e decide a parada.
class Solucao_termica {
public:
    // Com duas threads os resíduos circulam por vários campos (ver
    // campos_de_residuos); com uma, basta um.
    Solucao_termica(const faixas::Coeficientes& c, std::int32_t itmax, double tol, std::int32_t Nx, std::int32_t Ny,
                    std::span<double> L1, std::span<double> L2, std::span<double> Linf, bool duas_threads)
        : nucleos_(nucleos_em_uso()), c_(c), itmax_(itmax), tol_(tol), campo_(Nx, Ny, nucleos_.linhas), L1_(L1),
          L2_(L2), Linf_(Linf)
    {
        const std::size_t n = duas_threads ? campos_de_residuos(campo_.bytes()) : 1;
        residuos_.reserve(n);
        for (std::size_t k = 0; k < n; ++k) residuos_.emplace_back(Nx, Ny, nucleos_.linhas);
    }

    faixas::Campo_faixas& campo() { return campo_; }
    std::int32_t it() const { return it_; }

    // Tudo numa thread, faixa a faixa.
    void sozinha()
    {
        for (std::int32_t m = 1;; ++m) {
            varrer_e_medir(m);
            if (somar_e_decidir(m)) return;
        }
    }

    // Papel de quem varre: a varredura m só começa depois da decisão sobre m-1.
    void varredor()
    {
        for (std::int32_t m = 1;; ++m) {
            if (m > 1) {
                esperar(decidida_, m - 1);
                if (parou_.load(std::memory_order_relaxed)) return;
            }
            varrer_e_medir(m);
        }
    }

    // Papel de quem soma, logo atrás de quem varre.
    void somador()
    {
        for (std::int32_t m = 1;; ++m) {
            const bool parar = somar_e_decidir(m);
            parou_.store(parar, std::memory_order_relaxed);
            decidida_.store(m, std::memory_order_release);
            if (parar) return;
        }
    }

private:
    // Etapas da varredura m: 2b+1 quando a faixa b tem resíduos menos na
    // linha de cima, 2b+2 quando tem todos.
    long long marca(std::int32_t m, int etapa) const
    {
        return static_cast<long long>(m - 1) * 2 * campo_.numero_faixas() + etapa;
    }

    // Os resíduos da varredura m.
    faixas::Campo_faixas& residuos(std::int32_t m)
    {
        return residuos_[static_cast<std::size_t>(m) % residuos_.size()];
    }

    // Varredura m; os resíduos saem na própria varredura, menos os da linha de
    // cima da faixa b, que saem logo que a faixa b+1 foi varrida.
    void varrer_e_medir(std::int32_t m)
    {
        const int nb = campo_.numero_faixas();
        faixas::Campo_faixas& residuos_m = residuos(m);
        double maximo = 0.0;
        for (int b = 0; b < nb; ++b) {
            faixas::varrer_faixa_com_residuos(nucleos_, campo_, residuos_m, b, c_, maximo);
            if (b > 0) faixas::residuos_linha_topo(campo_, residuos_m, b - 1, c_, maximo);
            prontas_.store(marca(m, 2 * b + 1), std::memory_order_release);
        }
        faixas::residuos_linha_topo(campo_, residuos_m, nb - 1, c_, maximo);
        prontas_.store(marca(m, 2 * nb), std::memory_order_release);
        Linf_[static_cast<std::size_t>(m)] = maximo;
    }

    // L1(m) e L2(m) na ordem dos nós e o teste de parada da referência.
    bool somar_e_decidir(std::int32_t m)
    {
        double soma1 = 0.0;
        double soma2 = 0.0;
        const faixas::Campo_faixas& residuos_m = residuos(m);
        const int topo = campo_.linhas() - 1;
        for (int b = 0; b < campo_.numero_faixas(); ++b) {
            esperar(prontas_, marca(m, 2 * b + 1));
            faixas::somar_faixa(residuos_m, b, 0, topo, soma1, soma2);
            esperar(prontas_, marca(m, 2 * b + 2));
            faixas::somar_faixa(residuos_m, b, topo, topo + 1, soma1, soma2);
        }
        const std::size_t mm = static_cast<std::size_t>(m);
        L1_[mm] = soma1;
        L2_[mm] = soma2;
        const bool convergiu = m >= 2 && L1_[mm] / L1_[0] <= tol_;
        if (convergiu || m >= itmax_) {
            it_ = m;
            return true;
        }
        return false;
    }

    const faixas::Nucleos& nucleos_;
    faixas::Coeficientes c_;
    std::int32_t itmax_;
    double tol_;
    faixas::Campo_faixas campo_;
    std::vector<faixas::Campo_faixas> residuos_;
    std::span<double> L1_, L2_, Linf_;
    std::int32_t it_ = 0;
    std::atomic<long long> prontas_{0};
    std::atomic<std::int32_t> decidida_{0};
    std::atomic<bool> parou_{false};
};

} // namespace

void definir_threads(int n) { threads_pedidas.store(n); }

int numero_threads()
{
    const int n = threads_pedidas.load();
    if (n > 0) return n;
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

void usar_nucleos_rapidos(bool sim) { rapidos_no_driver.store(sim); }

bool instrucoes_disponiveis(Instrucoes conjunto) { return faixas::disponivel(conjunto); }

bool usar_instrucoes(Instrucoes conjunto)
{
    if (!faixas::disponivel(conjunto)) return false;
    conjunto_pedido.store(static_cast<int>(conjunto));
    return true;
}

void usar_melhores_instrucoes() { conjunto_pedido.store(-1); }

Instrucoes instrucoes_em_uso()
{
    const int pedido = conjunto_pedido.load();
    return pedido < 0 ? faixas::melhor_disponivel() : static_cast<Instrucoes>(pedido);
}

const char* nome(Instrucoes conjunto)
{
    switch (conjunto) {
    case Instrucoes::avx512: return "AVX-512";
    case Instrucoes::avx2: return "AVX2";
    case Instrucoes::portavel: break;
    }
    return "portável";
}
bool nucleos_rapidos() { return rapidos_no_driver.load(); }

// Uma thread varre e calcula os resíduos; outra faz as duas somas em série,
// que são o gargalo (uma adição dependente por nó).
void gs_laplace(double aP, double aX, double aY, std::int32_t itmax, double tol, std::int32_t Nx, std::int32_t Ny,
                std::span<double> L1, std::span<double> L2, std::span<double> Linf, std::int32_t& it,
                std::span<double> T)
{
    if (itmax < 1 || !em_faixas(aP, aX, aY, Nx, Ny)) {
        ::gs_laplace(aP, aX, aY, itmax, tol, Nx, Ny, L1, L2, Linf, it, T);
        return;
    }
    const bool duas_threads = numero_threads() >= 2;
    Solucao_termica solucao({aP, aX, aY}, itmax, tol, Nx, Ny, L1, L2, Linf, duas_threads);
    solucao.campo().carregar(T);
    if (duas_threads) {
        em_paralelo(2, [&solucao](int t) {
            if (t == 0) solucao.varredor();
            else solucao.somador();
        });
    } else {
        solucao.sozinha();
    }
    solucao.campo().descarregar(T);
    it = solucao.it();
}

// Varreduras em tubulação: a varredura m fica com a thread m mod n e só
// entra na faixa b quando a varredura m-1 já saiu da faixa b+1.
void gs_fonte(double aP, double aX, double aY, std::span<const double> S, std::int32_t nsweeps, std::int32_t Nx,
              std::int32_t Ny, std::span<double> phi)
{
    if (nsweeps <= 0) return;
    if (!em_faixas(aP, aX, aY, Nx, Ny)) {
        ::gs_fonte(aP, aX, aY, S, nsweeps, Nx, Ny, phi);
        return;
    }
    const faixas::Nucleos& nucleos = nucleos_em_uso();
    faixas::Campo_faixas campo(Nx, Ny, nucleos.linhas);
    faixas::Campo_faixas fonte(Nx, Ny, nucleos.linhas);
    campo.carregar(phi);
    fonte.carregar(S);
    const faixas::Coeficientes c{aP, aX, aY};
    const int n = std::min(numero_threads(), static_cast<int>(nsweeps));
    const int nb = campo.numero_faixas();
    // Por thread: m*nb + b + 1 depois de varrer a faixa b da varredura m (base 0).
    std::vector<std::atomic<long long>> feitas(static_cast<std::size_t>(n));
    em_paralelo(n, [&](int t) {
        for (int m = t; m < nsweeps; m += n) {
            for (int b = 0; b < nb; ++b) {
                if (m > 0) {
                    const auto& anterior = feitas[static_cast<std::size_t>((m - 1) % n)];
                    esperar(anterior, static_cast<long long>(m - 1) * nb + std::min(b + 1, nb - 1) + 1);
                }
                faixas::varrer_faixa(nucleos, campo, fonte, b, c);
                feitas[static_cast<std::size_t>(t)].store(static_cast<long long>(m) * nb + b + 1,
                                                          std::memory_order_release);
            }
        }
    });
    campo.descarregar(phi);
}

} // namespace rapido
