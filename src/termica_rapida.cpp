// Solução térmica em faixas: varreduras no lugar, em tubulação entre as
// threads como as com fonte, a decisão de parada certificada por uma soma
// rápida dos |r| e as somas em série (as de norma_L1 e norma_L2) só onde
// são precisas. Nas linhas do relatório (múltiplos de passo_hist), quem
// varre guarda os resíduos e os soma em série logo depois. Quem faz a
// varredura m+1 guarda numa cópia sua os valores da m que sobrescreve: se a
// decisão for parar na m, o campo final sai dela, e as somas em série de
// linhas não previstas (perto de tol, ou a de it) também.
//
// Invariantes (por que as passagens entre threads não têm corrida):
// - A varredura m fica com a thread (m-1) mod n e só entra na faixa b
//   depois que feitas_[thread de m-1] mostra a faixa b+1 da m-1 pronta
//   (liberação/aquisição): as faixas b e b+1 que ela lê têm os valores da
//   m-1, e a m-1 não lê mais a faixa b (os resíduos da linha de cima da
//   faixa b-1 saem antes de publicar a faixa b; os da última faixa, antes de
//   publicá-la).
// - A cópia da thread t, escrita na varredura m, guarda o campo m-1 até a
//   decisão sobre m-1 e as somas em série dele; antes da próxima varredura
//   (m+n), a thread espera decidida_ >= m-1, por isso a cópia pode ser
//   reescrita. As somas em série de m leem a cópia da thread de m+1 depois
//   que feitas_ mostra a m+1 inteira (o campo m todo copiado), ou o campo
//   vivo quando m = itmax, que ninguém mais varre. Os resíduos guardados
//   são de cada thread, escritos e somados por ela.
// - A decisão sobre m e as entradas m das histórias são da thread da
//   varredura m, depois de ver decidida_ >= m-1 (aquisição) e antes de
//   publicar decidida_ = m (liberação): as decisões saem em ordem, e parada_
//   é escrita antes de decidida_. Uma varredura ainda não decidida que vê
//   parada_ != 0 passou de it: é descartada, com as exceções de ponto
//   flutuante que levantou.
// - Ninguém espera para sempre: quem para publica em decidida_, e quem sai
//   em feitas_, um valor maior que qualquer alvo. Toda espera termina
//   olhando parada_ (aquisição): quem sai viu parada_ (ou passou de itmax),
//   e quem passa pelo valor que ele publicou vê parada_ também
//   (liberação/aquisição, transitiva) antes de escrever no campo vivo, que
//   fica intacto nas faixas que a varredura it+1 não copiou.
#include "rapidos_internos.hpp"

#include "equipe.hpp"
#include "progresso.hpp"

#include <algorithm>
#include <atomic>
#include <cfenv>
#include <chrono>
#include <cmath>
#include <limits>
#include <vector>

