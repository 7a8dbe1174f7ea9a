#include "solvers_rapidos.hpp"

#include "faixas.hpp"
#include "rapidos_internos.hpp"
#include "solvers.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <new>
#include <thread>

namespace rapido {

namespace {

std::atomic<int> threads_pedidas{0};
std::atomic<bool> rapidos_no_driver{true};
std::atomic<int> conjunto_pedido{-1}; // -1: o melhor disponível

// Os núcleos em faixas tratam malhas com nó interior e coeficientes finitos
// com aP != 0: assim as lanes fora do interior, que só fazem contas com zeros,
// não levantam exceção. O resto vai para a referência.
bool em_faixas(double aP, double aX, double aY, std::int32_t Nx, std::int32_t Ny)
{
    return Nx >= 3 && Ny >= 3 && std::isfinite(aP) && std::isfinite(aX) && std::isfinite(aY) && aP != 0.0;
}

// O arranjo em faixas guarda L lanes por posição mesmo onde há menos linhas e
// margens de 3L posições por faixa: em malhas muito baixas ou muito estreitas
// isso passa de muitas vezes o campo. Aí fica a referência, que não precisa
// dessa memória e, nessas malhas, quase não perde em tempo.
bool faixas_cabem(std::int32_t Nx, std::int32_t Ny)
{
    const std::size_t campo = static_cast<std::size_t>(Nx) * static_cast<std::size_t>(Ny) * sizeof(double);
    return faixas::Campo_faixas::bytes(Nx, Ny, nucleos_em_uso().linhas) <= 4 * campo + (64u << 20);
}

} // namespace

void definir_threads(int n) { threads_pedidas.store(n); }

int numero_threads()
{
    const int n = threads_pedidas.load();
    if (n > 0) return n;
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

void usar_nucleos_rapidos(bool sim) { rapidos_no_driver.store(sim); }
bool nucleos_rapidos() { return rapidos_no_driver.load(); }

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

const faixas::Nucleos& nucleos_em_uso() { return faixas::nucleos(instrucoes_em_uso()); }

// Sem memória para as faixas (que só são criadas antes de mexer nos
// resultados), a referência faz o trabalho.
void gs_laplace(double aP, double aX, double aY, std::int32_t itmax, double tol, std::int32_t Nx, std::int32_t Ny,
                std::span<double> L1, std::span<double> L2, std::span<double> Linf, std::int32_t& it,
                std::span<double> T, std::int32_t passo_hist)
{
    if (itmax >= 1 && em_faixas(aP, aX, aY, Nx, Ny) && faixas_cabem(Nx, Ny)) {
        try {
            laplace_em_faixas(aP, aX, aY, itmax, tol, Nx, Ny, L1, L2, Linf, it, T, passo_hist);
            return;
        } catch (const std::bad_alloc&) {
        }
    }
    ::gs_laplace(aP, aX, aY, itmax, tol, Nx, Ny, L1, L2, Linf, it, T);
}

void gs_fonte(double aP, double aX, double aY, std::span<const double> S, std::int32_t nsweeps, std::int32_t Nx,
              std::int32_t Ny, std::span<double> phi)
{
    if (nsweeps <= 0) return;
    if (em_faixas(aP, aX, aY, Nx, Ny) && faixas_cabem(Nx, Ny)) {
        try {
            fonte_em_faixas(aP, aX, aY, S, nsweeps, Nx, Ny, phi);
            return;
        } catch (const std::bad_alloc&) {
        }
    }
    ::gs_fonte(aP, aX, aY, S, nsweeps, Nx, Ny, phi);
}

} // namespace rapido
