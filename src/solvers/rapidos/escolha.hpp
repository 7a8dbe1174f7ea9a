// Lote a lote, n threads ou uma, pela carga da máquina.
//
// Com outro processo ocupando as CPUs, a thread que o sistema tira da CPU
// segura as outras, que só podem dormir nas esperas: sob carga, n threads
// andam muitas vezes mais devagar que uma. Por isso a Escolha olha, em cada
// lote, o tempo dele e se alguma espera dormiu (equipe::dormidas): as
// esperas giram mais que o tempo de acordar uma thread, e só dormem se a
// esperada saiu da CPU. Num lote de teste, curto, pesa mais o começo; é por
// isso que as esperas dormidas decidem antes do tempo. Os bits nunca
// dependem da escolha.
//
// As regras (os nomes entre parênteses são as constantes de escolha.cpp,
// com os valores e os motivos):
// 1. Com uma thread só (n <= 1), lotes inteiros, sem aquecer nem testar.
// 2. Uma fase começa com um lote curto com n threads (divisor_aquecer), que
//    aquece caches e páginas e não conta, e depois testa n.
// 3. Numa fase longa que começa com as CPUs tomadas por outros processos,
//    um lote com uma thread antes do teste de n.
// 4. O teste de n é um lote curto (divisor_teste_visivel ou _cego). Se
//    nenhuma espera dormiu nele, n ganha; se alguma dormiu, n perde só se
//    andou mais devagar que o último lote com uma thread, além da margem
//    (margem_do_teste). Sem lote com uma na fase, um lote de teste com uma
//    thread dá o tempo dela.
// 5. Depois de perder, lotes inteiros com uma thread e outro teste:
//    castigo_inicial lotes depois da primeira derrota, o dobro depois de
//    cada derrota seguida, até castigo_maximo. Uma vitória volta ao inicial.
// 6. Enquanto o sistema mostra as CPUs tomadas, o teste de n fica para
//    dali a `adiamento` lotes.
// 7. Com n, depois de um lote em que alguma espera dormiu, lotes curtos
//    (divisor_alerta). Cada lote com espera dormida logo depois de outro
//    gasta um lote da folga; o que a esgota leva a um lote inteiro com uma
//    thread e a outro teste. A vitória no teste do começo dá folga_do_comeco;
//    as seguintes, primeira_folga, o dobro, ... até folga_maxima.
// 8. Com n, um lote com espera dormida mais lento que o último com uma
//    thread vezes carga_chegou leva logo a esse lote com uma thread.
#pragma once

namespace equipe {

class Escolha {
public:
    // longa: a fase tem vários lotes (a espera da regra 3 vale a pena).
    Escolha(int n, bool longa);

    // Para o próximo lote: quantas threads, e o lote inteiro dividido por quanto.
    int threads() const;
    int divisor() const;

    // Antes e depois de cada lote, com o tempo por etapa dele.
    void antes();
    void depois(double segundos_por_etapa);

private:
    enum class Estado {
        so_uma,       // n <= 1
        aquecendo,    // o primeiro lote, com n, que não conta
        testando_n,   // lote de teste com n
        testando_uma, // lote de teste com uma, depois de um com n em que alguém dormiu
        com_uma,      // lotes inteiros com uma até o próximo teste de n
        com_n,        // lotes inteiros com n
        alerta,       // com n, depois de um lote em que alguém dormiu
    };

    void decidir(bool n_perdeu, bool do_comeco);
    void passar_a_uma(int lotes);

    const int n_;
    Estado estado_;
    long long dormidas_ = 0;     // as esperas dormidas antes do lote
    int restam_ = 0;             // com_uma: lotes até o próximo teste de n
    int castigo_;                // lotes com uma depois da próxima derrota
    int folga_ = 0;              // com n: lotes com espera dormida que ainda passam
    int proxima_folga_;          // a folga da próxima vitória fora do começo
    double uma_s_ = 0.0;         // segundos por etapa do último lote com uma (0: nenhum na fase)
    double com_n_s_ = 0.0;       // e do último teste de n, até o teste com uma
};

// Só para testes: as CPUs tomadas por outros processos (1) ou livres (0)
// para a Escolha, em vez do que o sistema mostra; -1 volta ao sistema.
void simular_cpus_tomadas(int tomadas);
// Só para testes: a Escolha conta uma espera dormida no lote em curso.
void simular_dormida();

} // namespace equipe
