#include "equipe.hpp"

#include <cfenv>
#include <cstddef>
#include <vector>

namespace equipe {

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

} // namespace equipe