namespace rapido {


namespace {

// Threads da solução térmica: no máximo uma por varredura e, em malhas
// grandes, não mais campos (o vivo, e por thread uma cópia e os resíduos
// guardados) que uns 48 MiB, ou duas threads.
int threads_termicas(std::size_t bytes_por_campo, std::int32_t itmax)
{
    const std::size_t cabem = std::max<std::size_t>(2, ((48u << 20) / bytes_por_campo) / 2);
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(std::max(1, numero_threads())), cabem);
    return static_cast<int>(std::min<std::size_t>(n, static_cast<std::size_t>(itmax)));
}

// Se L1(m)/L1(0) <= tol, decidido sem a soma em série.
enum class Veredito { parar, seguir, incerto };

// Decisão certificada. Os n termos |r| são os mesmos doubles na soma em série
// da referência (S) e na rápida, em outra ordem (Sr). Para termos não
// negativos, qualquer ordem de soma erra no máximo gama(n-1) vezes a soma
// exata E, gama(k) = k u/(1 - k u), u = 2^-53, se nada estoura (somas que
// caem no subnormal são exatas). Então S/E e Sr/E estão em [1-gama, 1+gama],
// e S/L1(0) fica entre q(1-gama)/(1+gama) e q(1+gama)/(1-gama), q = Sr/L1(0),
// que a divisão arredonda com erro relativo u (mais 2^-1075 no subnormal).
// Com folga para essas e para as duas contas dos limites, alto >= S/L1(0) e
// baixo <= S/L1(0); como o arredondamento é monótono e tol é um double, o
// quociente arredondado da referência é <= alto e >= baixo: alto <= tol
// certifica parar, baixo > tol certifica seguir; senão soma-se em série.
// Sem estouro: maior |r| <= sqrt(DBL_MAX/(4n)) garante n r^2 e as duas somas
// em série finitas, e Sr <= L1(0) 2^1000 garante o quociente finito, de modo
// que pular a soma em série, a divisão e a comparação não muda exceção
// nenhuma (divisão por zero, estouro, inválida; subfluxo e inexato não são
// conferidos e podem mudar). Fora disso (L1(0) não positivo ou não finito,
// tol NaN, r infinito ou NaN, somas perto do estouro) soma-se em série e
// decide-se como a referência.
class Certificado {
public:
    Certificado(double L1_0, double tol, std::int32_t Nx, std::int32_t Ny) : L0_(L1_0), tol_(tol)
    {
        constexpr double u = 0x1p-53;
        const double n = (Nx - 2.0) * (Ny - 2.0);
        const double gama = (n - 1.0) * u / (1.0 - (n - 1.0) * u);
        fator_alto_ = 1.0 + (3.0 * gama + 4.0 * u);
        fator_baixo_ = 1.0 - (3.0 * gama + 4.0 * u);
        valido_ = std::isfinite(L0_) && std::isgreater(L0_, 0.0) && !std::isnan(tol_);
        limite_maximo_ = std::sqrt(std::numeric_limits<double>::max() / (4.0 * n));
        limite_soma_ = valido_ && L0_ < 1.0 ? L0_ * 0x1p1000 : std::numeric_limits<double>::max();
    }

    // Na varredura 1 não há teste, mas a referência soma em série do mesmo
    // jeito: perto do estouro, incerto também.
    Veredito veredito(std::int32_t m, double soma_rapida, double maximo) const
    {
        if (!valido_ || !std::islessequal(maximo, limite_maximo_) || !std::islessequal(soma_rapida, limite_soma_)) {
            return Veredito::incerto;
        }
        if (m < 2) return Veredito::seguir;
        constexpr double folga = 0x1p-1020; // cobre os erros absolutos no subnormal
        const double q = soma_rapida / L0_;
        if (q * fator_alto_ + folga <= tol_) return Veredito::parar;
        if (q * fator_baixo_ - folga > tol_) return Veredito::seguir;
        return Veredito::incerto;
    }

private:
    double L0_, tol_;
    double fator_alto_ = 1.0, fator_baixo_ = 1.0;
    double limite_maximo_ = 0.0, limite_soma_ = 0.0;
    bool valido_ = false;
};

class Solucao_termica {
public:
    Solucao_termica(const faixas::Coeficientes& c, std::int32_t itmax, double tol, std::int32_t passo_hist,
                    std::int32_t Nx, std::int32_t Ny, std::span<double> L1, std::span<double> L2,
                    std::span<double> Linf, int threads)
        : nucleos_(nucleos_em_uso()), c_(c), itmax_(itmax), tol_(tol), passo_(passo_hist),
          certificado_(L1[0], tol, Nx, Ny), L1_(L1), L2_(L2), Linf_(Linf), threads_(threads),
          campo_(Nx, Ny, nucleos_.linhas),
          feitas_(static_cast<std::size_t>(threads)), ultima_(static_cast<std::size_t>(threads))
    {
        if (threads > 1) {
            anteriores_.reserve(static_cast<std::size_t>(threads));
            for (int t = 0; t < threads; ++t) anteriores_.emplace_back(Nx, Ny, nucleos_.linhas);
        }
        if (passo_ == 0 || (passo_ > 0 && passo_ <= itmax)) {
            guardados_.reserve(static_cast<std::size_t>(threads));
            for (int t = 0; t < threads; ++t) guardados_.emplace_back(Nx, Ny, nucleos_.linhas);
        }
        nb_ = campo_.numero_faixas();
    }

