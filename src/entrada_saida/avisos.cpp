#include "entrada_saida/avisos.hpp"

#include "entrada_saida/arquivos.hpp"

#include <algorithm>
#include <cfenv>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

constexpr double mesma_medida = 1e-12;

// As contas de um aviso não deixam indicador de falha aritmética ligado: o
// aviso da convergência sai no meio do cálculo, e um indicador dele viraria
// uma falsa "falha aritmética" no fim.
class Indicadores_intactos {
public:
    Indicadores_intactos() { std::fegetexceptflag(&antes_, FE_ALL_EXCEPT); }
    ~Indicadores_intactos() { std::fesetexceptflag(&antes_, FE_ALL_EXCEPT); }
    Indicadores_intactos(const Indicadores_intactos&) = delete;
    Indicadores_intactos& operator=(const Indicadores_intactos&) = delete;

private:
    std::fexcept_t antes_;
};
constexpr long long maior_inteiro = std::numeric_limits<std::int32_t>::max();

// Com `algarismos` significativos (0: o mais curto que volta ao mesmo double).
std::string numero(double valor, int algarismos = 0)
{
    char texto[48];
    const auto fim = algarismos == 0 ? std::to_chars(texto, texto + sizeof texto, valor).ptr
                                     : std::to_chars(texto, texto + sizeof texto, valor, std::chars_format::general,
                                                     algarismos)
                                           .ptr;
    return std::string(texto, fim);
}

double espacamento(double L, long long nos) { return L / (static_cast<double>(nos) - 1.0); }

bool iguais(double a, double b) { return !(std::abs(a - b) > mesma_medida * std::max(a, b)); }

// Os nós na outra direção que dão o espaçamento mais próximo de L/(n-1); 0 se
// ficam fora de 3 a 2147483647.
long long mais_proximo(double L, long long n, double L_outra)
{
    const double ideal = (static_cast<double>(n) - 1.0) * L_outra / L + 1.0;
    if (!(ideal >= 2.5 && ideal < static_cast<double>(maior_inteiro))) return 0;
    return std::llround(ideal);
}

// Para dx = dy: o Ny mais próximo para o Nx dado (ou, quando esse Ny seria
// menor que 3, o Nx para o Ny dado) e, se ele não dá dx = dy, o primeiro par
// exato com até o dobro de nós.
std::string sugestao(double Lx, double Ly, std::int32_t Nx, std::int32_t Ny)
{
    const bool em_y = mais_proximo(Lx, Nx, Ly) != 0;
    const double L = em_y ? Lx : Ly, L_outra = em_y ? Ly : Lx;
    const long long n = em_y ? Nx : Ny, atual = em_y ? Ny : Nx;
    const char* nome = em_y ? "Nx" : "Ny";
    const char* outro = em_y ? "Ny" : "Nx";
    const long long m = mais_proximo(L, n, L_outra);
    if (m == 0) return "";
    const double h = espacamento(L, n), h_outra = espacamento(L_outra, m);
    std::string texto = std::string("com ") + nome + " = " + std::to_string(n) + ", ";
    if (iguais(h, h_outra)) return texto + "use " + outro + " = " + std::to_string(m);
    const std::string razao = em_y ? "dy/dx = " + numero(h_outra / h, 4) : "dx/dy = " + numero(h_outra / h, 4);
    texto += m == atual ? std::string("nenhum ") + outro + " dá dx = dy, e o mais próximo é o seu, " + std::to_string(m) +
                              " (" + razao + ")"
                        : std::string("o ") + outro + " mais próximo é " + std::to_string(m) + " (" + razao + ")";
    for (long long k = n + 1; k < 2 * n && k - n <= 100000; ++k) {
        const long long j = mais_proximo(L, k, L_outra);
        if (j != 0 && iguais(espacamento(L, k), espacamento(L_outra, j))) {
            return texto + "; " + nome + " = " + std::to_string(k) + " e " + outro + " = " + std::to_string(j) +
                   " dão dx = dy";
        }
    }
    return texto;
}

