#include "tubulacao.hpp"

namespace rapido {

Tubulacao::Tubulacao(int threads)
    : feitas_(static_cast<std::size_t>(threads)), tempos_(static_cast<std::size_t>(threads))
{
}

void Tubulacao::comecar(const std::vector<int>& inicio)
{
    inicio_ = inicio;
    n_ = static_cast<int>(inicio_.size()) - 1;
    nb_ = inicio_.back();
    for (int t = 0; t < n_; ++t) {
        feitas_[lugar(t)].reiniciar(0);
        tempos_[lugar(t)] = Tempo{};
    }
    interrompida_.store(false, std::memory_order_relaxed);
}

const std::vector<double>& Tubulacao::ocupado()
{
    ocupado_.resize(lugar(n_));
    for (int t = 0; t < n_; ++t) ocupado_[lugar(t)] = tempos_[lugar(t)].total - tempos_[lugar(t)].espera;
    return ocupado_;
}

} // namespace rapido
