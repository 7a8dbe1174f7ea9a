// Equipe de threads do processo.
//
// Invariantes:
// - Um pedido de cada vez (uso_). Quem pede escreve tarefa_, n_ e o ambiente
//   e só então incrementa rodada_ (release); cada thread lê rodada_
//   (acquire) antes de ler o pedido, que não muda até a rodada terminar.
// - Toda thread da equipe passa por toda rodada, mesmo sem trabalho nela
//   (t >= n): contagem_ começa em 0 e cada uma o incrementa (acq_rel)
//   quando terminou de ler o pedido e de gravar as suas exceções; a que chega
//   ao total publica o número da rodada em concluidas_ (release, e as
//   outras pela cadeia de acq_rel). Quem pediu espera esse número e só então
//   lê as exceções e devolve a vez: duas rodadas nunca se sobrepõem, e
//   nenhuma thread lê o pedido de uma enquanto o da seguinte é escrito.
// - Uma thread nova recebe a rodada corrente ao ser criada (sob uso_), não a
//   que lê depois: a rodada seguinte, mesmo que comece antes de ela rodar, é
//   vista como nova.
#include "equipe.hpp"

#include "costuras.hpp"

#include <cfenv>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace equipe {

namespace {

void pausa()
{
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#else
    std::this_thread::yield();
#endif
}

// Espera ativa, pelo relógio, antes de dormir: mais que o tempo de acordar
// uma thread que dormiu, que numa máquina virtual é longo. Com um giro
// menor, nos contadores uma thread que dormia acordava atrasada, a outra
// dormia esperando por ela, e assim por diante: nos lotes curtos as threads
// passavam a maior parte do tempo esperando (bancada curta, 201 x 201).
// Entre rodadas, o mesmo giro: o trabalho de quem pede entre dois lotes (as
// fronteiras, o campo salvo) é mais longo que um giro curto. Sob carga, a
// espera longa só dura até a Escolha passar a uma thread.
constexpr auto espera_ativa = std::chrono::microseconds(200);

// Gira até pronto() ou até o fim da espera ativa; devolve pronto().
template <class Pronto>
bool girar(const Pronto& pronto)
{
    const auto limite = std::chrono::steady_clock::now() + espera_ativa;
    for (;;) {
        for (int v = 0; v < 64; ++v) {
            pausa();
            if (pronto()) return true;
        }
        if (std::chrono::steady_clock::now() >= limite) return false;
    }
}

std::atomic<long long> total_dormidas{0};

// Onde dormem as esperas de todos os contadores e as threads da equipe entre
// rodadas: uma variável de condição, que funciona igual em toda parte (o
// std::atomic::wait do libstdc++ 12 sem futex, no MinGW-w64, passa por uma
// tabela de esperas própria, menos testada). Acordar todos é barato: só
// acontece quando alguém de fato dorme. Nunca destruídas, como a equipe,
// porque threads podem estar dormindo nelas quando o processo termina.
std::mutex& sala()
{
    static std::mutex* const m = new std::mutex;
    return *m;
}

std::condition_variable& aviso()
{
    static std::condition_variable* const c = new std::condition_variable;
    return *c;
}

void avisar()
{
    { const std::lock_guard<std::mutex> trava(sala()); }
    aviso().notify_all();
}

class Equipe {
public:
    int preparar(int n)
    {
        const std::lock_guard<std::mutex> vez(uso_);
        while (static_cast<int>(threads_.size()) + 1 < n) {
            const int t = static_cast<int>(threads_.size()) + 1;
            try {
                costuras::criar_thread();
                const std::uint32_t vista = rodada_.load(std::memory_order_relaxed);
                threads_.emplace_back([this, t, vista] { trabalhar(t, vista); });
            } catch (const std::system_error&) {
                break;
            }
        }
        const int disponiveis = static_cast<int>(threads_.size()) + 1;
        return n < disponiveis ? (n < 1 ? 1 : n) : disponiveis;
    }

    void em_paralelo(int n, const std::function<void(int)>& tarefa)
    {
        if (n <= 1) {
            tarefa(0);
            return;
        }
        if (preparar(n) < n) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        const std::lock_guard<std::mutex> vez(uso_);
        arredondamento_ = std::fegetround();
        tarefa_ = &tarefa;
        n_ = n;
        excecoes_.assign(static_cast<std::size_t>(n), 0);
        contagem_.store(0, std::memory_order_relaxed);
        participantes_ = static_cast<int>(threads_.size());
        const long long numero = ++numero_;
        rodada_.fetch_add(1, std::memory_order_seq_cst);
        if (ociosas_.load(std::memory_order_seq_cst) != 0) avisar();
        tarefa(0);
        concluidas_.esperar(numero);
        for (const int e : excecoes_) {
            if (e != 0) std::feraiseexcept(e);
        }
    }

