#include "solvers_rapidos.hpp"

#include "faixas.hpp"
#include "rapidos_internos.hpp"
#include "coeficientes.hpp"
#include "plataforma.hpp"
#include "progresso.hpp"
#include "solvers.hpp"
#include "validacao.hpp"
#include "variaveis.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

namespace rapido {

namespace {

std::atomic<int> threads_pedidas{0};
std::atomic<bool> rapidos_no_driver{true};
std::atomic<int> conjunto_pedido{-1}; // -1: o melhor disponível

// Percursos das últimas chamadas: caminho * 1024 + threads.
std::atomic<int> percurso_termico{0};
std::atomic<int> percurso_deslocamento{0};
std::atomic<bool> sem_memoria{false};

// Antes de criar as faixas: a falha simulada dos testes.
void reservar_faixas()
{
    if (sem_memoria.load()) throw std::bad_alloc();
}

void anotar(std::atomic<int>& onde, Caminho caminho, int threads)
{
    onde.store(static_cast<int>(caminho) * 1024 + std::clamp(threads, 0, 1023));
}

Percurso ler(const std::atomic<int>& onde)
{
    const int p = onde.load();
    return {static_cast<Caminho>(p / 1024), p % 1024};
}

// PLACA2D_THREADS, se for um inteiro de 1 a 1024 (só algarismos); senão 0.
int threads_do_ambiente()
{
    const char* texto = std::getenv("PLACA2D_THREADS");
    if (texto == nullptr || *texto == '\0' || std::strlen(texto) > 4) return 0;
    int n = 0;
    for (const char* c = texto; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') return 0;
        n = n * 10 + (*c - '0');
    }
    return n <= 1024 ? n : 0;
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

int numero_threads()
{
    const int n = threads_pedidas.load();
    if (n > 0) return n;
    const int do_ambiente = threads_do_ambiente();
    return do_ambiente > 0 ? do_ambiente : cpus_disponiveis();
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
            reservar_faixas();
            anotar(percurso_termico, Caminho::faixas,
                   laplace_em_faixas(aP, aX, aY, itmax, tol, Nx, Ny, L1, L2, Linf, it, T, passo_hist));
            return;
        } catch (const std::bad_alloc&) {
        } catch (const std::system_error&) {
        }
    }
    referencia::gs_laplace(aP, aX, aY, itmax, tol, Nx, Ny, L1, L2, Linf, it, T);
    anotar(percurso_termico, Caminho::referencia, 1);
}

void gs_fonte(double aP, double aX, double aY, std::span<const double> S, std::int32_t nsweeps, std::int32_t Nx,
              std::int32_t Ny, std::span<double> phi)
{
    if (nsweeps <= 0) return;
    if (em_faixas(aP, aX, aY, Nx, Ny) && faixas_cabem(Nx, Ny)) {
        try {
            reservar_faixas();
            anotar(percurso_deslocamento, Caminho::faixas, fonte_em_faixas(aP, aX, aY, S, nsweeps, Nx, Ny, phi));
            return;
        } catch (const std::bad_alloc&) {
        } catch (const std::system_error&) {
        }
    }
    referencia::gs_fonte(aP, aX, aY, S, nsweeps, Nx, Ny, phi);
    anotar(percurso_deslocamento, Caminho::referencia, 1);
}

Percurso ultimo_termico() { return ler(percurso_termico); }
Percurso ultimo_deslocamento() { return ler(percurso_deslocamento); }

void simular_falta_de_memoria(bool sim) { sem_memoria.store(sim); }

void esquecer_percursos()
{
    percurso_termico.store(0);
    percurso_deslocamento.store(0);
}

namespace {

// Seis campos em faixas (u, v, as duas fontes e os dois termos da
// temperatura), somados ao que o cálculo já ocupa, cabem na memória física.
bool deslocamentos_cabem(const Variaveis& e)
{
    if (!faixas_cabem(e.Nx, e.Ny)) return false;
    const unsigned long long fisica = memoria_fisica();
    const unsigned long long faixas = 6ull * faixas::Campo_faixas::bytes(e.Nx, e.Ny, nucleos_em_uso().linhas);
    return fisica == 0 || memoria_necessaria() + faixas <= fisica;
}

} // namespace

void iteracoes_deslocamento()
{
    auto& e = estado;
    const std::int32_t n_externas = e.itdesl;
    if (n_externas >= 1 && em_faixas(e.aPu, e.aXu, e.aYu, e.Nx, e.Ny) && em_faixas(e.aPv, e.aXv, e.aYv, e.Nx, e.Ny) &&
        deslocamentos_aceitos(e) && deslocamentos_cabem(e)) {
        try {
            reservar_faixas();
            anotar(percurso_deslocamento, Caminho::faixas, deslocamentos_em_faixas(e));
            e.itd = n_externas + 1;
            return;
        } catch (const std::bad_alloc&) {
        } catch (const std::system_error&) {
        }
    }
    const std::int64_t etapas = 2 + 2 * static_cast<std::int64_t>(std::max(e.itgs, 0)); // por iteração externa
    for (e.itd = 1; e.itd <= n_externas; ++e.itd) {
        fonte_u();
        progresso::publicar_etapa_deslocamento((e.itd - 1) * etapas + 1);
        gs_fonte(e.aPu, e.aXu, e.aYu, e.Su, e.itgs, e.Nx, e.Ny, e.u);
        fonte_v();
        progresso::publicar_etapa_deslocamento(e.itd * etapas - etapas / 2 + 1);
        gs_fonte(e.aPv, e.aXv, e.aYv, e.Sv, e.itgs, e.Nx, e.Ny, e.v);
    }
}

} // namespace rapido
