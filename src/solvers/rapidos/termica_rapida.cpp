// Solução térmica em faixas, lote a lote: as faixas repartidas entre as
// threads, cada uma sempre com as mesmas (tubulacao.hpp), a decisão de
// parada certificada por uma soma rápida dos |r| (parada.hpp) e as somas em
// série (as de norma_L1 e norma_L2) só onde são precisas. Nas linhas do
// relatório (listadas.hpp) quem varre guarda os resíduos, e as somas em
// série andam de thread em thread, cada uma somando a sua parte
// (tubulacao_termica.hpp).
//
// Invariantes dos lotes:
// - Entre lotes nenhuma varredura está em andamento e todas as decisões
//   saíram: a equipe termina o lote inteiro antes de voltar.
// - Num lote com várias threads as varreduras andam à frente da decisão.
//   Se ela para (ou pede o campo de uma varredura que as threads de baixo
//   já passaram) antes do fim do lote, o campo vivo tem varreduras além
//   dela: o lote é refeito do campo salvo, com as exceções de ponto
//   flutuante de antes dele, por uma thread só, o que dá os mesmos bits, as
//   mesmas decisões e as mesmas exceções.
#include "costuras.hpp"
#include "equipe.hpp"
#include "lotes.hpp"
#include "rapidos_internos.hpp"
#include "tubulacao_termica.hpp"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <optional>
#include <vector>

namespace rapido {

namespace {

// O campo de onde um lote interrompido é refeito e as exceções de ponto
// flutuante levantadas até ele. Só é criado no primeiro lote com várias
// threads: sob carga, com uma thread o tempo todo, nunca (as primeiras
// escritas em páginas novas custam caro; ver Campo_faixas::obter).
class Campo_salvo {
public:
    bool valido() const { return valido_; }
    std::int32_t proxima() const { return proxima_; } // a varredura seguinte à dele

    void guardar(const faixas::Campo_faixas& campo, std::int32_t proxima)
    {
        if (campo_) {
            *campo_ = campo;
        } else {
            costuras::alocar(costuras::Alocacao::campo_salvo);
            campo_.emplace(campo);
        }
        proxima_ = proxima;
        excecoes_ = std::fetestexcept(FE_ALL_EXCEPT);
        valido_ = true;
    }
    // O campo volta ao salvo, sem as exceções levantadas depois dele; o
    // salvo deixa de valer.
    void restaurar(faixas::Campo_faixas& campo)
    {
        campo = *campo_;
        std::feclearexcept(std::fetestexcept(FE_ALL_EXCEPT) & ~excecoes_);
        valido_ = false;
    }

private:
    std::optional<faixas::Campo_faixas> campo_;
    std::int32_t proxima_ = 1;
    int excecoes_ = 0;
    bool valido_ = false;
};

class Solucao_termica {
public:
    Solucao_termica(const faixas::Nucleos& nucleos, const faixas::Coeficientes& c, std::int32_t itmax, double tol,
                    std::int32_t passo_hist, std::int32_t Nx, std::int32_t Ny, Normas_por_varredura h, int threads)
        : campo_(Nx, Ny, nucleos.linhas),
          partes_(faixas::repartir(campo_.numero_faixas(), Ny, campo_.linhas(), threads)),
          todas_numa_{0, campo_.numero_faixas()},
          tubulacao_(nucleos, c, itmax, tol, passo_hist, campo_, static_cast<int>(partes_.size()) - 1, h)
    {
        if (this->threads() > 1) fronteiras_.emplace(Nx, campo_.linhas(), partes_);
    }

    int threads() const { return static_cast<int>(partes_.size()) - 1; }
    // Sem decidir pela soma rápida, nada de varreduras adiantadas.
    bool certificavel() const { return tubulacao_.certificavel(); }

