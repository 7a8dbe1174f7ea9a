// Tubulação de etapas sobre faixas repartidas entre threads: quem faz qual
// faixa de qual etapa e as esperas entre as threads. Etapas são varreduras
// (a solução térmica, as de u e de v) ou cálculos de fonte. Cada thread fica
// sempre com as mesmas faixas, contíguas (faixas::repartir), e entre threads
// só passam as linhas das fronteiras, em cópias compactas (faixas::Fronteiras,
// uma por campo varrido): o resto do campo fica no cache de quem o varre.
// Repartir cada etapa inteira entre as threads faria cada linha de cache do
// campo mudar de núcleo a cada etapa, e duas threads renderiam o mesmo que
// uma.
//
// Invariantes (por que as passagens entre threads não têm corrida):
// - A thread t faz as faixas inicio[t] a inicio[t+1]-1 de cada etapa, em
//   ordem, e depois da faixa b da etapa i do lote publica (liberação)
//   i*nb + b + 1 no seu contador, que só cresce.
// - Antes da primeira faixa, ela espera (aquisição) a faixa de baixo desta
//   etapa, da thread t-1; antes da última, a faixa de cima da etapa
//   anterior, da thread t+1; no resto, a ordem dela basta. Assim a etapa i
//   só entra na faixa b com a b-1 já da etapa i e a b+1 ainda da i-1: por
//   indução, o que ela lê nas duas está pronto, e ninguém escreve numa faixa
//   que outra thread ainda lê, porque a etapa i+1 só entra na faixa b depois
//   que a i saiu da b+1. As cópias das fronteiras seguem a mesma ordem.
// - As etapas de antes do lote já terminaram: entre lotes ninguém espera, e
//   os contadores recomeçam do zero.
// - Interromper o lote (a solução térmica, quando para antes do fim dele) é
//   publicado antes de quem interrompe soltar as esperas dos outros; toda
//   espera devolve se o lote foi interrompido, e quem sai publica o máximo
//   no seu contador: ninguém espera para sempre.
#pragma once

#include "equipe.hpp"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <limits>
#include <vector>

namespace rapido {

class Tubulacao {
public:
    // Para até `threads` threads.
    explicit Tubulacao(int threads);

    // Antes de cada lote, com ninguém esperando: as faixas de cada thread
    // (faixas::repartir, ou {0, faixas} para uma thread); zera os contadores,
    // os tempos e a interrupção.
    void comecar(const std::vector<int>& inicio);

    int threads() const { return n_; }
    int primeira(int t) const { return inicio_[lugar(t)]; }
    int fim(int t) const { return inicio_[lugar(t) + 1]; } // uma depois da última

    // As esperas da thread t antes da faixa b da etapa i do lote; falso se o
    // lote foi interrompido.
    [[nodiscard]] bool entrar(int t, long long i, int b)
    {
        if (b == primeira(t) && t > 0) aguardar(t, feitas_[lugar(t) - 1], marca(i, b - 1));
        if (le_acima(t, i, b)) aguardar(t, feitas_[lugar(t) + 1], marca(i - 1, b + 1));
        return !interrompida();
    }
    // Se a faixa b lê, na etapa i, a linha de cima da etapa anterior de
    // outra thread (a espera por ela acabou de sair em entrar).
    bool le_acima(int t, long long i, int b) const { return i > 0 && t + 1 < n_ && b + 1 == fim(t); }
    void sair(int t, long long i, int b) { feitas_[lugar(t)].publicar(marca(i, b)); }

    // A faixa de cima da thread t pronta na etapa i; falso se interrompido.
    [[nodiscard]] bool esperar_acima(int t, long long i)
    {
        if (t + 1 < n_) aguardar(t, feitas_[lugar(t) + 1], marca(i, fim(t)));
        return !interrompida();
    }

    // Espera o contador chegar ao alvo, com o tempo contado como espera da
    // thread t quando não sai logo; falso se o lote foi interrompido.
    [[nodiscard]] bool esperar(int t, const equipe::Contador& contador, long long alvo)
    {
        aguardar(t, contador, alvo);
        return !interrompida();
    }

    // Antes de soltar as esperas dos outros.
    void interromper() { interrompida_.store(true, std::memory_order_release); }
    bool interrompida() const { return interrompida_.load(std::memory_order_acquire); }
    // Ao sair do lote, mesmo antes do fim.
    void encerrar(int t) { feitas_[lugar(t)].publicar(std::numeric_limits<long long>::max()); }

    // Roda o trabalho da thread t no lote, medindo o tempo dela.
    template <class Trabalho>
    void cronometrar(int t, const Trabalho& trabalho)
    {
        const auto comeco = std::chrono::steady_clock::now();
        trabalho();
        const std::chrono::duration<double> d = std::chrono::steady_clock::now() - comeco;
        tempos_[lugar(t)].total = d.count();
    }
    // Depois do lote: o tempo de cada thread fora das esperas (para
    // faixas::equilibrar).
    const std::vector<double>& ocupado();

private:
    void aguardar(int t, const equipe::Contador& contador, long long alvo)
    {
        if (contador.valor() < alvo) {
            const auto inicio = std::chrono::steady_clock::now();
            contador.esperar(alvo);
            const std::chrono::duration<double> d = std::chrono::steady_clock::now() - inicio;
            tempos_[lugar(t)].espera += d.count();
        }
    }

    static std::size_t lugar(int t) { return static_cast<std::size_t>(t); } // nos vetores por thread
    long long marca(long long i, int b) const { return i * nb_ + b + 1; }

    // Cada thread escreve só o seu, numa linha de cache só dele.
    struct alignas(64) Tempo {
        double total = 0.0, espera = 0.0;
    };

    std::vector<int> inicio_;
    int n_ = 1;
    int nb_ = 0;
    std::vector<equipe::Contador> feitas_; // por thread: marca(i, b) com a faixa b da etapa i pronta
    std::vector<Tempo> tempos_;
    std::vector<double> ocupado_;
    std::atomic<bool> interrompida_{false};
};

} // namespace rapido
