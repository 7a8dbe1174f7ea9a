// A decisão de parar da solução térmica em faixas, varredura a varredura:
// das medidas que as faixas deixaram, o que entra nas histórias e se a
// solução segue, para ou refaz o lote. Não espera nem grava nada: quem
// decide (a thread do topo, termica_rapida.cpp) grava o que sai daqui.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace parada {

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
    Certificado(double L1_0, double tol, std::int32_t Nx, std::int32_t Ny);

    // Na varredura 1 não há teste, mas a referência soma em série do mesmo
    // jeito: perto do estouro, incerto também.
    Veredito veredito(std::int32_t m, double soma_rapida, double maximo) const;

    bool valido() const { return valido_; }
    double L1_0() const { return L1_0_; }
    double tol() const { return tol_; }

private:
    double L1_0_, tol_;
    double fator_alto_ = 1.0, fator_baixo_ = 1.0;
    double limite_maximo_ = 0.0, limite_soma_ = 0.0;
    bool valido_ = false;
};

struct Somas {
    double L1 = 0.0, L2 = 0.0;
};

// O que a varredura m deixou para a decisão.
struct Varredura {
    std::int32_t m = 0;
    double soma = 0.0;   // a soma rápida dos |r| de todas as faixas
    double maximo = 0.0; // o maior |r| delas (um NaN não entra)
    // As somas em série dos resíduos guardados, que só as linhas listadas têm.
    std::optional<Somas> em_serie;
    bool listada = false;     // a linha m da história vai para o relatório
    bool campo_exato = false; // o campo vivo é o da varredura m: ninguém varreu além dela
};

enum class Rumo { seguir, parar, refazer };

// Com refazer (a decisão pede o campo da varredura m, que já mudou), nada a
// gravar: o lote é refeito com uma thread até m.
struct Decisao {
    Rumo rumo = Rumo::refazer;
    double L1 = 0.0;      // entrada m de L1: a soma em série ou, se não houve, a rápida
    double L2 = 0.0;      // entrada m de L2, só com com_L2
    bool com_L2 = false;  // houve soma em série; senão L2(m) fica como estava
    double Linf = 0.0;    // entrada m de Linf
    double razao = 0.0;   // ao seguir: soma rápida / L1(0), para prever a parada
};

class Decisor {
public:
    Decisor(double L1_0, double tol, std::int32_t itmax, std::int32_t Nx, std::int32_t Ny);

    // Sem L1(0) e tol que o certificado aceite, nada se decide pela soma
    // rápida: quem varre não deve se adiantar à decisão.
    bool certificavel() const { return certificado_.valido(); }

    // somar_campo dá as somas em série do campo vivo; só é chamada com
    // v.campo_exato, e só quando a decisão ou a linha de it precisam delas.
    Decisao decidir(const Varredura& v, const std::function<Somas()>& somar_campo) const;

private:
    Certificado certificado_; // com L1(0) e tol
    std::int32_t itmax_;
};

} // namespace parada