    // As cópias começam com T: as bordas nunca mudam.
    void carregar(std::span<const double> T)
    {
        campo_.carregar(T);
        for (auto& copia : anteriores_) copia.carregar(T);
    }

    // O campo da varredura it: o vivo, menos as faixas que a varredura it+1
    // já sobrescreveu, que estão na cópia de quem a fez.
    void descarregar(std::span<double> T) const
    {
        int copiadas = 0;
        const faixas::Campo_faixas* copia = nullptr;
        if (it_ < fim_ && threads_ > 1) {
            const std::size_t t = thread_de(it_ + 1);
            if (ultima_[t].varredura == it_ + 1) {
                copiadas = ultima_[t].faixas;
                copia = &anteriores_[t];
            }
        }
        if (copia != nullptr) copia->descarregar(T, 0, copiadas);
        campo_.descarregar(T, copiadas, nb_);
    }

    std::int32_t it() const { return it_; }

    // Um lote: as varreduras até `fim` com `threads` threads (no máximo as do
    // construtor), a partir da seguinte à última decidida. Entre lotes
    // nenhuma varredura está em andamento e todas as decisões saíram: o
    // próximo começa do zero, com outro número de threads se for o caso.
    // Devolve se parou.
    template <class Rodar>
    bool lote(std::int32_t fim, int threads, Rodar rodar)
    {
        inicio_ = proxima_;
        fim_ = fim;
        threads_ = threads;
        for (auto& contador : feitas_) contador.reiniciar(0);
        decidida_.reiniciar(inicio_ - 1);
        rodar(threads);
        proxima_ = fim + 1;
        return parada_.load(std::memory_order_acquire) != 0;
    }

    std::int32_t proxima() const { return proxima_; }

    // As varreduras da thread t no lote.
    void trabalhar(int t)
    {
        for (std::int32_t m = inicio_ + t; m <= fim_; m += threads_) {
            if (!varredura(t, m)) break;
        }
        feitas_[static_cast<std::size_t>(t)].publicar(std::numeric_limits<long long>::max());
    }

private:
    // Até onde a thread foi, lido depois que todas terminam.
    struct alignas(64) Progresso {
        std::int32_t varredura = 0;
        int faixas = 0;
    };

    // Linhas 0, p, 2p, ... do relatório; a de it é tratada na parada.
    bool listada(std::int32_t m) const { return passo_ == 0 || (passo_ > 0 && m % passo_ == 0); }

    bool parada_vista() const { return parada_.load(std::memory_order_acquire) != 0; }

    // Posição da varredura m no lote (0 a primeira) e a thread dela.
    long long no_lote(std::int32_t m) const { return m - inicio_; }
    std::size_t thread_de(std::int32_t m) const { return static_cast<std::size_t>(no_lote(m) % threads_); }

    // Espera o contador chegar ao alvo; falso se a parada já foi decidida.
    bool aguardar(const equipe::Contador& contador, long long alvo) const
    {
        contador.esperar(alvo);
        return !parada_vista();
    }

    // L1 e L2 em série do campo m (já varrido), da cópia de quem varre m+1
    // ou do campo vivo; falso se a varredura m foi descartada.
    bool somar_em_serie(std::int32_t m, double& L1, double& L2)
    {
        const faixas::Campo_faixas* campo = &campo_;
        if (threads_ > 1 && m < fim_) {
            const std::size_t t = thread_de(m + 1);
            if (!aguardar(feitas_[t], (no_lote(m + 1) + 1) * nb_)) return false;
            campo = &anteriores_[t];
        }
        faixas::somar_residuos(*campo, c_, L1, L2);
        return true;
    }

