// Conferência dos solvers rápidos contra os de referência, sem o
// GoogleTest: a usam tests/teste_solvers_rapidos.cpp e o conferir_solvers,
// que roda também no executável do Windows (no wine ou numa máquina de
// aluno). Cada diferença é descrita pelo caso, pelo primeiro índice que
// difere e pelos dois valores.
#pragma once

#include "solvers/rapidos/ajustes.hpp"
#include "solvers/solvers.hpp"
#include "solvers/solvers_rapidos.hpp"

#include <cfenv>
#include <cstdint>
#include <functional>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace conferencia {

constexpr int excecoes_fatais = FE_DIVBYZERO | FE_OVERFLOW | FE_INVALID;

// "" se iguais bit a bit; senão o nome, o primeiro índice que difere e os
// dois valores (ou os tamanhos).
std::string diferenca(const char* nome, const std::vector<double>& rapido, const std::vector<double>& referencia);

struct Coeficientes {
    double aP, aX, aY;
};

struct Caso {
    std::int32_t Nx = 3, Ny = 3;
    Coeficientes c{4, 1, 1};
    std::vector<double> campo, fonte;
};

class Gerador {
public:
    explicit Gerador(std::uint64_t semente) : motor_(semente) {}

    int inteiro(int a, int b) { return std::uniform_int_distribution<int>(a, b)(motor_); }
    double real(double a, double b) { return std::uniform_real_distribution<double>(a, b)(motor_); }

    // Coeficientes das equações do programa (térmica, u ou v) para a malha,
    // ou quaisquer, com |aP| entre 0,9 e 3 vezes 2(|aX| + |aY|).
    Coeficientes coeficientes(std::int32_t Nx, std::int32_t Ny);
    std::vector<double> campo(std::int32_t Nx, std::int32_t Ny);
    Caso caso(int maior_lado) { return caso(maior_lado, maior_lado); }
    Caso caso(int maior_Nx, int maior_Ny);

private:
    std::mt19937_64 motor_;
};

struct Termica {
    std::vector<double> T, L1, L2, Linf;
    std::int32_t it = -5;
    int excecoes = 0;
    rapido::Percurso percurso; // nenhum na referência
};

using Funcao_laplace = rapido::Percurso (*)(double, double, double, std::int32_t, double, std::int32_t, std::int32_t,
                                            std::span<double>, std::span<double>, std::span<double>, std::int32_t&,
                                            std::span<double>, std::int32_t);
using Funcao_fonte = rapido::Percurso (*)(double, double, double, std::span<const double>, std::int32_t, std::int32_t,
                                          std::int32_t, std::span<double>);

// As de referência com a assinatura das rápidas (a térmica não conhece o
// passo do histórico).
rapido::Percurso laplace_referencia(double aP, double aX, double aY, std::int32_t itmax, double tol, std::int32_t Nx,
                                    std::int32_t Ny, std::span<double> L1, std::span<double> L2,
                                    std::span<double> Linf, std::int32_t& it, std::span<double> T, std::int32_t);
rapido::Percurso fonte_referencia(double aP, double aX, double aY, std::span<const double> S, std::int32_t nsweeps,
                                  std::int32_t Nx, std::int32_t Ny, std::span<double> phi);

// Entrada 0 medida pela referência, como no driver; o resto das histórias
// com um valor que não pode aparecer, para ver o que foi escrito.
Termica resolver(Funcao_laplace gs, const Caso& k, std::int32_t itmax, double tol, std::int32_t passo = 1);

struct Deslocamento {
    std::vector<double> phi;
    int excecoes = 0;
    rapido::Percurso percurso;
};

Deslocamento varrer(Funcao_fonte gs, const Caso& k, std::int32_t nsweeps);

// Diferenças entre o solver rápido (com essas threads) e a referência, ""
// se nenhuma. Na térmica, bit a bit: T, it, Linf inteira, e as entradas de L1
// e L2 que o relatório lista (listadas.hpp) e as de depois de it, que ficam
// como estavam; nas outras, o limite do contrato de gs_laplace. E o caminho
// que o rápido tomou: se as faixas não resolvem o caso, nada dos núcleos foi
// conferido.
std::string diferencas_termica(const Caso& k, std::int32_t itmax, double tol, int threads, std::int32_t passo = 1,
                               rapido::Caminho esperado = rapido::Caminho::faixas);
// O mesmo, com a solução de referência já calculada (a mesma para qualquer passo).
std::string diferencas_termica(const Termica& ref, const Caso& k, std::int32_t itmax, double tol, int threads,
                               std::int32_t passo, rapido::Caminho esperado = rapido::Caminho::faixas);
// Sem varreduras (nsweeps <= 0), o caminho é nenhum.
std::string diferencas_fonte(const Caso& k, std::int32_t nsweeps, int threads,
                             rapido::Caminho esperado = rapido::Caminho::faixas);

// tol que para na varredura 2, que nunca para, que exige resíduo zero, ou
// igual à razão da referência numa varredura (a igualdade para), ou um ulp
// acima ou abaixo dela, ou longe das razões, entre a de uma varredura e a da
// anterior.
double tolerancia(Gerador& g, const Caso& k, std::int32_t itmax);

constexpr int threads_testadas[] = {1, 2, 3, 5, 8};
constexpr std::int32_t passos_testados[] = {1, 2, 7, 1000, -3};

// Os casos aleatórios (malhas de 3 a 70 nós de lado, tol, passos e threads
// das tabelas acima) com o conjunto de instruções em uso; `falha` recebe a
// descrição de cada caso diferente. Devolvem quantos diferiram.
using Relato = std::function<void(const std::string&)>;
int laplace_aleatorios(int casos, const Relato& falha);
int fonte_aleatorios(int casos, const Relato& falha);

} // namespace conferencia
