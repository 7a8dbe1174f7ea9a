// Solução térmica em faixas: as faixas repartidas entre as threads, cada
// uma sempre com as mesmas (entre núcleos só passam as linhas das
// fronteiras, em cópias compactas), a decisão de parada certificada por uma
// soma rápida dos |r| e as somas em série (as de norma_L1 e norma_L2) só
// onde são precisas. Nas linhas do relatório (múltiplos de passo_hist) quem
// varre guarda os resíduos, e as somas em série andam de thread em thread,
// cada uma somando a sua parte. As threads seguem varrendo antes da decisão
// sobre as varreduras anteriores; se ela for parar (ou ficar incerta) antes
// do fim do lote, o lote é refeito com uma thread a partir de um campo
// salvo, o que dá os mesmos bits e as mesmas exceções.
//
// Invariantes (por que as passagens entre threads não têm corrida):
// - A thread t varre as faixas inicio[t] a inicio[t+1]-1 de cada varredura,
//   em ordem, e publica (liberação) em feitas_[t] a marca da faixa pronta,
//   que só cresce. Antes da primeira faixa ela espera (aquisição) a faixa de
//   baixo desta varredura, da thread t-1; antes da última, a faixa de cima
//   da varredura anterior, da thread t+1. Assim a varredura m só entra na
//   faixa b com a b-1 já da m e a b+1 ainda da m-1, e ninguém escreve numa
//   faixa que outra thread ainda lê: a varredura m+1 só entra na faixa b
//   depois que a m saiu da b+1. As cópias das fronteiras seguem a mesma
//   ordem (faixas::Fronteiras).
// - Os resíduos da linha de cima da última faixa da thread t (menos a do
//   topo) precisam da faixa de cima já varrida: saem na varredura seguinte,
//   logo antes de ela sobrescrever essa faixa, depois da mesma espera; só
//   então as medidas da thread para aquela varredura estão completas, e ela
//   publica parciais_[t]. No fim do lote saem depois da última varredura.
// - Numa linha listada m, a thread t soma em série os seus resíduos depois
//   da sua parte da varredura m+1, a partir dos valores que a thread t-1
//   deixou em somas_ (aquisição em somadas_[t-1]), e publica somadas_[t].
// - Decide quem varre o topo (a última thread), com uma varredura de atraso
//   (depois da sua parte da m+1 e da sua parte das somas), depois de ver
//   parciais_ de todas: as decisões saem em ordem, na thread dela, e as
//   entradas das histórias só são escritas por ela. Uma thread só começa a
//   varredura m depois de decidida_ >= m - D (D = threads + 2): as medidas,
//   as somas e os resíduos guardados de uma varredura ficam numa vaga
//   (m mod D) que só é reaproveitada depois da decisão que os leu.
// - Parar (ou não poder decidir sem o campo) antes do fim do lote escreve
//   parada_ (e refazer_) antes de publicar decidida_ no máximo; toda espera
//   termina olhando parada_, quem sai publica o máximo nos seus contadores,
//   e ninguém espera para sempre. O campo vivo tem então varreduras depois
//   da parada: o lote é refeito do campo salvo, com as exceções de ponto
//   flutuante de antes dele, por uma thread só.
#include "rapidos_internos.hpp"

#include "equipe.hpp"
#include "escolha.hpp"
#include "progresso.hpp"

#include <algorithm>
#include <atomic>
#include <cfenv>
#include <chrono>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

namespace rapido {


namespace {

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
        // O clamp não muda nada aqui (0 < L0_ < 1), mas o Clang adianta a
        // multiplicação para antes da escolha, e com L0_ grande ela
        // estouraria sem a referência estourar.
        limite_soma_ = valido_ && L0_ < 1.0 ? std::clamp(L0_, 0.0, 1.0) * 0x1p1000 : std::numeric_limits<double>::max();
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