    // A varredura m pela thread t, a decisão sobre ela e as entradas m das
    // histórias; falso quando não há mais o que varrer.
    bool varredura(int t, std::int32_t m)
    {
        const std::size_t tt = static_cast<std::size_t>(t);
        if (m - threads_ - 1 >= inicio_ && !aguardar(decidida_, m - threads_ - 1)) return false;
        if (parada_vista()) return false;
        const int antes = std::fetestexcept(FE_ALL_EXCEPT);

        faixas::Campo_faixas* copia = threads_ > 1 ? &anteriores_[tt] : nullptr;
        faixas::Campo_faixas* guardados = listada(m) && !guardados_.empty() ? &guardados_[tt] : nullptr;
        double maximo = 0.0;
        double soma = 0.0;
        for (int b = 0; b < nb_; ++b) {
            if (m > inicio_ && threads_ > 1) {
                const long long alvo = no_lote(m - 1) * nb_ + std::min(b + 1, nb_ - 1) + 1;
                if (!aguardar(feitas_[thread_de(m - 1)], alvo)) return descartar(antes);
            }
            faixas::varrer_faixa_com_residuos(nucleos_, campo_, campo_, copia, guardados, b, c_, maximo, soma);
            if (b > 0) faixas::residuos_linha_topo(campo_, guardados, b - 1, c_, maximo, soma);
            // A última faixa só é publicada depois dos resíduos da linha de
            // cima dela, que a varredura seguinte sobrescreveria.
            if (b + 1 == nb_) faixas::residuos_linha_topo(campo_, guardados, b, c_, maximo, soma);
            ultima_[tt] = {m, b + 1};
            feitas_[tt].publicar(no_lote(m) * nb_ + b + 1);
        }

        const Veredito veredito = certificado_.veredito(m, soma, maximo);
        const bool exatas = listada(m) || veredito == Veredito::incerto;
        double serie1 = soma, serie2 = 0.0;
        if (guardados != nullptr) faixas::somar_guardados(*guardados, serie1, serie2);
        else if (exatas && !somar_em_serie(m, serie1, serie2)) return descartar(antes);

        if (m > inicio_ && !aguardar(decidida_, m - 1)) return descartar(antes);
        if (parada_vista()) return descartar(antes);

        const std::size_t mm = static_cast<std::size_t>(m);
        L1_[mm] = serie1;
        if (exatas) L2_[mm] = serie2;
        Linf_[mm] = maximo;
        progresso::publicar_termica(m, serie1); // só para a tela
        bool parar;
        if (m < 2) parar = false;
        else if (exatas) parar = L1_[mm] / L1_[0] <= tol_;
        else parar = veredito == Veredito::parar;
        if (parar || m >= itmax_) {
            // A linha de it é listada. A varredura m+1 não é descartada antes
            // de copiar o campo m inteiro, porque parada_ ainda é zero.
            if (!exatas) somar_em_serie(m, L1_[mm], L2_[mm]);
            it_ = m;
            parada_.store(m, std::memory_order_release);
            decidida_.publicar(std::numeric_limits<long long>::max());
            return false;
        }
        decidida_.publicar(m);
        return true;
    }

    // A varredura passou de it: some com ela, e com as exceções que levantou.
    // Só apaga os indicadores que ela ligou: o fesetexceptflag do MinGW-w64
    // desmascara as exceções do SSE (visto no wine: "inexact float result").
    static bool descartar(int antes)
    {
        std::feclearexcept(std::fetestexcept(FE_ALL_EXCEPT) & ~antes);
        return false;
    }