    void carregar(std::span<const double> T) { campo_.carregar(T); }
    void descarregar(std::span<double> T) const { campo_.descarregar(T); }
    std::int32_t it() const { return tubulacao_.it(); }
    std::int32_t proxima() const { return proxima_; }

    // A razão rápida L1(m)/L1(0) da última decisão e o m dela.
    double ultima_razao() const { return tubulacao_.ultima_razao(); }
    std::int32_t ultima_decidida() const { return proxima_ - 1; }

    // Um lote: as varreduras até `fim` com `threads` threads (1 ou as do
    // construtor), a partir da seguinte à última decidida. Com mais de uma
    // thread, `salvar` guarda antes o campo (de onde um lote interrompido é
    // refeito; sem campo salvo válido, guarda sempre). Devolve se parou.
    template <class Rodar>
    bool lote(std::int32_t fim, int threads, bool salvar, Rodar rodar)
    {
        if (threads > 1 && (salvar || !salvo_.valido())) salvo_.guardar(campo_, proxima_);
        preparar(proxima_, fim, threads);
        rodar(threads);
        if (threads > 1 && !tubulacao_.refazer() && faixas::equilibrar(partes_, tubulacao_.ocupado())) {
            fronteiras_.emplace(campo_.Nx(), campo_.linhas(), partes_);
        }
        if (tubulacao_.refazer()) {
            salvo_.restaurar(campo_);
            preparar(salvo_.proxima(), tubulacao_.refazer_ate(), 1);
            rodar(1);
        }
        proxima_ = tubulacao_.parou() ? tubulacao_.it() + 1 : fim_ + 1;
        return tubulacao_.parou();
    }

    // As varreduras da thread t no lote.
    void trabalhar(int t) { tubulacao_.trabalhar(t); }

private:
    void preparar(std::int32_t inicio, std::int32_t fim, int threads)
    {
        fim_ = fim;
        if (threads > 1) fronteiras_->carregar(campo_);
        tubulacao_.preparar(inicio, fim, threads > 1 ? partes_ : todas_numa_,
                            threads > 1 ? &*fronteiras_ : nullptr);
    }

