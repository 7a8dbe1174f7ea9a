#include "progresso/progresso.hpp"

#include "plataforma/console.hpp"
#include "plataforma/cpus.hpp"
#include "plataforma/relogio.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace progresso {

namespace {

enum class Fase { nenhuma, termica, deslocamentos, gravacao };

// Nada aparece antes disso: execuções curtas não piscam na tela.
constexpr double espera_inicial = 1.0;
// Até cinco desenhos por segundo.
constexpr auto intervalo = std::chrono::milliseconds(200);
// Janela da taxa recente de queda do resíduo.
constexpr double janela_da_taxa = 15.0;
constexpr int largura_da_barra = 20;

// Uma linha de estado: o que é, a fração feita (NaN: desconhecida) e os tempos.
struct Estado {
    std::string inicio;
    double fracao;
    std::string fim;
    std::string curto = {}; // o início para terminais estreitos
};

struct Amostra {
    double t;
    std::int32_t m;
    double log_razao;
};

struct Exibidor {
    std::mutex trava;
    std::condition_variable acordar;
    std::thread thread;
    bool ativo = false;
    bool parar = false;
    double inicio = 0.0;

    Fase fase = Fase::nenhuma;
    double inicio_fase = 0.0;
    std::int32_t itmax = 0;
    double tol = 0.0;
    double L1_0 = 0.0;
    std::int32_t itdesl = 0;
    std::int32_t itgs = 0;
    std::uint64_t bytes_previstos = 0;
    std::deque<Amostra> amostras;

    int colunas_na_tela = 0; // colunas da linha desenhada agora (0: linha limpa)

