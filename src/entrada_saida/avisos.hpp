// Avisos de um resultado que não é a resposta: o problema térmico que parou
// em itmax sem chegar a tol, e a malha com dx ≠ dy. Recebem o que decidem e
// devolvem o texto do aviso (vazio: nada a dizer); o relatório não muda.
#pragma once

#include <cstdint>
#include <span>
#include <string>

// Onde a documentação explica dx ≠ dy.
inline constexpr const char* secao_dx_dy = "docs/matematica.md, seção Verificação, \"Com dx ≠ dy o erro não cai\"";

// dx e dy, calculados como no driver, diferem mais que 1e-12 vezes o maior:
// o porquê, a regra (Nx-1)/Lx = (Ny-1)/Ly e o Ny mais próximo para o Nx dado.
std::string aviso_de_espacamentos(double Lx, double Ly, std::int32_t Nx, std::int32_t Ny);

// O fim da solução térmica: a parada e o que dá a queda do resíduo.
struct Termica_feita {
    double tol;
    std::int32_t it, itmax;
    std::span<const double> L1; // a história, entradas 0 a it
    double aX, aY;              // os coeficientes dos vizinhos
    std::int32_t Nx, Ny;
};

// Com tol > 0, a solução parou em it = itmax com L1(it)/L1(0) > tol. Diz a
// razão, tol e quantas iterações mais seriam precisas, pela queda observada
// no último quarto das iterações ou, se ela é mais rápida, pela do
// Gauss-Seidel nesta malha, a que o resíduo acaba tendo.
std::string aviso_de_convergencia(const Termica_feita& t);