    bool valido() const { return valido_; }

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
          certificado_(L1[0], tol, Nx, Ny), L1_(L1), L2_(L2), Linf_(Linf), campo_(Nx, Ny, nucleos_.linhas),
          nb_(campo_.numero_faixas()), partes_(faixas::repartir(nb_, Ny, nucleos_.linhas, threads)),
          uma_{0, nb_}, n_(static_cast<int>(partes_.size()) - 1), vagas_(n_ + 2),
          feitas_(static_cast<std::size_t>(n_)), parciais_(static_cast<std::size_t>(n_)),
          somadas_(static_cast<std::size_t>(n_)), medidas_(static_cast<std::size_t>(n_ * (vagas_ + 8))),
          somas_(static_cast<std::size_t>(vagas_)), tempos_(static_cast<std::size_t>(n_))
    {
        if (n_ > 1) fronteiras_.emplace(Nx, nucleos_.linhas, partes_);
        if (passo_ == 0 || (passo_ > 0 && passo_ <= itmax)) {
            const bool juntas = n_ > 1 && (passo_ == 0 || passo_ < vagas_);
            const int g = juntas ? vagas_ : 1;
            guardados_.reserve(static_cast<std::size_t>(g));
            for (int k = 0; k < g; ++k) guardados_.emplace_back(Nx, Ny, nucleos_.linhas);
        }
    }

    // Campos de uma solução com n threads e esse passo_hist, como acima.
    static int campos(int n, std::int32_t passo, std::int32_t itmax)
    {
        const bool listadas = passo == 0 || (passo > 0 && passo <= itmax);
        const int guardados = !listadas ? 0 : n > 1 && (passo == 0 || passo < n + 2) ? n + 2 : 1;
        return 1 + (n > 1 ? 1 : 0) + guardados;
    }

    int threads() const { return n_; }
    // Com a soma rápida não dá para decidir nada (L1(0) ou tol inválidos):
    // sem varreduras adiantadas.
    bool certificavel() const { return certificado_.valido(); }

    void carregar(std::span<const double> T) { campo_.carregar(T); }
    void descarregar(std::span<double> T) const { campo_.descarregar(T); }
    std::int32_t it() const { return it_; }
    std::int32_t proxima() const { return proxima_; }

    // A razão rápida L1(m)/L1(0) da última decisão e o m dela.
    double ultima_razao() const { return razao_; }
    std::int32_t ultima_decidida() const { return proxima_ - 1; }

    // Um lote: as varreduras até `fim` com `threads` threads (1 ou as do
    // construtor), a partir da seguinte à última decidida. Entre lotes
    // nenhuma varredura está em andamento e todas as decisões saíram. Com
    // mais de uma thread, `salvar` guarda antes o campo (de onde um lote
    // interrompido é refeito; sem campo salvo válido, guarda sempre).
    // Devolve se parou.
    template <class Rodar>
    bool lote(std::int32_t fim, int threads, bool salvar, Rodar rodar)
    {
        if (threads > 1 && (salvar || !salvo_valido_)) {
            // Só no primeiro lote com várias threads: sob carga, com uma
            // thread o tempo todo, nunca (as primeiras escritas num campo
            // novo custam caro aqui: uns 20 us por página de 4 KiB).
            if (salvo_) *salvo_ = campo_;
            else salvo_.emplace(campo_);
            salvo_proxima_ = proxima_;
            salvo_excecoes_ = std::fetestexcept(FE_ALL_EXCEPT);
            salvo_valido_ = true;
        }
        preparar_lote(proxima_, fim, threads);
        rodar(threads);
        if (threads > 1 && !refazer_) {
            std::vector<double> ocupado;
            for (const Tempo& tempo : tempos_) ocupado.push_back(tempo.total - tempo.espera);
            if (faixas::equilibrar(partes_, ocupado)) fronteiras_.emplace(campo_.Nx(), campo_.linhas(), partes_);
        }
        if (refazer_) {
            // As varreduras desde o campo salvo, de novo com uma thread: os
            // mesmos bits, as mesmas decisões e as mesmas exceções.
            campo_ = *salvo_;
            std::feclearexcept(std::fetestexcept(FE_ALL_EXCEPT) & ~salvo_excecoes_);
            salvo_valido_ = false;
            preparar_lote(salvo_proxima_, interrompida_, 1);
            rodar(1);
        }
        proxima_ = parada_.load(std::memory_order_relaxed) != 0 ? it_ + 1 : fim_ + 1;
        return parada_.load(std::memory_order_relaxed) != 0;
    }

