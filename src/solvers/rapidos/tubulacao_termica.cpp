#include "tubulacao_termica.hpp"

#include "progresso/progresso.hpp"

#include <limits>

namespace rapido {

namespace {

constexpr long long nenhum_limite = std::numeric_limits<long long>::max();

int vagas_para(int threads) { return threads + 2; }

} // namespace

Vagas::Vagas(int threads, int vagas, int residuos, std::int32_t Nx, std::int32_t Ny, int L)
    : vagas_(vagas), medidas_(static_cast<std::size_t>(threads * (vagas + separacao))),
      somas_(static_cast<std::size_t>(vagas))
{
    residuos_.reserve(static_cast<std::size_t>(residuos));
    for (int k = 0; k < residuos; ++k) residuos_.emplace_back(Nx, Ny, L);
}

int Tubulacao_termica::campos_de_residuos(int threads, std::int32_t passo, std::int32_t itmax)
{
    if (!listadas::algum_multiplo_ate(itmax, passo)) return 0;
    return threads > 1 && passo < vagas_para(threads) ? vagas_para(threads) : 1;
}

Tubulacao_termica::Tubulacao_termica(const faixas::Nucleos& nucleos, const faixas::Coeficientes& c,
                                     std::int32_t itmax, double tol, std::int32_t passo_hist,
                                     faixas::Campo_faixas& campo, int threads, Normas_por_varredura h)
    : nucleos_(nucleos), c_(c), passo_(passo_hist), decisor_(h.L1[0], tol, itmax, campo.Nx(), campo.Ny()),
      h_(h), campo_(campo), D_(vagas_para(threads)),
      vagas_(threads, D_, campos_de_residuos(threads, passo_hist, itmax), campo.Nx(), campo.Ny(), nucleos_.linhas),
      tub_(threads), parciais_(static_cast<std::size_t>(threads)), somadas_(static_cast<std::size_t>(threads))
{
}

void Tubulacao_termica::preparar(std::int32_t inicio, std::int32_t fim, const std::vector<int>& inicio_faixas,
                                 faixas::Fronteiras* fronteiras)
{
    inicio_ = inicio;
    fim_ = fim;
    fronteiras_ = fronteiras;
    tub_.comecar(inicio_faixas);
    for (auto& contador : parciais_) contador.reiniciar(inicio - 1);
    for (auto& contador : somadas_) contador.reiniciar(inicio - 1);
    decidida_.reiniciar(inicio - 1);
    refazer_ = false;
    parou_ = false;
}

void Tubulacao_termica::trabalhar(int t)
{
    tub_.cronometrar(t, [this, t] { trabalhar_lote(t); });
}

void Tubulacao_termica::trabalhar_lote(int t)
{
    const int n = tub_.threads();
    std::int32_t m = inicio_;
    for (; m <= fim_; ++m) {
        if (m - D_ >= inicio_ && !tub_.esperar(t, decidida_, m - D_)) break;
        if (!varrer(t, m)) break;
        // Com uma thread, decide logo; com várias, quem decide varre a sua
        // parte da seguinte antes: as somas em série de uma linha listada
        // andam de thread em thread, cada uma na sua parte.
        if (n == 1) {
            if (!somar_parte(t, m) || !decidir(m)) break;
        } else if (m > inicio_) {
            if (!somar_parte(t, m - 1)) break;
            if (t + 1 == n && !decidir(m - 1)) break;
        }
    }
    if (m > fim_ && n > 1) fechar_lote(t);
    tub_.encerrar(t);
    parciais_[static_cast<std::size_t>(t)].publicar(nenhum_limite);
    somadas_[static_cast<std::size_t>(t)].publicar(nenhum_limite);
}

// A linha de cima da última faixa e a decisão da última varredura do lote.
void Tubulacao_termica::fechar_lote(int t)
{
    if (!tub_.esperar_acima(t, fim_ - inicio_)) return;
    if (t + 1 < tub_.threads()) linha_de_cima(t, fim_, tub_.fim(t) - 1);
    if (somar_parte(t, fim_) && t + 1 == tub_.threads()) decidir(fim_);
}

// A varredura m nas faixas da thread t, com as medidas dos resíduos; falso
// se o lote foi interrompido no meio.
bool Tubulacao_termica::varrer(int t, std::int32_t m)
{
    const long long i = m - inicio_;
    const bool juntas = tub_.threads() > 1;
    const int b0 = tub_.primeira(t), b1 = tub_.fim(t);
    faixas::Campo_faixas* residuos = vagas_.residuos(m, listada(m));
    double maximo = 0.0;
    double soma = 0.0;
    for (int b = b0; b < b1; ++b) {
        if (!tub_.entrar(t, i, b)) return false;
        if (tub_.le_acima(t, i, b)) linha_de_cima(t, m - 1, b);
        // Nas fronteiras, as linhas vizinhas vêm das cópias compactas.
        const faixas::Vizinhas viz = juntas ? fronteiras_->vizinhas(t, b) : faixas::Vizinhas{};
        faixas::varrer_faixa_com_residuos(nucleos_, campo_, campo_, nullptr, residuos, b, c_, maximo, soma, viz);
        if (b > b0) faixas::residuos_linha_topo(campo_, residuos, b - 1, c_, maximo, soma);
        if (b + 1 == campo_.numero_faixas()) faixas::residuos_linha_topo(campo_, residuos, b, c_, maximo, soma);
        if (juntas) fronteiras_->publicar(campo_, t, b);
        tub_.sair(t, i, b);
    }
    vagas_.medidas(t, m) = {maximo, soma};
    return true;
}

// A parte da thread t das somas em série de L1 e L2 da linha listada m, a
// partir de onde a thread de baixo parou. As medidas dela para m já estão
// completas (a linha de cima da última faixa sai antes). Os resíduos são
// lidos por quem os escreveu: entre núcleos só passam os dois valores.
bool Tubulacao_termica::somar_parte(int t, std::int32_t m)
{
    const faixas::Campo_faixas* r = vagas_.residuos(m, listada(m));
    if (r == nullptr) return true;
    const std::size_t tt = static_cast<std::size_t>(t);
    parada::Somas& s = vagas_.somas(m);
    if (t == 0) s = parada::Somas{};
    else if (!tub_.esperar(t, somadas_[tt - 1], m)) return false;
    faixas::somar_guardados(*r, tub_.primeira(t), tub_.fim(t), s.L1, s.L2);
    somadas_[tt].publicar(m);
    return true;
}

// Os resíduos da linha de cima da faixa b (a última da thread t) na
// varredura m, que completam as medidas da thread nela.
void Tubulacao_termica::linha_de_cima(int t, std::int32_t m, int b)
{
    faixas::Medidas& med = vagas_.medidas(t, m);
    faixas::residuos_linha_topo(campo_, vagas_.residuos(m, listada(m)), b, c_, med.maximo, med.soma,
                                fronteiras_->acima(t));
    parciais_[static_cast<std::size_t>(t)].publicar(m);
}

// A decisão sobre a varredura m, pela thread do topo; falso quando não há
// mais o que varrer no lote.
bool Tubulacao_termica::decidir(std::int32_t m)
{
    const int n = tub_.threads();
    parada::Varredura v;
    v.m = m;
    for (int t = 0; t < n; ++t) {
        if (t + 1 < n && !tub_.esperar(n - 1, parciais_[static_cast<std::size_t>(t)], m)) return false;
        const faixas::Medidas& med = vagas_.medidas(t, m);
        if (med.maximo > v.maximo) v.maximo = med.maximo;
        v.soma = v.soma + med.soma;
    }
    v.listada = listada(m);
    if (vagas_.residuos(m, v.listada) != nullptr) v.em_serie = vagas_.somas(m);
    v.campo_exato = n == 1 || m == fim_;
    return registrar(m, decisor_.decidir(v, [this] {
        parada::Somas s;
        faixas::somar_residuos(campo_, c_, s.L1, s.L2);
        return s;
    }));
}

// As entradas m das histórias e o sinal às outras threads.
bool Tubulacao_termica::registrar(std::int32_t m, const parada::Decisao& d)
{
    if (d.rumo == parada::Rumo::refazer) {
        refazer_ = true;
        refazer_ate_ = m;
        tub_.interromper();
        decidida_.publicar(nenhum_limite);
        return false;
    }
    const std::size_t mm = static_cast<std::size_t>(m);
    h_.L1[mm] = d.L1;
    if (d.com_L2) h_.L2[mm] = d.L2;
    h_.Linf[mm] = d.Linf;
    progresso::publicar_termica(m, d.L1); // só para a tela
    if (d.rumo == parada::Rumo::parar) {
        it_ = m;
        parou_ = true;
        tub_.interromper();
        decidida_.publicar(nenhum_limite);
        return false;
    }
    razao_ = d.razao;
    decidida_.publicar(m);
    return true;
}

} // namespace rapido
