// As costuras dos testes: no lugar das do programa (costuras.hpp explica
// por que o ligador fica com estas), com os comandos das falhas.
#include "costuras.hpp"

#include <atomic>
#include <new>
#include <system_error>

namespace costuras {

namespace {

constexpr int nenhuma = -1;
std::atomic<int> alocacao_que_falha{nenhuma};
std::atomic<int> criar_ate_falhar{nenhuma};
std::atomic<int> pedidas{0};

} // namespace

void alocar(Alocacao onde)
{
    if (alocacao_que_falha.load() == static_cast<int>(onde)) throw std::bad_alloc();
}

void criar_thread()
{
    ++pedidas;
    const int k = criar_ate_falhar.load();
    if (k == 0) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    if (k > 0) criar_ate_falhar.store(k - 1);
}

void teste::falhar_alocacao(std::optional<Alocacao> onde)
{
    alocacao_que_falha.store(onde ? static_cast<int>(*onde) : nenhuma);
}

void teste::falhar_criacao_de_threads(int k) { criar_ate_falhar.store(k); }
int teste::threads_pedidas_ao_sistema() { return pedidas.load(); }

} // namespace costuras