    const faixas::Nucleos& nucleos_;
    faixas::Coeficientes c_;
    std::int32_t itmax_;
    std::int32_t inicio_ = 1, fim_ = 0, proxima_ = 1; // o lote: varreduras inicio_ a fim_
    double tol_;
    std::int32_t passo_;
    Certificado certificado_;
    std::span<double> L1_, L2_, Linf_;
    int threads_; // do lote
    int nb_ = 0;
    faixas::Campo_faixas campo_;              // o campo vivo, varrido no lugar
    std::vector<faixas::Campo_faixas> anteriores_; // uma por thread, com mais de uma
    std::vector<faixas::Campo_faixas> guardados_; // resíduos, um por thread, se há linhas listadas
    std::vector<equipe::Contador> feitas_; // por thread: (m-1)*nb + b + 1 com a faixa b da varredura m pronta
    std::vector<Progresso> ultima_;
    std::int32_t it_ = 0;
    equipe::Contador decidida_; // última varredura decidida
    std::atomic<std::int32_t> parada_{0}; // a varredura em que parou, ou 0
};

} // namespace

// Lotes de uns 4 milhões de nós varridos (uns 2 ms). Sob carga, uma thread
// da tubulação tirada da CPU para as outras, e aí duas threads rendem menos
// que uma: cada lote mede o tempo por varredura com o número de threads que
// usou, os lotes 2 a 5 alternam n e uma, depois vale o que rendeu mais, e de
// 32 em 32 lotes o outro é medido de novo. O primeiro lote não conta (no
// Zen 4 em 1001 x 1001, com duas threads: 0,53 ms por varredura nele, 0,33
// nos seguintes; uma thread, 0,44). Os bits não dependem disso.
int laplace_em_faixas(double aP, double aX, double aY, std::int32_t itmax, double tol, std::int32_t Nx,
                      std::int32_t Ny, std::span<double> L1, std::span<double> L2, std::span<double> Linf,
                      std::int32_t& it, std::span<double> T, std::int32_t passo_hist)
{
    const std::size_t bytes = faixas::Campo_faixas::bytes(Nx, Ny, nucleos_em_uso().linhas);
    const int n = equipe::preparar(threads_termicas(bytes, itmax));
    Solucao_termica solucao({aP, aX, aY}, itmax, tol, passo_hist, Nx, Ny, L1, L2, Linf, n);
    solucao.carregar(T);
    const auto rodar = [&solucao](int threads) {
        if (threads > 1) equipe::em_paralelo(threads, [&solucao](int t) { solucao.trabalhar(t); });
        else solucao.trabalhar(0);
    };
    const double nos = (Nx - 2.0) * (Ny - 2.0);
    const std::int32_t por_lote = static_cast<std::int32_t>(std::clamp(4e6 / nos, 4.0, 1e6));
    double estimativa[2] = {0.0, 0.0}; // segundos por varredura com uma thread e com n
    int usar = n > 1 ? 1 : 0;
    for (long long k = 1;; ++k) {
        const std::int32_t m0 = solucao.proxima();
        const std::int32_t fim =
            static_cast<std::int32_t>(std::min<long long>(itmax, static_cast<long long>(m0) + por_lote - 1));
        const auto inicio = std::chrono::steady_clock::now();
        if (solucao.lote(fim, usar == 1 ? n : 1, rodar)) break;
        const std::chrono::duration<double> duracao = std::chrono::steady_clock::now() - inicio;
        if (n == 1 || k == 1) continue; // o primeiro lote aquece caches e páginas: não conta
        // O ruído só atrasa: vale a menor medida recente, que sobe 10 % por
        // lote se as seguintes forem maiores.
        const double agora = duracao.count() / (fim - m0 + 1);
        double& e = estimativa[usar];
        e = e == 0.0 ? agora : std::min(agora, e * 1.1);
        if (k < 5) usar = k % 2 == 0 ? 0 : 1; // lotes 2 a 5: n, 1, n, 1
        else usar = (estimativa[1] <= estimativa[0]) != (k % 32 == 0) ? 1 : 0;
    }
    solucao.descarregar(T);
    it = solucao.it();
    return n;
}

} // namespace rapido
