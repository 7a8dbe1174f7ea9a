// Equipe de threads dos solvers rápidos e a espera por contadores.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace equipe {

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
void em_paralelo(int n, const std::function<void(int)>& tarefa);

} // namespace equipe