// Para cima, com dois algarismos significativos: 1234 -> 1300.
long long arredondar_para_cima(long long n)
{
    long long passo = 1;
    while (n / passo >= 100) passo *= 10;
    return (n + passo - 1) / passo * passo;
}

// Com dois algarismos significativos: 1234 -> 1200.
long long arredondar(long long n)
{
    long long passo = 1;
    while (n / passo >= 100) passo *= 10;
    return (n + passo / 2) / passo * passo;
}

} // namespace

std::string aviso_de_espacamentos(double Lx, double Ly, std::int32_t Nx, std::int32_t Ny)
{
    const Indicadores_intactos indicadores;
    const double dx = espacamento(Lx, Nx), dy = espacamento(Ly, Ny);
    if (iguais(dx, dy)) return "";
    std::string texto = "dx = " + numero(dx, 6) + " e dy = " + numero(dy, 6) +
                        " diferem: com dx ≠ dy, o esquema térmico converge para a solução de outra equação, e o "
                        "erro contra a solução analítica não cai quando a malha é refinada. Para dx = dy, escolha "
                        "(Nx-1)/Lx = (Ny-1)/Ly";
    const std::string s = sugestao(Lx, Ly, Nx, Ny);
    if (!s.empty()) texto += ": " + s;
    return texto + " (ver " + secao_dx_dy + ")";
}

std::string aviso_de_convergencia(const Termica_feita& t)
{
    const Indicadores_intactos indicadores;
    if (!(t.tol > 0.0) || t.it < t.itmax || t.it < 1) return "";
    const double razao = t.L1[static_cast<std::size_t>(t.it)] / t.L1[0];
    if (!(razao > t.tol)) return "";
    std::string texto = "o problema térmico não convergiu: depois de itmax = " + std::to_string(t.itmax) +
                        (t.itmax == 1 ? " iteração" : " iterações") + ", L1(it)/L1(0) = " + numero(razao, 3) + ", acima de tol = " + numero(t.tol);
    const std::int32_t janela = std::max(1, t.it / 4);
    const double antes = t.L1[static_cast<std::size_t>(t.it - janela)] / t.L1[0];
    const double log_observada = std::log(razao / antes) / janela;
    const std::string ultimas = janela == 1 ? "na última iteração" : "nas últimas " + std::to_string(janela) + " iterações";
    if (!(log_observada < 0.0)) {
        return texto + "; o resíduo não caiu " + ultimas + ", e aumentar itmax talvez não adiante: confira tol";
    }
    // Raio espectral do Gauss-Seidel: o quadrado do de Jacobi, cujo modo mais
    // lento é o primeiro seno nas duas direções; 1 - rho_J sem cancelamento.
    const double pi = std::acos(-1.0);
    const double sx = std::sin(pi / (2.0 * (t.Nx - 1))), sy = std::sin(pi / (2.0 * (t.Ny - 1)));
    const double um_menos_rho_J = (2.0 * t.aX * sx * sx + 2.0 * t.aY * sy * sy) / (t.aX + t.aY);
    const double log_assintotica = 2.0 * std::log1p(-um_menos_rho_J);
    const double log_queda = std::max(log_observada, log_assintotica);
    const double faltam = std::ceil(std::log(t.tol / razao) / log_queda);
    if (!(faltam + t.it <= static_cast<double>(maior_inteiro))) {
        return texto + "; seriam precisas mais iterações que o maior itmax (" + std::to_string(maior_inteiro) +
               "): aumente tol ou use menos nós";
    }
    const long long n = static_cast<long long>(faltam);
    return texto + "; aumente itmax em " + arquivos::entrada + ": pela queda do resíduo nesta malha, faltam umas " +
           std::to_string(arredondar(n)) + " iterações (itmax de uns " +
           std::to_string(std::min(arredondar_para_cima(t.it + n), maior_inteiro)) + ")";
}