    // As varreduras da thread t no lote.
    void trabalhar(int t)
    {
        const auto comeco = std::chrono::steady_clock::now();
        trabalhar_lote(t);
        const std::chrono::duration<double> d = std::chrono::steady_clock::now() - comeco;
        tempos_[static_cast<std::size_t>(t)].total = d.count();
    }

private:
    void trabalhar_lote(int t)
    {
        const std::vector<int>& inicio = threads_ > 1 ? partes_ : uma_;
        const std::size_t tt = static_cast<std::size_t>(t);
        const int b0 = inicio[tt], b1 = inicio[tt + 1];
        std::int32_t m = inicio_;
        for (; m <= fim_; ++m) {
            if (m - vagas_ >= inicio_ && !aguardar(t, decidida_, m - vagas_)) break;
            if (parada_vista() || !varrer(t, m, b0, b1)) break;
            // Com uma thread, decide logo; com várias, quem decide varre a
            // sua parte da seguinte antes: as somas em série de uma linha
            // listada andam de thread em thread, cada uma na sua parte.
            if (threads_ == 1) {
                if (!somar_parte(t, m, b0, b1) || !decidir(m)) break;
            } else if (m > inicio_) {
                if (!somar_parte(t, m - 1, b0, b1)) break;
                if (t + 1 == threads_ && !decidir(m - 1)) break;
            }
        }
        // A linha de cima da última faixa e a decisão da última varredura do lote.
        if (m > fim_ && threads_ > 1 && (t + 1 == threads_ || aguardar(t, feitas_[tt + 1], marca(fim_, b1)))) {
            if (t + 1 < threads_) linha_de_cima(t, fim_, b1 - 1);
            if (somar_parte(t, fim_, b0, b1) && t + 1 == threads_) decidir(fim_);
        }
        feitas_[tt].publicar(std::numeric_limits<long long>::max());
        parciais_[tt].publicar(std::numeric_limits<long long>::max());
        somadas_[tt].publicar(std::numeric_limits<long long>::max());
    }

    bool listada(std::int32_t m) const { return passo_ == 0 || (passo_ > 0 && m % passo_ == 0); }
    bool parada_vista() const { return parada_.load(std::memory_order_acquire) != 0; }

    // A faixa b da varredura m pronta, contada do começo do lote.
    long long marca(std::int32_t m, int b) const { return static_cast<long long>(m - inicio_) * nb_ + b + 1; }
    std::size_t vaga(std::int32_t m) const { return static_cast<std::size_t>(m % vagas_); }
    faixas::Medidas& medidas(int t, std::int32_t m)
    {
        return medidas_[static_cast<std::size_t>(t) * static_cast<std::size_t>(vagas_ + 8) + vaga(m)];
    }
    // Onde a varredura m guarda os resíduos (só nas linhas listadas).
    faixas::Campo_faixas* guardados(std::int32_t m)
    {
        if (guardados_.empty() || !listada(m)) return nullptr;
        return &guardados_[static_cast<std::size_t>(m) % guardados_.size()];
    }

    void preparar_lote(std::int32_t inicio, std::int32_t fim, int threads)
    {
        inicio_ = inicio;
        fim_ = fim;
        threads_ = threads;
        for (auto& contador : feitas_) contador.reiniciar(0);
        for (auto& contador : parciais_) contador.reiniciar(inicio - 1);
        for (auto& contador : somadas_) contador.reiniciar(inicio - 1);
        for (auto& tempo : tempos_) tempo = Tempo{};
        decidida_.reiniciar(inicio - 1);
        parada_.store(0, std::memory_order_relaxed);
        if (threads > 1) fronteiras_->carregar(campo_);
        refazer_ = false;
    }

    // Espera o contador chegar ao alvo; falso se a parada já foi decidida.
    // O tempo da espera, quando ela não sai logo, conta para a thread t.
    bool aguardar(int t, const equipe::Contador& contador, long long alvo)
    {
        if (contador.valor() < alvo) {
            const auto inicio = std::chrono::steady_clock::now();
            contador.esperar(alvo);
            const std::chrono::duration<double> d = std::chrono::steady_clock::now() - inicio;
            tempos_[static_cast<std::size_t>(t)].espera += d.count();
        }
        return !parada_vista();
    }

