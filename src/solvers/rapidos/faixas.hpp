// Campo guardado em faixas inclinadas, para varrer Gauss-Seidel em frente de
// onda com vetores.
//
// A faixa b = 0, 1, ... guarda as linhas iy = b*L + 2 .. b*L + L + 1; a
// linha 1 fica na última lane da faixa -1 e a linha Ny na faixa que a
// contiver (a última ou a faixa extra depois dela). O nó (ix, linha j da
// faixa) fica na posição p = ix + j - 1, lane j: a linha j anda uma coluna
// atrás da linha j-1, de modo que todos os nós de uma posição são
// independentes dentro de uma varredura e cada passo da frente de onda é uma
// leitura alinhada. Fora da malha tudo é zero, com margens nas posições.
//
// As Nx + 3L posições de cada faixa vão de -L a Nx + 2L - 1. Os nós ocupam
// de 0 a Nx + L - 2 (p = ix + j - 1, ix = 1..Nx, j = 0..L-1). A varredura da
// faixa b, nos passos s = 1 a Nx + L - 2 (o último só para os resíduos), lê
// a faixa de cima L - 1 posições atrás (a lane 0 dela está L - 1 colunas
// adiantada: até p = 2 - L) e a de baixo L - 1 posições à frente (até
// p = Nx + 2L - 3), além do leste em s + 1: L posições de margem antes dos
// nós e L + 1 depois bastam.
#pragma once

#include "solvers/rapidos/nucleos/nucleos_faixas.hpp"
#include "solvers/solvers_rapidos.hpp"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace faixas {

using rapido::Instrucoes;

class Linha_compacta;

class Campo_faixas {
public:
    // Faixas de L linhas (as dos núcleos).
    Campo_faixas(std::int32_t Nx, std::int32_t Ny, int L);
    ~Campo_faixas();
    Campo_faixas(const Campo_faixas& outro);
    Campo_faixas(Campo_faixas&& outro) noexcept;
    Campo_faixas& operator=(const Campo_faixas& outro);
    Campo_faixas& operator=(Campo_faixas&&) = delete;

    void carregar(std::span<const double> campo);
    // Copia de volta só os nós interiores (das faixas b0 a b1-1).
    void descarregar(std::span<double> campo) const { descarregar(campo, 0, numero_faixas_); }
    void descarregar(std::span<double> campo, int b0, int b1) const;

    std::int32_t Nx() const { return Nx_; }
    std::int32_t Ny() const { return Ny_; }
    int linhas() const { return L_; }
    int numero_faixas() const { return numero_faixas_; }
    // Memória de um campo, sem criá-lo.
    static std::size_t bytes(std::int32_t Nx, std::int32_t Ny, int L);

    // As L lanes da posição p da faixa b (b de -1 a numero_faixas()).
    double* lanes(int b, int p) { return dados_->elemento + primeira_lane(b, p); }
    const double* lanes(int b, int p) const { return dados_->elemento + primeira_lane(b, p); }

    // A linha da lane j da faixa b, coluna a coluna (de 1 a Nx), em `linha`.
    void exportar(int b, int j, Linha_compacta& linha) const;

    // O campo como os núcleos vetoriais o veem.
    Vista vista() { return {dados_->elemento, Nx_, Ny_, numero_faixas_, posicoes_}; }

private:
    // Oito doubles numa linha de cache: o armazenamento, alinhado.
    struct alignas(64) Bloco {
        double elemento[8];
    };

    static int contar_faixas(std::int32_t Ny, int L);
    static std::size_t blocos(std::int32_t Nx, std::int32_t Ny, int L);
    static Bloco* obter(std::size_t blocos);
    static void devolver(Bloco* dados, std::size_t blocos) noexcept;

    // Quantos doubles depois do começo do armazenamento está a lane 0 da
    // posição p da faixa b.
    std::size_t primeira_lane(int b, int p) const
    {
        const std::size_t grupo = static_cast<std::size_t>(b + 1) * static_cast<std::size_t>(posicoes_) +
                                  static_cast<std::size_t>(p + L_);
        return grupo * static_cast<std::size_t>(L_);
    }

    std::int32_t Nx_;
    std::int32_t Ny_;
    int L_;
    int numero_faixas_;
    int posicoes_;
    Bloco* dados_;
    std::size_t blocos_;
};

// Uma linha do campo em ordem de coluna, com zeros fora da malha (ver
// Vizinhas): a fronteira entre as faixas de duas threads passa de um núcleo
// ao outro em Nx/8 linhas de cache em vez de Nx (no arranjo em faixas, cada
// nó de uma linha fica numa linha de cache diferente). Lida direto das
// faixas vizinhas, a primeira faixa de cima levava várias vezes o tempo de
// uma faixa do meio (bancada curta, 201 x 201, duas threads).
class Linha_compacta {
public:
    Linha_compacta(std::int32_t Nx, int L)
        : margem_(2 * static_cast<std::size_t>(L)),
          dados_(static_cast<std::size_t>(Nx) + 1 + 2 * margem_, 0.0)
    {
    }
    double* coluna(std::int32_t ix) { return dados_.data() + margem_ + static_cast<std::size_t>(ix); }
    const double* coluna(std::int32_t ix) const { return dados_.data() + margem_ + static_cast<std::size_t>(ix); }

private:
    std::size_t margem_;
    std::vector<double> dados_;
};