    faixas::Campo_faixas campo_;  // o campo vivo, varrido no lugar
    std::vector<int> partes_;     // faixas de cada thread (faixas::repartir)
    std::vector<int> todas_numa_; // todas as faixas numa thread
    Tubulacao_termica tubulacao_;
    std::optional<faixas::Fronteiras> fronteiras_; // com mais de uma thread
    Campo_salvo salvo_;
    std::int32_t fim_ = 0, proxima_ = 1; // o fim do lote e a varredura seguinte à última decidida
};

// Threads da solução térmica: não mais campos (o vivo, o salvo e os
// resíduos guardados) que bytes_dos_campos, ou duas threads. Com linhas
// listadas a cada uma, duas ou três varreduras, várias threads giram por
// n + 2 campos de resíduos: fora do cache (mais que bytes_dos_residuos),
// uma thread anda mais depressa que duas (bancada completa, 1001 x 1001 com
// passo_hist 2), e fica uma só.
constexpr std::size_t bytes_dos_campos = std::size_t{48} << 20;
constexpr std::size_t bytes_dos_residuos = std::size_t{8} << 20;

int threads_termicas(std::size_t bytes_por_campo, std::int32_t itmax, std::int32_t passo, std::int32_t Nx,
                     std::int32_t Ny)
{
    const auto residuos = [&](int n) { return Tubulacao_termica::campos_de_residuos(n, passo, itmax); };
    const auto campos = [&](int n) { return 1 + (n > 1 ? 1 : 0) + residuos(n); };
    // Não mais threads que varreduras, nem que as que pagam as passagens.
    int n = lotes::threads(std::max(1, std::min(numero_threads(), static_cast<int>(std::min(itmax, maximo_de_threads)))),
                           Nx, Ny);
    while (n > 2 && static_cast<std::size_t>(campos(n)) * bytes_por_campo > bytes_dos_campos) --n;
    if (n > 1 && residuos(n) > 1 && static_cast<std::size_t>(residuos(n)) * bytes_por_campo > bytes_dos_residuos) {
        n = 1;
    }
    return n;
}

// Perto da parada: pela queda da razão rápida por varredura entre as duas
// últimas decisões vistas, menos de `varreduras` varreduras até tol.
bool perto_da_parada(double razao_antes, std::int32_t m_antes, double razao, std::int32_t m, double tol,
                     double varreduras)
{
    if (!(razao_antes > 0.0 && razao > 0.0 && razao < razao_antes && tol > 0.0 && m > m_antes)) return false;
    const double queda = std::log(razao / razao_antes) / (m - m_antes);
    return std::log(tol / razao) / queda < varreduras;
}

// O campo é salvo no começo de um lote com várias threads a cada
// nos_entre_salvos nós varridos e, perto da parada prevista pela queda da
// razão rápida (menos de lotes_perto_da_parada lotes), a cada lote: uma
// parada no meio de um lote refaz com uma thread só as varreduras desde o
// campo salvo até ela. Salvar custa uma cópia do campo; refazer, as
// varreduras desde ele com uma thread.
constexpr double nos_entre_salvos = 1e8;
constexpr double lotes_perto_da_parada = 3.0;

} // namespace

int laplace_em_faixas(double aP, double aX, double aY, std::int32_t itmax, double tol, std::int32_t Nx,
                      std::int32_t Ny, std::span<double> L1, std::span<double> L2, std::span<double> Linf,
                      std::int32_t& it, std::span<double> T, std::int32_t passo_hist)
{
    const faixas::Nucleos& nucleos = nucleos_em_uso();
    const std::size_t bytes = faixas::Campo_faixas::bytes(Nx, Ny, nucleos.linhas);
    const int pedidas = equipe::preparar(threads_termicas(bytes, itmax, passo_hist, Nx, Ny));
    Solucao_termica solucao(nucleos, {aP, aX, aY}, itmax, tol, passo_hist, Nx, Ny, {L1, L2, Linf}, pedidas);
    const int n = solucao.certificavel() ? solucao.threads() : 1;
    solucao.carregar(T);
    const auto rodar = [&solucao](int threads) {
        if (threads > 1) equipe::em_paralelo(threads, [&solucao](int t) noexcept { solucao.trabalhar(t); });
        else solucao.trabalhar(0);
    };
    const long long por_lote = lotes::termico(Nx, Ny);
    const double entre_salvos = std::max(1.0, nos_entre_salvos / ((Nx - 2.0) * (Ny - 2.0))); // varreduras
    std::int32_t salvo_em = 0;
    double razao_antes = 0.0;
    std::int32_t m_antes = 0;
    // As etapas k0 .. k1-1 do lote são as varreduras k0+1 .. k1; o lote
    // seguinte começa na seguinte à última decidida.
    const int maior = lotes::em_lotes(n, itmax, por_lote, [&](long long k0, long long k1, int usar) {
        const std::int32_t m0 = static_cast<std::int32_t>(k0 + 1);
        const double razao = solucao.ultima_razao();
        const std::int32_t m_razao = solucao.ultima_decidida();
        const bool perto = perto_da_parada(razao_antes, m_antes, razao, m_razao, tol,
                                           lotes_perto_da_parada * static_cast<double>(por_lote));
        const bool salvar = usar > 1 && (perto || m0 - salvo_em >= entre_salvos);
        if (salvar) salvo_em = m0;
        if (solucao.lote(static_cast<std::int32_t>(k1), usar, salvar, rodar)) return static_cast<long long>(itmax);
        razao_antes = razao;
        m_antes = m_razao;
        return static_cast<long long>(solucao.proxima()) - 1;
    });
    solucao.descarregar(T);
    it = solucao.it();
    return maior;
}

} // namespace rapido
