#include "rapidos_internos.hpp"

#include "equipe.hpp"

#include <algorithm>
#include <atomic>
#include <vector>

namespace rapido {

using equipe::em_paralelo;
using equipe::esperar;

// Varreduras em tubulação: a varredura m fica com a thread m mod n e só
// entra na faixa b quando a varredura m-1 já saiu da faixa b+1.
int fonte_em_faixas(double aP, double aX, double aY, std::span<const double> S, std::int32_t nsweeps,
                     std::int32_t Nx, std::int32_t Ny, std::span<double> phi)
{
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
    return n;
}

} // namespace rapido