// As linhas das fronteiras de um campo entre as faixas de threads
// (`inicio`, de repartir): a thread t lê a linha de cima da última faixa da
// thread t-1 e a linha de baixo da primeira faixa da t+1 daqui, não do
// campo. Quem varre uma faixa da fronteira publica a linha dela logo depois;
// a tubulação garante que ninguém ainda lê a versão anterior.
class Fronteiras {
public:
    Fronteiras(std::int32_t Nx, int L, std::vector<int> inicio);

    // As linhas do campo como está (antes de um lote).
    void carregar(const Campo_faixas& campo);
    // As vizinhas da faixa b da thread t: nulas fora das fronteiras.
    Vizinhas vizinhas(int t, int b) const;
    // Depois de a thread t varrer a faixa b: as linhas que as vizinhas leem.
    void publicar(const Campo_faixas& campo, int t, int b);
    // A linha de cima da última faixa da thread t (de acima(t)).
    const double* acima(int t) const { return acima_[static_cast<std::size_t>(t)].coluna(0); }

private:
    std::vector<int> inicio_;
    std::vector<Linha_compacta> abaixo_, acima_; // por thread
};

// As faixas de cada uma de n threads, contíguas e com quase o mesmo número
// de linhas interiores: a thread t fica com as faixas inicio[t] a
// inicio[t+1]-1. Não mais threads que faixas: o tamanho é min(n, faixas) + 1.
std::vector<int> repartir(int faixas, std::int32_t Ny, int L, int n);

// Passa uma faixa da thread mais ocupada no último lote (ocupado[t]: o tempo
// dela fora das esperas) para a vizinha, se o tempo previsto da mais lenta
// das duas (cada uma com o seu tempo por faixa) cair mais de 5 %. As CPUs
// de uma máquina não andam todas iguais (numa máquina virtual, a mesma
// varredura leva tempos bem diferentes em CPUs diferentes), e a margem
// evita ir e voltar por ruído. Devolve se mudou.
bool equilibrar(std::vector<int>& inicio, const std::vector<double>& ocupado);

// A CPU executa os núcleos desse conjunto.
bool disponivel(Instrucoes conjunto);
// O melhor conjunto disponível, escolhido uma vez.
Instrucoes melhor_disponivel();

const Nucleos& nucleos(Instrucoes conjunto);

// Uma varredura da faixa b com termo fonte; ver Nucleos.
void varrer_faixa(const Nucleos& n, Campo_faixas& phi, Campo_faixas& fonte, int b, const Coeficientes& c,
                  Vizinhas viz = {});

// Uma varredura da faixa b sem fonte, de `velho` para `novo` (o mesmo campo
// ou outro); o maior |r| dos nós da faixa, menos os da linha de cima, entra
// em `maximo` (que só cresce) e a soma dos |r| em `soma`, em ordem qualquer.
// Com `copia`, os valores velhos da faixa são guardados nela; com
// `residuos`, os resíduos (os da linha de cima saem depois).
void varrer_faixa_com_residuos(const Nucleos& n, Campo_faixas& velho, Campo_faixas& novo, Campo_faixas* copia,
                               Campo_faixas* residuos, int b, const Coeficientes& c, double& maximo, double& soma,
                               Vizinhas viz = {});

// Os resíduos da linha de cima da faixa b, depois de varrida a faixa b+1:
// no máximo e na soma, como acima, e em `residuos` se dado; a linha de cima
// vem de `acima` (Vizinhas) se não for nulo.
void residuos_linha_topo(const Campo_faixas& T, Campo_faixas* residuos, int b, const Coeficientes& c,
                         double& maximo, double& soma, const double* acima = nullptr);

// L1 e L2 dos resíduos guardados nas faixas b0 a b1-1, somados em série na
// ordem dos nós, como em norma_L1 e norma_L2, a partir dos valores que L1 e
// L2 já têm: as faixas em ordem, cada trecho começando de onde o anterior
// parou, dão a soma inteira, bit a bit.
void somar_guardados(const Campo_faixas& residuos, int b0, int b1, double& L1, double& L2);

// L1 e L2 do campo como as somam norma_L1 e norma_L2: r de cada nó interior
// na ordem dos nós, |r| e r*r somados em série.
void somar_residuos(const Campo_faixas& T, const Coeficientes& c, double& L1, double& L2);

} // namespace faixas
