#include "solvers/solvers_rapidos.hpp"

#include "plataforma/console.hpp"
#include "plataforma/cpus.hpp"
#include "plataforma/memoria.hpp"
#include "solvers/solvers.hpp"

#include "ajustes.hpp"
#include "costuras.hpp"
#include "faixas.hpp"
#include "rapidos_internos.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <system_error>

namespace rapido {

namespace {

std::atomic<int> threads_pedidas{0};
std::atomic<bool> no_driver{true};
std::atomic<int> conjunto_pedido{-1}; // -1: o melhor disponível

// PLACA2D_THREADS, se for um inteiro de 1 a maximo_de_threads (só
// algarismos); senão 0, e um valor que não vale é avisado uma vez.
int threads_do_ambiente()
{
    const char* texto = std::getenv("PLACA2D_THREADS");
    if (texto == nullptr || *texto == '\0') return 0;
    constexpr int demais = maximo_de_threads + 1;
    int n = 0;
    for (const char* c = texto; *c != '\0' && n < demais; ++c) {
        n = (*c < '0' || *c > '9') ? demais : n * 10 + (*c - '0');
    }
    if (n >= 1 && n < demais) return n;
    static std::atomic<bool> avisado{false};
    if (!avisado.exchange(true)) {
        std::string mostrado(texto, std::min<std::size_t>(std::strlen(texto), 40));
        for (char& c : mostrado) c = (static_cast<unsigned char>(c) < 0x20) ? '?' : c;
        avisar("PLACA2D_THREADS = \"" + mostrado + "\" não vale (é preciso um inteiro de 1 a " +
               std::to_string(maximo_de_threads) + ") e foi ignorada: o cálculo usa as CPUs do processo");
    }
    return 0;
}

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
bool threads_fixas() { return threads_pedidas.load() > 0; }

int numero_threads()
{
    const int n = threads_pedidas.load();
    if (n > 0) return n;
    const int do_ambiente = threads_do_ambiente();
    return do_ambiente > 0 ? do_ambiente : cpus_disponiveis();
}

void usar_no_driver(bool sim) { no_driver.store(sim); }
bool usados_no_driver() { return no_driver.load(); }

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

// Sem memória ou threads para as faixas, a referência refaz o trabalho
// (rapidos_internos.hpp: as entradas dela estão como estavam).
Percurso gs_laplace(double aP, double aX, double aY, std::int32_t itmax, double tol, std::int32_t Nx, std::int32_t Ny,
                    std::span<double> L1, std::span<double> L2, std::span<double> Linf, std::int32_t& it,
                    std::span<double> T, std::int32_t passo_hist)
{
    if (itmax >= 1 && em_faixas(aP, aX, aY, Nx, Ny) && faixas_cabem(Nx, Ny)) {
        try {
            costuras::alocar(costuras::Alocacao::faixas);
            return {Caminho::faixas, laplace_em_faixas(aP, aX, aY, itmax, tol, Nx, Ny, L1, L2, Linf, it, T, passo_hist)};
        } catch (const std::bad_alloc&) {
        } catch (const std::system_error&) {
        }
    }
    referencia::gs_laplace(aP, aX, aY, itmax, tol, Nx, Ny, L1, L2, Linf, it, T);
    return {Caminho::referencia, 1};
}

Percurso gs_fonte(double aP, double aX, double aY, std::span<const double> S, std::int32_t nsweeps, std::int32_t Nx,
                  std::int32_t Ny, std::span<double> phi)
{
    if (nsweeps <= 0) return {};
    if (em_faixas(aP, aX, aY, Nx, Ny) && faixas_cabem(Nx, Ny)) {
        try {
            costuras::alocar(costuras::Alocacao::faixas);
            return {Caminho::faixas, fonte_em_faixas(aP, aX, aY, S, nsweeps, Nx, Ny, phi)};
        } catch (const std::bad_alloc&) {
        } catch (const std::system_error&) {
        }
    }
    referencia::gs_fonte(aP, aX, aY, S, nsweeps, Nx, Ny, phi);
    return {Caminho::referencia, 1};
}

namespace {

// Seis campos em faixas (u, v, as duas fontes e os dois termos da
// temperatura), somados ao que o cálculo já ocupa, cabem na memória física.
bool deslocamentos_cabem(const Deslocamentos& d)
{
    if (!faixas_cabem(d.Nx, d.Ny)) return false;
    const unsigned long long fisica = memoria_fisica();
    const unsigned long long faixas = 6ull * faixas::Campo_faixas::bytes(d.Nx, d.Ny, nucleos_em_uso().linhas);
    return fisica == 0 || d.memoria_em_uso + faixas <= fisica;
}

} // namespace

Percurso iteracoes_deslocamento(const Deslocamentos& d, const Campos_deslocamento& c)
{
    if (d.itdesl < 1) return {}; // nada a fazer: o caminho é nenhum
    if (em_faixas(d.aPu, d.aXu, d.aYu, d.Nx, d.Ny) && em_faixas(d.aPv, d.aXv, d.aYv, d.Nx, d.Ny) &&
        deslocamentos_aceitos(d) && deslocamentos_cabem(d)) {
        try {
            costuras::alocar(costuras::Alocacao::faixas);
            return {Caminho::faixas, deslocamentos_em_faixas(d, c)};
        } catch (const std::bad_alloc&) {
        } catch (const std::system_error&) {
        }
    }
    int threads = 1;
    referencia::iteracoes_deslocamento(d, c, [&threads](double aP, double aX, double aY, std::span<const double> S,
                                                        std::int32_t nsweeps, std::int32_t Nx, std::int32_t Ny,
                                                        std::span<double> phi) {
        threads = std::max(threads, gs_fonte(aP, aX, aY, S, nsweeps, Nx, Ny, phi).threads);
    });
    return {Caminho::referencia, threads};
}

} // namespace rapido
