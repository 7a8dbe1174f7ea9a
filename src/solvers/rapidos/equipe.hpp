// Equipe de threads dos solvers rápidos e a espera por contadores.
//
// A equipe é do processo: as threads são criadas uma vez, na primeira vez que
// são pedidas, e dormem entre um pedido e outro (sem gastar CPU). Uma thread
// que não pode ser criada deixa a equipe menor, sem mensagem: quem pediu n
// threads usa as que preparar() devolve, e os bits não dependem disso.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <type_traits>

namespace equipe {

// Prepara a equipe para n threads (quem chama conta como uma) e devolve
// quantas podem rodar agora, de 1 a n.
int preparar(int n);

// Roda tarefa(0) nesta thread e tarefa(1..n-1) nas da equipe, com o mesmo
// arredondamento e os indicadores de exceção limpos; volta quando todas
// terminaram. As exceções de ponto flutuante levantadas nelas são levantadas
// aqui no fim (os indicadores são de cada thread). Se a equipe não tiver n
// threads (preparar(n) < n), lança std::system_error sem rodar nada. Um
// pedido de cada vez: chamadas de threads diferentes esperam a vez.
//
// As tarefas não lançam exceções de C++: são noexcept, e o compilador
// confere. As tarefas de uma tubulação esperam umas pelas outras, sem
// prazo: a que saísse por uma exceção deixaria as outras esperando para
// sempre. Uma exceção numa tarefa termina o processo na hora
// (std::terminate), nunca trava.
namespace interno {
void em_paralelo(int n, const std::function<void(int)>& tarefa);
}

template <class Tarefa>
void em_paralelo(int n, const Tarefa& tarefa)
{
    static_assert(std::is_nothrow_invocable_v<const Tarefa&, int>, "as tarefas da equipe são noexcept");
    interno::em_paralelo(n, tarefa);
}

// Contador de progresso, sozinho numa linha de cache: uma thread publica
// valores crescentes, outras esperam um alvo. Quem espera gira um pouco (o
// bastante para as esperas curtas de uma tubulação em andamento) e depois
// dorme (numa variável de condição do processo), deixando a CPU para quem
// vai publicar: com mais threads que CPUs ou
// com outro processo ocupando uma CPU, girar só atrasaria a thread esperada.
class alignas(64) Contador {
public:
    explicit Contador(long long inicial = 0) : valor_(inicial) {}

    long long valor() const { return valor_.load(std::memory_order_acquire); }

    // Publica v (release) e acorda quem dorme esperando, só se houver alguém.
    void publicar(long long v)
    {
        valor_.store(v, std::memory_order_seq_cst);
        if (dormindo_.load(std::memory_order_seq_cst) != 0) acordar();
    }

    // Espera até valor() >= alvo.
    void esperar(long long alvo) const
    {
        if (valor_.load(std::memory_order_acquire) >= alvo) return;
        esperar_devagar(alvo);
    }

    // Só quando ninguém espera.
    void reiniciar(long long v = 0) { valor_.store(v, std::memory_order_release); }

private:
    void acordar();
    void esperar_devagar(long long alvo) const;

    std::atomic<long long> valor_;
    mutable std::atomic<int> dormindo_{0};
};

// Quantas vezes, desde o início do processo, uma espera de Contador teve de
// dormir: numa tubulação que anda bem, quase nunca; muitas indicam threads
// tiradas da CPU (outro processo ocupando as CPUs).
long long dormidas();

} // namespace equipe
