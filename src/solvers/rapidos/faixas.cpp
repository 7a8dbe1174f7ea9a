#include "faixas.hpp"

#include "solvers/malha.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>

namespace faixas {

namespace {

// Linha iy da lane j da faixa b de L linhas; a faixa 0 começa na primeira
// linha interior.
std::int64_t linha_da_lane(int b, int j, int L) { return static_cast<std::int64_t>(b) * L + j + 2; }

// Faixa e lane da linha iy (a linha 1 é a última lane da faixa -1).
void faixa_e_lane(std::int32_t iy, int L, int& b, int& j)
{
    b = (iy - 2 + L) / L - 1;
    j = (iy - 2 + L) % L;
}

bool cpu_tem(Instrucoes conjunto)
{
#if defined(__x86_64__) || defined(__i386__)
    switch (conjunto) {
    case Instrucoes::avx512: return __builtin_cpu_supports("avx512f");
    case Instrucoes::avx2: return __builtin_cpu_supports("avx2");
    case Instrucoes::portavel: return true;
    }
    return false;
#else
    return conjunto == Instrucoes::portavel;
#endif
}

} // namespace

int Campo_faixas::contar_faixas(std::int32_t Ny, int L) { return std::max(1, (Ny - 2 + L - 1) / L); }

// As faixas -1 a faixas(), cada uma com Nx + 3L posições de L lanes.
std::size_t Campo_faixas::blocos(std::int32_t Nx, std::int32_t Ny, int L)
{
    const std::size_t lanes = static_cast<std::size_t>(contar_faixas(Ny, L) + 2) * static_cast<std::size_t>(Nx + 3 * L) *
                              static_cast<std::size_t>(L);
    return (lanes + 7) / 8;
}

std::size_t Campo_faixas::bytes(std::int32_t Nx, std::int32_t Ny, int L) { return blocos(Nx, Ny, L) * sizeof(Bloco); }

// Memória de campos destruídos, guardada para o próximo campo do mesmo
// tamanho (até 256 MiB): a fase dos deslocamentos reaproveita a da solução
// térmica. Páginas novas custam caro (o sistema as zera e mapeia no primeiro
// toque), e em malhas grandes zerar e tocar os seis campos da fase dos
// deslocamentos pesava na fase inteira (bancada completa, 1001 x 1001).
namespace {

// Nunca destruída: um campo pode ser destruído depois dos objetos estáticos,
// e a memória guardada continua alcançável até o fim (o LeakSanitizer não a
// conta como perdida).
struct Sobras {
    std::mutex trava;
    std::vector<std::pair<std::size_t, void*>> livres; // blocos, memória
    std::size_t bytes = 0;
};
Sobras& sobras()
{
    static Sobras* s = new Sobras;
    return *s;
}
constexpr std::size_t sobras_maximas = std::size_t{256} << 20;

} // namespace

Campo_faixas::Bloco* Campo_faixas::obter(std::size_t blocos)
{
    Sobras& r = sobras();
    {
        const std::lock_guard<std::mutex> trava(r.trava);
        for (auto i = r.livres.begin(); i != r.livres.end(); ++i) {
            if (i->first == blocos) {
                void* memoria = i->second;
                r.livres.erase(i);
                r.bytes -= blocos * sizeof(Bloco);
                return static_cast<Bloco*>(memoria);
            }
        }
    }
    return static_cast<Bloco*>(::operator new[](blocos * sizeof(Bloco), std::align_val_t{alignof(Bloco)}));
}

void Campo_faixas::devolver(Bloco* dados, std::size_t blocos) noexcept
{
    if (dados == nullptr) return;
    Sobras& r = sobras();
    {
        const std::lock_guard<std::mutex> trava(r.trava);
        if (r.bytes + blocos * sizeof(Bloco) <= sobras_maximas) {
            try {
                r.livres.emplace_back(blocos, dados);
                r.bytes += blocos * sizeof(Bloco);
                return;
            } catch (...) {
            }
        }
    }
    ::operator delete[](dados, std::align_val_t{alignof(Bloco)});
}

Campo_faixas::Campo_faixas(std::int32_t Nx, std::int32_t Ny, int L)
    : Nx_(Nx), Ny_(Ny), L_(L), numero_faixas_(contar_faixas(Ny, L)), posicoes_(Nx + 3 * L), dados_(nullptr),
      blocos_(blocos(Nx, Ny, L))
{
    dados_ = obter(blocos_);
    std::memset(static_cast<void*>(dados_), 0, blocos_ * sizeof(Bloco));
}

Campo_faixas::~Campo_faixas() { devolver(dados_, blocos_); }

Campo_faixas::Campo_faixas(const Campo_faixas& outro)
    : Nx_(outro.Nx_), Ny_(outro.Ny_), L_(outro.L_), numero_faixas_(outro.numero_faixas_), posicoes_(outro.posicoes_),
      dados_(obter(outro.blocos_)), blocos_(outro.blocos_)
{
    std::memcpy(static_cast<void*>(dados_), outro.dados_, blocos_ * sizeof(Bloco));
}

Campo_faixas::Campo_faixas(Campo_faixas&& outro) noexcept
    : Nx_(outro.Nx_), Ny_(outro.Ny_), L_(outro.L_), numero_faixas_(outro.numero_faixas_), posicoes_(outro.posicoes_),
      dados_(outro.dados_), blocos_(outro.blocos_)
{
    outro.dados_ = nullptr;
}

// Entre campos de tamanhos diferentes, troca a memória pela do tamanho do
// outro (uma cópia que só copiasse os bytes escreveria fora do campo).
Campo_faixas& Campo_faixas::operator=(const Campo_faixas& outro)
{
    if (this == &outro) return *this;
    if (blocos_ != outro.blocos_) {
        Bloco* novos = obter(outro.blocos_);
        devolver(dados_, blocos_);
        dados_ = novos;
        blocos_ = outro.blocos_;
    }
    Nx_ = outro.Nx_;
    Ny_ = outro.Ny_;
    L_ = outro.L_;
    numero_faixas_ = outro.numero_faixas_;
    posicoes_ = outro.posicoes_;
    std::memcpy(static_cast<void*>(dados_), outro.dados_, blocos_ * sizeof(Bloco));
    return *this;
}

void Campo_faixas::carregar(std::span<const double> campo)
{
    for (std::int32_t iy = 1; iy <= Ny_; ++iy) {
        int b, j;
        faixa_e_lane(iy, L_, b, j);
        for (std::int32_t ix = 1; ix <= Nx_; ++ix) lanes(b, ix + j - 1)[j] = campo[no(ix, iy, Nx_)];
    }
}

void Campo_faixas::descarregar(std::span<double> campo, int b0, int b1) const
{
    const std::int64_t primeira = std::max<std::int64_t>(2, static_cast<std::int64_t>(b0) * L_ + 2);
    const std::int64_t ultima = std::min<std::int64_t>(Ny_ - 1, static_cast<std::int64_t>(b1) * L_ + 1);
    for (std::int32_t iy = static_cast<std::int32_t>(primeira); iy <= ultima; ++iy) {
        int b, j;
        faixa_e_lane(iy, L_, b, j);
        for (std::int32_t ix = 2; ix <= Nx_ - 1; ++ix) campo[no(ix, iy, Nx_)] = lanes(b, ix + j - 1)[j];
    }
}

void Campo_faixas::exportar(int b, int j, Linha_compacta& linha) const
{
    double* saida = linha.coluna(1);
    const double* entrada = lanes(b, j) + j; // ix = 1: posição j
    for (std::int32_t ix = 0; ix < Nx_; ++ix) saida[ix] = entrada[static_cast<std::size_t>(ix) * static_cast<std::size_t>(L_)];
}

Fronteiras::Fronteiras(std::int32_t Nx, int L, std::vector<int> inicio) : inicio_(std::move(inicio))
{
    const std::size_t n = inicio_.size() - 1;
    abaixo_.assign(n, Linha_compacta(Nx, L));
    acima_.assign(n, Linha_compacta(Nx, L));
}

void Fronteiras::carregar(const Campo_faixas& campo)
{
    for (std::size_t t = 0; t + 2 < inicio_.size(); ++t) {
        campo.exportar(inicio_[t + 1] - 1, campo.linhas() - 1, abaixo_[t + 1]);
        campo.exportar(inicio_[t + 1], 0, acima_[t]);
    }
}

Vizinhas Fronteiras::vizinhas(int t, int b) const
{
    const std::size_t tt = static_cast<std::size_t>(t);
    Vizinhas v;
    if (t > 0 && b == inicio_[tt]) v.abaixo = abaixo_[tt].coluna(0);
    if (tt + 2 < inicio_.size() && b + 1 == inicio_[tt + 1]) v.acima = acima_[tt].coluna(0);
    return v;
}

void Fronteiras::publicar(const Campo_faixas& campo, int t, int b)
{
    const std::size_t tt = static_cast<std::size_t>(t);
    if (tt + 2 < inicio_.size() && b + 1 == inicio_[tt + 1]) campo.exportar(b, campo.linhas() - 1, abaixo_[tt + 1]);
    if (t > 0 && b == inicio_[tt]) campo.exportar(b, 0, acima_[tt - 1]);
}

std::vector<int> repartir(int faixas, std::int32_t Ny, int L, int n)
{
    const int partes = std::clamp(n, 1, faixas);
    const double linhas = std::max(1, Ny - 2);
    std::vector<int> inicio(static_cast<std::size_t>(partes) + 1, faixas);
    inicio[0] = 0;
    for (int t = 1; t < partes; ++t) {
        const int b = static_cast<int>(std::lround(linhas * t / (static_cast<double>(partes) * L)));
        inicio[static_cast<std::size_t>(t)] = std::clamp(b, inicio[static_cast<std::size_t>(t) - 1] + 1, faixas - (partes - t));
    }
    return inicio;
}

bool equilibrar(std::vector<int>& inicio, const std::vector<double>& ocupado)
{
    const std::size_t n = inicio.size() - 1;
    if (n < 2 || ocupado.size() < n) return false;
    std::size_t t = 0;
    for (std::size_t k = 1; k < n; ++k) {
        if (ocupado[k] > ocupado[t]) t = k;
    }
    const auto faixas_de = [&inicio](std::size_t k) { return inicio[k + 1] - inicio[k]; };
    if (faixas_de(t) < 2 || !(ocupado[t] > 0.0)) return false;
    const double sem_uma = ocupado[t] - ocupado[t] / faixas_de(t);
    double melhor = 0.95 * ocupado[t];
    std::size_t para = t;
    for (const std::size_t u : {t - 1, t + 1}) {
        if (u >= n) continue; // t - 1 com t = 0 dá o maior size_t
        const double previsto = std::max(sem_uma, ocupado[u] + ocupado[u] / faixas_de(u));
        if (previsto < melhor) melhor = previsto, para = u;
    }
    if (para == t) return false;
    if (para < t) ++inicio[t];
    else --inicio[t + 1];
    return true;
}

bool disponivel(Instrucoes conjunto)
{
    static const bool tem[] = {cpu_tem(Instrucoes::portavel), cpu_tem(Instrucoes::avx2), cpu_tem(Instrucoes::avx512)};
    return tem[static_cast<int>(conjunto)];
}

Instrucoes melhor_disponivel()
{
    for (const Instrucoes conjunto : {Instrucoes::avx512, Instrucoes::avx2}) {
        if (disponivel(conjunto)) return conjunto;
    }
    return Instrucoes::portavel;
}

const Nucleos& nucleos(Instrucoes conjunto)
{
    switch (conjunto) {
    case Instrucoes::avx512: return avx512::nucleos;
    case Instrucoes::avx2: return avx2::nucleos;
    case Instrucoes::portavel: break;
    }
    return portavel::nucleos;
}

void varrer_faixa(const Nucleos& n, Campo_faixas& phi, Campo_faixas& fonte, int b, const Coeficientes& c,
                  Vizinhas viz)
{
    n.varrer_faixa(phi.vista(), fonte.vista(), b, c, viz);
}

void varrer_faixa_com_residuos(const Nucleos& n, Campo_faixas& velho, Campo_faixas& novo, Campo_faixas* copia,
                               Campo_faixas* residuos, int b, const Coeficientes& c, double& maximo, double& soma,
                               Vizinhas viz)
{
    const Vista nenhum{nullptr, 0, 0, 0, 0};
    const Medidas m = n.varrer_faixa_com_residuos(velho.vista(), novo.vista(), copia ? copia->vista() : nenhum,
                                                  residuos ? residuos->vista() : nenhum, b, c, viz);
    if (m.maximo > maximo) maximo = m.maximo;
    soma = soma + m.soma;
}

// Quatro somas e quatro máximos alternados: as cadeias de dependência ficam
// num quarto (a ordem da soma é livre e o máximo não depende dela).
void residuos_linha_topo(const Campo_faixas& T, Campo_faixas* residuos, int b, const Coeficientes& c,
                         double& maximo, double& soma, const double* acima)
{
    const int L = T.linhas();
    const int j = L - 1;
    if (linha_da_lane(b, j, L) > T.Ny() - 1) return;
    // ix = 2; o nó seguinte fica L elementos adiante em todos.
    const double* centro = T.lanes(b, j + 1) + j;
    const double* norte = acima != nullptr ? acima + 2 : T.lanes(b + 1, 1);
    const std::size_t passo_norte = acima != nullptr ? 1 : static_cast<std::size_t>(L);
    double* saida = residuos != nullptr ? residuos->lanes(b, j + 1) + j : nullptr;
    const std::size_t passo = static_cast<std::size_t>(L);
    const std::size_t n = static_cast<std::size_t>(T.Nx() - 2);
    const auto residuo = [&](std::size_t i) {
        const double* k = centro + i * passo;
        const double r = c.aY * (norte[i * passo_norte] + k[-L - 1]) + c.aX * (k[L] + k[-L]) - c.aP * k[0];
        if (saida != nullptr) saida[i * passo] = r;
        return std::abs(r);
    };
    double s[4] = {0.0, 0.0, 0.0, 0.0};
    double m[4] = {maximo, maximo, maximo, maximo};
    std::size_t i = 0;
    for (; i + 3 < n; i += 4) {
        for (std::size_t q = 0; q < 4; ++q) {
            const double a = residuo(i + q);
            if (a > m[q]) m[q] = a;
            s[q] = s[q] + a;
        }
    }
    for (std::size_t q = 0; i < n; ++i, ++q) {
        const double a = residuo(i);
        if (a > m[q]) m[q] = a;
        s[q] = s[q] + a;
    }
    for (std::size_t q = 1; q < 4; ++q) {
        if (m[q] > m[0]) m[0] = m[q];
    }
    maximo = m[0];
    soma = soma + ((s[0] + s[1]) + (s[2] + s[3]));
}

void somar_guardados(const Campo_faixas& residuos, int b0, int b1, double& L1, double& L2)
{
    const int L = residuos.linhas();
    const std::int64_t primeira = std::max<std::int64_t>(2, static_cast<std::int64_t>(b0) * L + 2);
    const std::int64_t ultima = std::min<std::int64_t>(residuos.Ny() - 1, static_cast<std::int64_t>(b1) * L + 1);
    double soma1 = L1;
    double soma2 = L2;
    for (std::int64_t iy = primeira; iy <= ultima; ++iy) {
        int b, j;
        faixa_e_lane(static_cast<std::int32_t>(iy), L, b, j);
        const double* r = residuos.lanes(b, j + 1) + j; // ix = 2
        for (std::int32_t ix = 2; ix <= residuos.Nx() - 1; ++ix, r += L) {
            soma1 = soma1 + std::abs(*r);
            soma2 = soma2 + *r * *r;
        }
    }
    L1 = soma1;
    L2 = soma2;
}

void somar_residuos(const Campo_faixas& T, const Coeficientes& c, double& L1, double& L2)
{
    const int L = T.linhas();
    // Elemento do nó (ix, iy): inicio(iy) + ix * L.
    const auto inicio = [&T, L](std::int32_t iy) {
        int b, j;
        faixa_e_lane(iy, L, b, j);
        return T.lanes(b, j - 1) + j;
    };
    double soma1 = 0.0;
    double soma2 = 0.0;
    for (std::int32_t iy = 2; iy <= T.Ny() - 1; ++iy) {
        const double* sul = inicio(iy - 1);
        const double* centro = inicio(iy);
        const double* norte = inicio(iy + 1);
        const std::size_t passo = static_cast<std::size_t>(L);
        for (std::size_t k = 2 * passo, fim = static_cast<std::size_t>(T.Nx() - 1) * passo; k <= fim; k += passo) {
            const double r =
                c.aY * (norte[k] + sul[k]) + c.aX * (centro[k + passo] + centro[k - passo]) - c.aP * centro[k];
            soma1 = soma1 + std::abs(r);
            soma2 = soma2 + r * r;
        }
    }
    L1 = soma1;
    L2 = soma2;
}

} // namespace faixas