    // A varredura m nas faixas b0 a b1-1 da thread t, com as medidas dos
    // resíduos; falso se a parada foi decidida no meio.
    bool varrer(int t, std::int32_t m, int b0, int b1)
    {
        const std::size_t tt = static_cast<std::size_t>(t);
        faixas::Campo_faixas* residuos = guardados(m);
        double maximo = 0.0;
        double soma = 0.0;
        for (int b = b0; b < b1; ++b) {
            if (b == b0 && t > 0 && !aguardar(t, feitas_[tt - 1], marca(m, b0 - 1))) return false;
            if (b + 1 == b1 && t + 1 < threads_ && m > inicio_) {
                if (!aguardar(t, feitas_[tt + 1], marca(m - 1, b1))) return false;
                linha_de_cima(t, m - 1, b);
            }
            // Nas fronteiras, as linhas vizinhas vêm das cópias compactas.
            const faixas::Vizinhas viz = threads_ > 1 ? fronteiras_->vizinhas(t, b) : faixas::Vizinhas{};
            faixas::varrer_faixa_com_residuos(nucleos_, campo_, campo_, nullptr, residuos, b, c_, maximo, soma, viz);
            if (b > b0) faixas::residuos_linha_topo(campo_, residuos, b - 1, c_, maximo, soma);
            if (b + 1 == nb_) faixas::residuos_linha_topo(campo_, residuos, b, c_, maximo, soma);
            if (threads_ > 1) fronteiras_->publicar(campo_, t, b);
            feitas_[tt].publicar(marca(m, b));
        }
        medidas(t, m) = {maximo, soma};
        return true;
    }

    // A parte da thread t (faixas b0 a b1-1) das somas em série de L1 e L2 da
    // linha listada m, a partir de onde a thread de baixo parou; somas_ passa
    // de uma thread à seguinte por somadas_ (liberação/aquisição). As
    // medidas dela para m já estão completas (a linha de cima da última
    // faixa sai antes). Os resíduos são lidos por quem os escreveu: entre
    // núcleos só passam os dois valores.
    bool somar_parte(int t, std::int32_t m, int b0, int b1)
    {
        const faixas::Campo_faixas* r = guardados(m);
        if (r == nullptr) return true;
        const std::size_t tt = static_cast<std::size_t>(t);
        Somas& s = somas_[vaga(m)];
        if (t == 0) s = Somas{};
        else if (!aguardar(t, somadas_[tt - 1], m)) return false;
        faixas::somar_guardados(*r, b0, b1, s.L1, s.L2);
        somadas_[tt].publicar(m);
        return true;
    }

    // Os resíduos da linha de cima da faixa b (a última da thread t) na
    // varredura m, que completam as medidas da thread nela.
    void linha_de_cima(int t, std::int32_t m, int b)
    {
        faixas::Medidas& med = medidas(t, m);
        faixas::residuos_linha_topo(campo_, guardados(m), b, c_, med.maximo, med.soma, fronteiras_->acima(t));
        parciais_[static_cast<std::size_t>(t)].publicar(m);
    }

