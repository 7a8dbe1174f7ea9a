#include "parada.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace parada {

Certificado::Certificado(double L1_0, double tol, std::int32_t Nx, std::int32_t Ny) : L1_0_(L1_0), tol_(tol)
{
    constexpr double u = 0x1p-53;
    const double n = (Nx - 2.0) * (Ny - 2.0);
    const double gama = (n - 1.0) * u / (1.0 - (n - 1.0) * u);
    fator_alto_ = 1.0 + (3.0 * gama + 4.0 * u);
    fator_baixo_ = 1.0 - (3.0 * gama + 4.0 * u);
    valido_ = std::isfinite(L1_0_) && std::isgreater(L1_0_, 0.0) && !std::isnan(tol_);
    limite_maximo_ = std::sqrt(std::numeric_limits<double>::max() / (4.0 * n));
    // O clamp não muda nada aqui (0 < L1_0_ < 1), mas o Clang adianta a
    // multiplicação para antes da escolha, e com L1_0_ grande ela estouraria
    // sem a referência estourar.
    limite_soma_ = valido_ && L1_0_ < 1.0 ? std::clamp(L1_0_, 0.0, 1.0) * 0x1p1000 : std::numeric_limits<double>::max();
}

Veredito Certificado::veredito(std::int32_t m, double soma_rapida, double maximo) const
{
    if (!valido_ || !std::islessequal(maximo, limite_maximo_) || !std::islessequal(soma_rapida, limite_soma_)) {
        return Veredito::incerto;
    }
    if (m < 2) return Veredito::seguir;
    constexpr double folga = 0x1p-1020; // cobre os erros absolutos no subnormal
    const double q = soma_rapida / L1_0_;
    if (q * fator_alto_ + folga <= tol_) return Veredito::parar;
    if (q * fator_baixo_ - folga > tol_) return Veredito::seguir;
    return Veredito::incerto;
}

Decisor::Decisor(double L1_0, double tol, std::int32_t itmax, std::int32_t Nx, std::int32_t Ny)
    : certificado_(L1_0, tol, Nx, Ny), itmax_(itmax)
{
}

// Como na referência, a divisão por L1(0) e a comparação com tol usam as
// somas em série; sem elas, vale o veredito do certificado.
Decisao Decisor::decidir(const Varredura& v, const std::function<Somas()>& somar_campo) const
{
    const Veredito veredito = certificado_.veredito(v.m, v.soma, v.maximo);
    const bool exatas = v.listada || veredito == Veredito::incerto;
    Decisao d;
    d.L1 = v.soma;
    d.Linf = v.maximo;
    if (exatas) {
        if (!v.em_serie && !v.campo_exato) return Decisao{};
        const Somas s = v.em_serie ? *v.em_serie : somar_campo();
        d.L1 = s.L1;
        d.L2 = s.L2;
        d.com_L2 = true;
    }
    bool parar;
    if (v.m < 2) parar = false;
    else if (exatas) parar = d.L1 / certificado_.L1_0() <= certificado_.tol();
    else parar = veredito == Veredito::parar;
    if (parar || v.m >= itmax_) {
        // A linha de it é listada: leva as somas em série, do campo dela.
        if (!v.campo_exato) return Decisao{};
        if (!exatas) {
            const Somas s = somar_campo();
            d.L1 = s.L1;
            d.L2 = s.L2;
            d.com_L2 = true;
        }
        d.rumo = Rumo::parar;
        return d;
    }
    d.razao = v.soma / certificado_.L1_0();
    d.rumo = Rumo::seguir;
    return d;
}

} // namespace parada