    // Sem encerrar() (uma saída que pulou o driver), a thread não derruba o fim do processo.
    ~Exibidor()
    {
        if (thread.joinable()) thread.detach();
    }
};

Exibidor exibidor;

std::string formatar(const char* formato, double valor)
{
    char texto[64];
    std::snprintf(texto, sizeof texto, formato, valor);
    return texto;
}

// Duração como num cronômetro: 0:08, 3:05, 2:07:41.
std::string duracao(double segundos)
{
    const long long s = std::llround(std::min(std::max(0.0, segundos), 1.0e9));
    char texto[48];
    if (s < 3600) std::snprintf(texto, sizeof texto, "%lld:%02lld", s / 60, s % 60);
    else std::snprintf(texto, sizeof texto, "%lld:%02lld:%02lld", s / 3600, (s % 3600) / 60, s % 60);
    return texto;
}

// Barra de `largura` posições (nenhuma se largura < 4) e a porcentagem.
std::string barra(double fracao, int largura)
{
    if (!(fracao >= 0.0)) fracao = 0.0;
    fracao = std::min(fracao, 1.0);
    std::string texto;
    if (largura >= 4) {
        const int cheias = static_cast<int>(fracao * largura);
        texto.append(1, '[').append(static_cast<std::size_t>(cheias), '#');
        texto.append(static_cast<std::size_t>(largura - cheias), '.').append("] ");
    }
    return texto.append(std::to_string(static_cast<int>(fracao * 100.0))).append("%");
}

// Tempo restante de uma fase de trabalho conhecido, pela fração feita.
double falta_proporcional(double fracao, double decorrido)
{
    if (!(fracao > 0.0) || fracao >= 1.0) return -1.0;
    return decorrido * (1.0 - fracao) / fracao;
}

std::string tempos(double decorrido, double falta)
{
    std::string texto = duracao(decorrido);
    if (falta >= 0.0) texto += ", falta ~" + duracao(falta);
    return texto;
}

// Colunas que o texto ocupa: os bytes de continuação do UTF-8 não contam.
int colunas(std::string_view texto)
{
    int n = 0;
    for (const char c : texto) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

// Corta o texto em no máximo `limite` colunas, sem partir um caractere.
std::string cortar(const std::string& texto, int limite)
{
    int n = 0;
    for (std::size_t i = 0; i < texto.size(); ++i) {
        if ((static_cast<unsigned char>(texto[i]) & 0xC0) == 0x80) continue;
        if (n == limite) return texto.substr(0, i);
        ++n;
    }
    return texto;
}

Estado linha_termica(Exibidor& e, double agora)
{
    const std::int32_t m = contadores::varredura_termica.load(std::memory_order_relaxed);
    const double L1 = contadores::L1_termica.load(std::memory_order_relaxed);
    if (m < 1) {
        // Nenhuma varredura publicada ainda.
        return {"Problema térmico: até " + std::to_string(e.itmax) + " varreduras, tol " + formatar("%.0e", e.tol),
                NAN, duracao(agora - e.inicio)};
    }
    std::string linha = "Problema térmico: varredura " + std::to_string(m) + "/" + std::to_string(e.itmax);
    std::string curto = "Térmico " + std::to_string(m) + "/" + std::to_string(e.itmax);
    const double razao = e.L1_0 > 0.0 ? L1 / e.L1_0 : 0.0;
    const bool log_tol_valido = e.tol > 0.0 && e.tol < 1.0;
    double fracao = e.itmax > 0 ? static_cast<double>(m) / e.itmax : 0.0;
    double falta = -1.0;
    if (razao > 0.0 && std::isfinite(razao)) {
        const double log_razao = std::log(razao);
        const double log_tol = log_tol_valido ? std::log(e.tol) : 0.0;
        const std::string quociente = "L1/L1(0) " + formatar("%.1e", razao) + " (tol " + formatar("%.0e", e.tol) + ")";
        linha += ", " + quociente;
        curto += " " + quociente;
        if (log_tol_valido) fracao = log_razao / log_tol;
        if (e.amostras.empty() || e.amostras.back().m != m) e.amostras.push_back({agora, m, log_razao});
        while (e.amostras.size() > 2 && e.amostras[1].t <= agora - janela_da_taxa) e.amostras.pop_front();
        const Amostra& a = e.amostras.front();
        falta = falta_termica(a.m, a.log_razao, a.t, m, log_razao, agora, log_tol_valido ? log_tol : NAN, e.itmax);
    }
    return {linha, fracao, tempos(agora - e.inicio, falta), curto};
}

Estado linha_deslocamentos(const Exibidor& e, double agora)
{
    const std::int64_t por_externa = etapas_por_externa(e.itgs);
    const std::int64_t feitas = contadores::etapa_deslocamento.load(std::memory_order_relaxed) +
                                contadores::varredura_fonte.load(std::memory_order_relaxed);
    const std::int64_t itd = std::min<std::int64_t>(std::max(e.itdesl, 1), feitas / por_externa + 1);
    const double fracao = e.itdesl > 0 ? static_cast<double>(feitas) / (static_cast<double>(por_externa) * e.itdesl) : 1.0;
    return {"Deslocamentos: iteração " + std::to_string(itd) + "/" + std::to_string(e.itdesl), fracao,
            tempos(agora - e.inicio, falta_proporcional(fracao, agora - e.inicio_fase))};
}

std::string megabytes(std::uint64_t bytes) { return formatar("%.1f", static_cast<double>(bytes) / 1.0e6); }

Estado linha_gravacao(const Exibidor& e, double agora)
{
    const std::uint64_t gravados = contadores::bytes_gravados.load(std::memory_order_relaxed);
    const std::uint64_t total = std::max(e.bytes_previstos, gravados);
    const double fracao = total > 0 ? static_cast<double>(gravados) / static_cast<double>(total) : 0.0;
    return {"Gravando os resultados: " + megabytes(gravados) + "/" + megabytes(total) + " MB", fracao,
            tempos(agora - e.inicio, falta_proporcional(fracao, agora - e.inicio_fase))};
}

// Com a trava. A linha cabe numa linha do terminal (a barra encolhe, e o
// resto é cortado): uma linha quebrada não seria apagada por inteiro.
void escrever_linha(Exibidor& e, const Estado& estado)
{
    const int largura = colunas_do_terminal();
    const int limite = (largura > 1 ? largura : 80) - 1;
    // Com a descrição curta quando a longa não cabe nem sem a barra.
    const int tempos_ = std::max(18, colunas(estado.fim)); // "1:12, falta ~12:05"
    const bool curta = !estado.curto.empty() && colunas(estado.inicio) + 2 + 4 + 2 + tempos_ > limite;
    std::string linha = curta ? estado.curto : estado.inicio;
    if (!std::isnan(estado.fracao)) {
        const int livres = limite - colunas(linha) - tempos_ - 4 - 2 - 5;
        // A barra só encolhe em degraus, para não tremer quando os números mudam de largura.
        linha += "  " + barra(estado.fracao, livres >= largura_da_barra ? largura_da_barra : livres >= 10 ? 10 : 0);
    }
    linha += "  " + estado.fim;
    const std::string texto = cortar(linha, limite);
    marcar_linha_de_progresso(std::max(colunas(texto), e.colunas_na_tela));
    escrever_no_terminal(redesenho(texto, e.colunas_na_tela));
    marcar_linha_de_progresso(e.colunas_na_tela);
}

// Com a trava.
void apagar_linha(Exibidor& e)
{
    if (e.colunas_na_tela == 0) return;
    std::string brancos(1, '\r');
    brancos.append(static_cast<std::size_t>(e.colunas_na_tela), ' ').append(1, '\r');
    escrever_no_terminal(brancos);
    e.colunas_na_tela = 0;
    marcar_linha_de_progresso(0);
}

void exibir()
{
    // Com as CPUs ocupadas pelo cálculo, cada desenho tiraria uma thread de
    // cálculo da CPU e a parceira esperaria por ela (bancada curta, com a
    // exibição ligada: ver bench/bancada.cpp). Ociosa, a thread só roda nas
    // sobras.
    thread_so_com_cpu_ociosa();
    Exibidor& e = exibidor;
    std::unique_lock<std::mutex> trava(e.trava);
    while (!e.parar) {
        e.acordar.wait_for(trava, intervalo);
        if (e.parar) break;
        const double agora = relogio();
        if (agora - e.inicio < espera_inicial) continue;
        switch (e.fase) {
        case Fase::nenhuma: break;
        case Fase::termica: escrever_linha(e, linha_termica(e, agora)); break;
        case Fase::deslocamentos: escrever_linha(e, linha_deslocamentos(e, agora)); break;
        case Fase::gravacao: escrever_linha(e, linha_gravacao(e, agora)); break;
        }
    }
}

bool desligado_pelo_ambiente()
{
    const char* valor = std::getenv("PLACA2D_PROGRESSO");
    return valor != nullptr && std::string(valor) == "0";
}

// Com a trava: troca de fase, apagando a linha da anterior.
void mudar_fase(Exibidor& e, Fase fase)
{
    apagar_linha(e);
    e.fase = fase;
    e.inicio_fase = relogio();
    e.amostras.clear();
}

} // namespace

std::string redesenho(std::string_view texto, int& colunas_na_tela)
{
    const int n = colunas(texto);
    const int sobra = std::max(0, colunas_na_tela - n);
    std::string saida(1, '\r');
    saida.append(texto).append(static_cast<std::size_t>(sobra), ' ');
    colunas_na_tela = n + sobra;
    return saida;
}

double falta_termica(std::int32_t m0, double log_razao0, double t0, std::int32_t m, double log_razao, double t,
                     double log_tol, std::int32_t itmax)
{
    if (m <= m0 || !(t > t0)) return -1.0;
    const double por_varredura = (t - t0) / (m - m0);
    double varreduras = static_cast<double>(itmax) - m;
    if (std::isfinite(log_tol)) {
        if (log_razao <= log_tol) return 0.0;
        const double queda = (log_razao0 - log_razao) / (m - m0);
        if (queda > 0.0) varreduras = std::min(varreduras, (log_razao - log_tol) / queda);
    }
    return std::max(0.0, varreduras) * por_varredura;
}

void iniciar()
{
    Exibidor& e = exibidor;
    std::lock_guard<std::mutex> trava(e.trava);
    if (e.ativo) return;
    e.inicio = relogio();
    e.fase = Fase::nenhuma;
    e.parar = false;
    if (desligado_pelo_ambiente() || !erro_padrao_no_terminal()) return;
    try {
        e.thread = std::thread(exibir);
        e.ativo = true;
    } catch (const std::exception&) {
        // Sem thread, sem progresso: o cálculo segue igual.
    }
}

void fase_termica(std::int32_t itmax, double tol, double L1_0)
{
    publicar_termica(0, L1_0);
    Exibidor& e = exibidor;
    std::lock_guard<std::mutex> trava(e.trava);
    mudar_fase(e, Fase::termica);
    e.itmax = itmax;
    e.tol = tol;
    e.L1_0 = L1_0;
}

void fase_deslocamentos(std::int32_t itdesl, std::int32_t itgs)
{
    publicar_etapa_deslocamento(0);
    Exibidor& e = exibidor;
    std::lock_guard<std::mutex> trava(e.trava);
    mudar_fase(e, Fase::deslocamentos);
    e.itdesl = itdesl;
    e.itgs = itgs;
}

void fase_gravacao(std::uint64_t bytes_previstos)
{
    contadores::bytes_gravados.store(0, std::memory_order_relaxed);
    Exibidor& e = exibidor;
    std::lock_guard<std::mutex> trava(e.trava);
    mudar_fase(e, Fase::gravacao);
    e.bytes_previstos = bytes_previstos;
}

void avisar(std::string_view texto)
{
    Exibidor& e = exibidor;
    std::lock_guard<std::mutex> trava(e.trava);
    apagar_linha(e);
    ::avisar(texto);
}

void encerrar()
{
    Exibidor& e = exibidor;
    {
        std::lock_guard<std::mutex> trava(e.trava);
        if (!e.ativo) return;
        e.parar = true;
        apagar_linha(e);
        e.fase = Fase::nenhuma;
    }
    e.acordar.notify_all();
    e.thread.join();
    std::lock_guard<std::mutex> trava(e.trava);
    e.ativo = false;
}

} // namespace progresso