    // A decisão sobre a varredura m e as entradas m das histórias, pela
    // thread do topo; falso quando não há mais o que varrer.
    bool decidir(std::int32_t m)
    {
        double maximo = 0.0;
        double soma = 0.0;
        for (int t = 0; t < threads_; ++t) {
            if (t + 1 < threads_ && !aguardar(threads_ - 1, parciais_[static_cast<std::size_t>(t)], m)) return false;
            const faixas::Medidas& med = medidas(t, m);
            if (med.maximo > maximo) maximo = med.maximo;
            soma = soma + med.soma;
        }
        const Veredito veredito = certificado_.veredito(m, soma, maximo);
        const bool exatas = listada(m) || veredito == Veredito::incerto;
        // O campo vivo é o da varredura m: ninguém varreu além dela.
        const bool campo_exato = threads_ == 1 || m == fim_;
        double serie1 = soma, serie2 = 0.0;
        if (exatas) {
            if (guardados(m) != nullptr) {
                serie1 = somas_[vaga(m)].L1;
                serie2 = somas_[vaga(m)].L2;
            } else if (campo_exato) faixas::somar_residuos(campo_, c_, serie1, serie2);
            else return interromper(m);
        }
        bool parar;
        if (m < 2) parar = false;
        else if (exatas) parar = serie1 / L1_[0] <= tol_;
        else parar = veredito == Veredito::parar;
        if ((parar || m >= itmax_) && !campo_exato) return interromper(m);

        const std::size_t mm = static_cast<std::size_t>(m);
        if (parar || m >= itmax_) {
            // A linha de it é listada.
            if (!exatas) faixas::somar_residuos(campo_, c_, serie1, serie2);
            L1_[mm] = serie1;
            L2_[mm] = serie2;
            Linf_[mm] = maximo;
            progresso::publicar_termica(m, serie1); // só para a tela
            it_ = m;
            parada_.store(m, std::memory_order_release);
            decidida_.publicar(std::numeric_limits<long long>::max());
            return false;
        }
        L1_[mm] = serie1;
        if (exatas) L2_[mm] = serie2;
        Linf_[mm] = maximo;
        razao_ = soma / L1_[0];
        progresso::publicar_termica(m, serie1); // só para a tela
        decidida_.publicar(m);
        return true;
    }

    // Parar ou decidir na varredura m pede o campo dela, que as threads de
    // baixo já passaram: o lote será refeito com uma thread até m.
    bool interromper(std::int32_t m)
    {
        refazer_ = true;
        interrompida_ = m;
        parada_.store(-1, std::memory_order_release);
        decidida_.publicar(std::numeric_limits<long long>::max());
        return false;
    }

    const faixas::Nucleos& nucleos_;
    faixas::Coeficientes c_;
    std::int32_t itmax_;
    double tol_;
    std::int32_t passo_;
    Certificado certificado_;
    std::span<double> L1_, L2_, Linf_;
    faixas::Campo_faixas campo_; // o campo vivo, varrido no lugar
    int nb_;
    std::vector<int> partes_;    // faixas de cada thread (faixas::repartir)
    std::vector<int> uma_;       // todas com uma thread
    int n_;                      // threads com faixas
    int vagas_;                  // D: varreduras começadas e não decididas, no máximo
    std::vector<faixas::Campo_faixas> guardados_; // resíduos das linhas listadas, por vaga
    std::optional<faixas::Campo_faixas> salvo_;   // de onde um lote é refeito
    std::optional<faixas::Fronteiras> fronteiras_; // com mais de uma thread
    bool salvo_valido_ = false;
    std::int32_t salvo_proxima_ = 1;
    int salvo_excecoes_ = 0;
    std::int32_t inicio_ = 1, fim_ = 0, proxima_ = 1; // o lote: varreduras inicio_ a fim_
    int threads_ = 1;                                 // do lote
    std::vector<equipe::Contador> feitas_;   // por thread: marca(m, b) com a faixa b da varredura m pronta
    std::vector<equipe::Contador> parciais_; // por thread: a última varredura com medidas completas
    std::vector<equipe::Contador> somadas_;  // por thread: a última linha listada com a parte dela somada
    std::vector<faixas::Medidas> medidas_;   // por thread e vaga
    struct Somas {
        double L1 = 0.0, L2 = 0.0;
    };
    std::vector<Somas> somas_; // por vaga: as somas em série de uma linha listada, até onde foram
    struct alignas(64) Tempo {
        double total = 0.0, espera = 0.0;
    };
    std::vector<Tempo> tempos_; // por thread, no lote
    std::int32_t it_ = 0;
    double razao_ = 0.0;
    bool refazer_ = false;
    std::int32_t interrompida_ = 0;
    equipe::Contador decidida_;            // última varredura decidida
    std::atomic<std::int32_t> parada_{0}; // a varredura em que parou, -1 se interrompido, ou 0
};

// Threads da solução térmica: não mais campos (o vivo, o salvo e os resíduos
// guardados) que uns 48 MiB, ou duas threads. Com linhas listadas a cada
// uma, duas ou três varreduras, várias threads giram por n + 2 campos de
// resíduos: fora do cache (1001 x 1001 com passo_hist 2: 1,86 ns por nó com
// duas threads, 1,20 com uma, no Zen 5 desta máquina) fica uma thread só.
int threads_termicas(std::size_t bytes_por_campo, std::int32_t itmax, std::int32_t passo)
{
    int n = std::max(1, std::min(numero_threads(), static_cast<int>(std::min<std::int32_t>(itmax, 1024))));
    while (n > 2 && static_cast<std::size_t>(Solucao_termica::campos(n, passo, itmax)) * bytes_por_campo > (48u << 20)) {
        --n;
    }
    const int guardados = Solucao_termica::campos(n, passo, itmax) - 2;
    if (n > 1 && guardados > 1 && static_cast<std::size_t>(guardados) * bytes_por_campo > (8u << 20)) n = 1;
    return n;
}

} // namespace

