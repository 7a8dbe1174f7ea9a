// A tubulação de um lote da solução térmica: as varreduras do lote nas
// faixas de cada thread (tubulacao.hpp), as medidas dos resíduos, as somas
// em série das linhas listadas e a decisão de cada varredura (parada.hpp),
// gravada nas histórias. As threads seguem varrendo antes da decisão sobre
// as varreduras anteriores; quando ela para, ou pede o campo de uma
// varredura já passada, antes do fim do lote, o lote é interrompido e quem o
// rodou o refaz (termica_rapida.cpp).
//
// Invariantes das passagens daqui (as das faixas estão em tubulacao.hpp):
// - Os resíduos da linha de cima da última faixa da thread t (menos a do
//   topo) precisam da faixa de cima já varrida: saem na varredura seguinte,
//   logo antes de ela sobrescrever essa faixa, depois da espera por ela; só
//   então as medidas da thread para aquela varredura estão completas, e ela
//   publica parciais_[t]. No fim do lote saem depois da última varredura.
// - Numa linha listada m, a thread t soma em série os seus resíduos depois
//   da sua parte da varredura m+1, a partir dos valores que a thread t-1
//   deixou nas somas da vaga (aquisição em somadas_[t-1]), e publica
//   somadas_[t].
// - Decide quem varre o topo (a última thread), com uma varredura de atraso
//   (depois da sua parte da m+1 e da sua parte das somas), depois de ver
//   parciais_ de todas: as decisões saem em ordem, na thread dela, e as
//   entradas das histórias só são escritas por ela. Uma thread só começa a
//   varredura m depois de decidida_ >= m - D: as medidas, as somas e os
//   resíduos guardados de uma varredura ficam numa vaga (m mod D) que só é
//   reaproveitada depois da decisão que os leu. D = threads + 2: a thread de
//   baixo anda no máximo threads - 1 varreduras à frente da do topo, que
//   decide com uma de atraso.
// - Parar (ou não poder decidir sem o campo) antes do fim do lote interrompe
//   a tubulação (e anota até onde refazer) antes de publicar decidida_ no
//   máximo; quem sai publica o máximo também em parciais_ e somadas_, e
//   ninguém espera para sempre.
#pragma once

#include "solvers/listadas.hpp"
#include "equipe.hpp"
#include "faixas.hpp"
#include "parada.hpp"
#include "tubulacao.hpp"

#include <cstdint>
#include <span>
#include <vector>

namespace rapido {

// O que uma varredura em andamento deixa para a decisão, numa vaga (m mod D):
// as medidas de cada thread, as somas em série e os resíduos guardados.
class Vagas {
public:
    Vagas(int threads, int vagas, int residuos, std::int32_t Nx, std::int32_t Ny, int L);

    faixas::Medidas& medidas(int t, std::int32_t m)
    {
        return medidas_[static_cast<std::size_t>(t * (vagas_ + separacao)) + vaga(m)];
    }
    parada::Somas& somas(std::int32_t m) { return somas_[vaga(m)]; }
    // Onde a varredura m guarda os resíduos: só as listadas guardam.
    faixas::Campo_faixas* residuos(std::int32_t m, bool listada)
    {
        if (residuos_.empty() || !listada) return nullptr;
        return &residuos_[static_cast<std::size_t>(m) % residuos_.size()];
    }

private:
    std::size_t vaga(std::int32_t m) const { return static_cast<std::size_t>(m % vagas_); }

    // Medidas sem uso entre as de duas threads (8 x 16 = 128 bytes): cada
    // uma escreve as suas em linhas de cache que nenhuma outra escreve.
    static constexpr int separacao = 8;
    int vagas_;
    std::vector<faixas::Medidas> medidas_; // por thread e vaga
    std::vector<parada::Somas> somas_;     // por vaga, até onde as threads somaram
    std::vector<faixas::Campo_faixas> residuos_;
};

// Onde cada varredura m grava as suas normas: a entrada m das histórias
// L1, L2 e Linf da solução, com a entrada 0 já medida.
struct Normas_por_varredura {
    std::span<double> L1, L2, Linf;
};

class Tubulacao_termica {
public:
    // Para até `threads` threads, sobre o campo vivo `campo`, com os núcleos
    // das faixas dele.
    Tubulacao_termica(const faixas::Nucleos& nucleos, const faixas::Coeficientes& c, std::int32_t itmax, double tol,
                      std::int32_t passo_hist, faixas::Campo_faixas& campo, int threads, Normas_por_varredura h);

    // Campos de resíduos guardados com essas threads: nenhum sem linhas
    // listadas até itmax; com várias threads e listadas a menos de D
    // varreduras uma da outra, um por vaga (várias em andamento juntas);
    // senão um.
    static int campos_de_residuos(int threads, std::int32_t passo, std::int32_t itmax);

    bool certificavel() const { return decisor_.certificavel(); }

    // Antes de um lote, com ninguém trabalhando: as varreduras inicio a fim,
    // com as faixas de cada thread `inicio_faixas` e, com mais de uma
    // thread, as fronteiras já carregadas.
    void preparar(std::int32_t inicio, std::int32_t fim, const std::vector<int>& inicio_faixas,
                  faixas::Fronteiras* fronteiras);
    // As varreduras da thread t no lote.
    void trabalhar(int t);

    // Depois do lote: se parou (em it()), se precisa ser refeito com uma
    // thread até refazer_ate(), e o tempo de cada thread fora das esperas.
    bool parou() const { return parou_; }
    std::int32_t it() const { return it_; }
    bool refazer() const { return refazer_; }
    std::int32_t refazer_ate() const { return refazer_ate_; }
    const std::vector<double>& ocupado() { return tub_.ocupado(); }
    // A razão rápida L1(m)/L1(0) da última decisão de seguir.
    double ultima_razao() const { return razao_; }

private:
    void trabalhar_lote(int t);
    void fechar_lote(int t);
    bool listada(std::int32_t m) const { return listadas::multiplo_do_passo(m, passo_); }
    bool varrer(int t, std::int32_t m);
    bool somar_parte(int t, std::int32_t m);
    void linha_de_cima(int t, std::int32_t m, int b);
    bool decidir(std::int32_t m);
    bool registrar(std::int32_t m, const parada::Decisao& d);

    const faixas::Nucleos& nucleos_;
    faixas::Coeficientes c_;
    std::int32_t passo_;
    parada::Decisor decisor_;
    Normas_por_varredura h_;
    faixas::Campo_faixas& campo_; // o campo vivo, varrido no lugar
    int D_;                       // vagas: varreduras começadas e não decididas, no máximo
    Vagas vagas_;
    Tubulacao tub_;
    faixas::Fronteiras* fronteiras_ = nullptr; // com mais de uma thread
    std::int32_t inicio_ = 1, fim_ = 0;        // as varreduras do lote
    std::vector<equipe::Contador> parciais_;   // por thread: a última varredura com medidas completas
    std::vector<equipe::Contador> somadas_;    // por thread: a última linha listada com a parte dela somada
    equipe::Contador decidida_;                // a última varredura decidida
    std::int32_t it_ = 0;
    double razao_ = 0.0;
    bool parou_ = false;
    bool refazer_ = false;
    std::int32_t refazer_ate_ = 0; // com refazer_: a varredura em que a decisão pediu o campo
};

} // namespace rapido