    void desfazer()
    {
        const std::lock_guard<std::mutex> vez(uso_);
        if (threads_.empty()) return;
        parar_.store(true);
        rodada_.fetch_add(1, std::memory_order_seq_cst);
        avisar();
        for (auto& t : threads_) t.join();
        threads_.clear();
        parar_.store(false);
    }

private:
    // A thread t da equipe; vista: a rodada que já existia quando ela foi criada.
    void trabalhar(int t, std::uint32_t vista)
    {
        for (;;) {
            // Entre uma rodada e outra a thread dorme; o lote seguinte
            // costuma vir logo, daí o giro antes.
            std::uint32_t agora = vista;
            if (!girar([&] { return (agora = rodada_.load(std::memory_order_acquire)) != vista; })) {
                std::unique_lock<std::mutex> trava(sala());
                ociosas_.fetch_add(1, std::memory_order_seq_cst);
                while ((agora = rodada_.load(std::memory_order_seq_cst)) == vista) aviso().wait(trava);
                ociosas_.fetch_sub(1, std::memory_order_relaxed);
            }
            vista = agora;
            if (parar_.load()) return;
            const long long numero = numero_;
            const int participantes = participantes_;
            if (t < n_) fazer(t);
            // Depois do incremento quem pediu pode devolver a vez e outro
            // pedido reescrever o estado (participantes_ também): nada mais é
            // lido desta rodada.
            if (contagem_.fetch_add(1, std::memory_order_acq_rel) + 1 == participantes) concluidas_.publicar(numero);
        }
    }

    void fazer(int t)
    {
        // Só o arredondamento e os indicadores: as máscaras de exceção são
        // as de toda thread nova (todas mascaradas), que o programa nunca
        // muda. Nada de fesetenv nem fesetexceptflag: no MinGW-w64 o
        // fesetexceptflag desmascara as exceções do SSE (medido no wine).
        if (std::fegetround() != arredondamento_) std::fesetround(arredondamento_);
        std::feclearexcept(FE_ALL_EXCEPT);
        (*tarefa_)(t);
        excecoes_[static_cast<std::size_t>(t)] = std::fetestexcept(FE_ALL_EXCEPT);
        std::feclearexcept(FE_ALL_EXCEPT);
    }

    std::mutex uso_;
    std::vector<std::thread> threads_;
    alignas(64) std::atomic<std::uint32_t> rodada_{0};
    std::atomic<bool> parar_{false};
    std::atomic<int> ociosas_{0}; // threads dormindo à espera de uma rodada
    alignas(64) std::atomic<long long> contagem_{0};
    Contador concluidas_; // número da última rodada terminada
    long long numero_ = 0;
    const std::function<void(int)>* tarefa_ = nullptr;
    int n_ = 0;
    int participantes_ = 0; // todas as threads da equipe, mesmo as que não trabalham na rodada
    int arredondamento_ = FE_TONEAREST;
    std::vector<int> excecoes_;
};

// Nunca destruída: no fim do processo as threads, dormindo, somem com ele.
// Esperar por elas num destrutor estático arriscaria travar a saída (no
// Windows, conforme a ordem em que o runtime encerra as threads).
Equipe& do_processo()
{
    static Equipe* const equipe = new Equipe;
    return *equipe;
}

} // namespace

void Contador::acordar() { avisar(); }

// Quem dorme, com a sala trancada, anuncia-se em dormindo_ e relê o valor;
// quem publica grava o valor e lê dormindo_, tudo seq_cst: um dos dois vê o
// outro. Se quem publica viu alguém, tranca a sala, o que só consegue
// quando o outro já está no wait (que destranca ao dormir), e avisa.

void Contador::esperar_devagar(long long alvo) const
{
    if (girar([&] { return valor_.load(std::memory_order_acquire) >= alvo; })) return;
    total_dormidas.fetch_add(1, std::memory_order_relaxed);
    std::unique_lock<std::mutex> trava(sala());
    dormindo_.fetch_add(1, std::memory_order_seq_cst);
    while (valor_.load(std::memory_order_seq_cst) < alvo) aviso().wait(trava);
    dormindo_.fetch_sub(1, std::memory_order_relaxed);
}

long long dormidas() { return total_dormidas.load(std::memory_order_relaxed); }

int preparar(int n) { return do_processo().preparar(n); }

void interno::em_paralelo(int n, const std::function<void(int)>& tarefa) { do_processo().em_paralelo(n, tarefa); }

void desfazer() { do_processo().desfazer(); }

} // namespace equipe