// Lotes de uns 16 milhões de nós varridos (uns 8 ms): o começo e o fim de
// cada lote deixam as threads esperando (meia varredura cada), e com lotes
// de 4 milhões isso pesava em 1001 x 1001. Uma thread ou n, lote a lote,
// pela carga da máquina (equipe::Escolha).
//
// O campo é salvo no começo de um lote com várias threads a cada 1e8 nós
// varridos (uns 50 ms) e, perto da parada prevista pela queda da razão
// rápida, a cada lote: uma parada no meio de um lote refaz com uma thread só
// as varreduras desde o campo salvo até ela.
int laplace_em_faixas(double aP, double aX, double aY, std::int32_t itmax, double tol, std::int32_t Nx,
                      std::int32_t Ny, std::span<double> L1, std::span<double> L2, std::span<double> Linf,
                      std::int32_t& it, std::span<double> T, std::int32_t passo_hist)
{
    const std::size_t bytes = faixas::Campo_faixas::bytes(Nx, Ny, nucleos_em_uso().linhas);
    const int pedidas = equipe::preparar(threads_termicas(bytes, itmax, passo_hist));
    Solucao_termica solucao({aP, aX, aY}, itmax, tol, passo_hist, Nx, Ny, L1, L2, Linf,
                            pedidas);
    const int n = solucao.certificavel() ? solucao.threads() : 1;
    solucao.carregar(T);
    const auto rodar = [&solucao](int threads) {
        if (threads > 1) equipe::em_paralelo(threads, [&solucao](int t) { solucao.trabalhar(t); });
        else solucao.trabalhar(0);
    };
    const double nos = (Nx - 2.0) * (Ny - 2.0);
    const std::int32_t por_lote = static_cast<std::int32_t>(std::clamp(1.6e7 / nos, 4.0, 1e6));
    const double entre_salvos = std::max(1.0, 1e8 / nos); // varreduras
    equipe::Escolha escolha(n, itmax >= 4 * por_lote);
    std::int32_t salvo_em = 0;
    double razao_antes = 0.0;
    std::int32_t m_antes = 0;
    for (;;) {
        const std::int32_t m0 = solucao.proxima();
        const std::int32_t neste = std::max(8, por_lote / escolha.divisor());
        const std::int32_t fim =
            static_cast<std::int32_t>(std::min<long long>(itmax, static_cast<long long>(m0) + neste - 1));
        const int usar = escolha.threads();
        // Perto da parada: pela queda da razão rápida por varredura, menos de
        // três lotes até tol.
        bool perto = false;
        const double razao = solucao.ultima_razao();
        const std::int32_t m_razao = solucao.ultima_decidida();
        if (razao_antes > 0.0 && razao > 0.0 && razao < razao_antes && tol > 0.0 && m_razao > m_antes) {
            const double queda = std::log(razao / razao_antes) / (m_razao - m_antes);
            perto = std::log(tol / razao) / queda < 3.0 * por_lote;
        }
        const bool salvar = usar > 1 && (perto || m0 - salvo_em >= entre_salvos);
        if (salvar) salvo_em = m0;
        escolha.antes();
        const auto inicio = std::chrono::steady_clock::now();
        if (solucao.lote(fim, usar, salvar, rodar)) break;
        escolha.depois(std::chrono::duration<double>(std::chrono::steady_clock::now() - inicio).count() /
                       (fim - m0 + 1));
        razao_antes = razao;
        m_antes = m_razao;
    }
    solucao.descarregar(T);
    it = solucao.it();
    return n;
}

} // namespace rapido
