// Fase a fase, quantas threads pagam as passagens; lote a lote, n threads
// ou uma, pela carga da máquina.
//
// Duas threads numa varredura em faixas passam o trabalho uma à outra nas
// bordas das faixas, a cada etapa. Com as duas na CPU, cada passagem custa
// uma linha de cache entre núcleos; numa máquina virtual, microssegundos.
// Numa etapa pequena nem isso se paga: a fase fica com uma thread do começo
// ao fim (regra 0). Acima do limiar, com outro processo ocupando as CPUs, a
// thread que o sistema tira da CPU segura as outras, que só podem dormir
// nas esperas: sob carga, n threads andam muitas vezes mais devagar que uma.
// Por isso a Escolha olha, em cada lote, o tempo dele e se alguma espera
// dormiu: as esperas giram mais que o tempo de acordar uma thread, e só
// dormem se a esperada saiu da CPU. Num lote de teste, curto, pesa mais o
// começo; é por isso que as esperas dormidas decidem antes do tempo. Os
// bits nunca dependem da escolha.
//
// A Escolha não lê nada do sistema: recebe o que decide (quem roda a fase,
// lotes.cpp, lê o sistema por ela). O estado inicial sai do construtor; daí
// em diante, só depois() o muda, lote a lote.
//
// As regras (os nomes entre parênteses são as constantes de escolha.cpp,
// com os valores e os motivos):
// 0. O limiar (threads_que_pagam): uma fase usa no máximo uma thread por
//    nos_por_thread nós interiores da malha; com menos de duas, uma só, sem
//    criar threads, aquecer, testar nem ler as CPUs. Medido nesta máquina
//    (`bancada limiar`: duas threads fixas contra uma, fase a fase, malhas
//    de 11 x 11 a 201 x 201, itgs de 5 a 100): quietas, de 41 x 41 a
//    61 x 61 duas threads levaram de 1,6 a 3,2 vezes o tempo de uma por
//    etapa, em 81 x 81 e 101 x 101 de 0,7 a 1,3, em 121 x 121 de 0,75 a
//    1,03, de 141 x 141 a 201 x 201 de 0,46 a 0,84. O limiar fica acima do
//    empate, porque os dois erros não custam o mesmo: abaixo dele, a perda
//    de usar duas threads chega a 3 vezes (e sob carga a 100); logo acima,
//    o ganho de usá-las não passa de 1/0,75. Numa máquina real a passagem
//    custa menos e o empate cai: o limiar perde ali um pouco do ganho, nunca
//    a etapa inteira.
// 1. Com uma thread só (n <= 1), lotes inteiros, sem aquecer nem testar.
// 2. Uma fase começa com um lote curto com n (divisor_aquecer), que aquece
//    caches e páginas e não conta, e depois testa n; menos na regra 3.
// 3. Uma fase que começa com as CPUs tomadas por outros processos, curta ou
//    longa, começa com um lote com uma thread; depois dele, a leitura da
//    regra 6 (e, com as CPUs livres, o teste de n, sem aquecer). Numa fase
//    curta sob carga, o aquecimento e o teste eram a maior parte dela.
// 4. O teste de n é um lote curto (divisor_teste_visivel onde o sistema
//    mostra a carga, divisor_teste_cego onde não). Se nenhuma espera dormiu
//    nele, n ganha; se alguma dormiu, n perde só se andou mais devagar que o
//    último lote com uma thread, além da margem (margem_do_teste). Sem lote
//    com uma na fase, um lote de teste com uma thread dá o tempo dela.
// 5. Depois de perder, lotes inteiros com uma thread e outro teste:
//    castigo_inicial lotes depois da primeira derrota, o dobro depois de
//    cada derrota seguida, até castigo_maximo. Uma vitória volta ao inicial.
// 6. No fim dos lotes com uma thread, as CPUs são lidas: tomadas, mais
//    `adiamento` lotes com uma e outra leitura; livres, o teste de n.
// 7. Com n, depois de um lote em que alguma espera dormiu, lotes curtos
//    (divisor_alerta). Cada lote com espera dormida logo depois de outro
//    gasta um lote da folga; o que a esgota leva a um lote inteiro com uma
//    thread (e à leitura da regra 6). Só uma vitória num teste repõe a
//    folga: a do teste do começo (sem lote com uma na fase) dá
//    folga_do_comeco; as seguintes, primeira_folga, o dobro, ... até
//    folga_maxima. Um lote sem espera dormida volta aos lotes inteiros sem
//    repor nada.
// 8. Com n, um lote com espera dormida mais lento que o último com uma
//    thread vezes carga_chegou leva logo a esse lote com uma thread.
#pragma once

#include <functional>
#include <optional>

namespace equipe {

class Escolha {
public:
    // As CPUs estão tomadas por outros processos agora: só é chamada quando
    // uma regra precisa (3 e 6), porque ler o sistema custa.
    using Cpus_tomadas = std::function<bool()>;

    // Regra 0: das n threads que uma fase pode usar, as que pagam as
    // passagens numa malha com tantos nós interiores; 1 se nenhuma outra.
    static int threads_que_pagam(int n, double nos_interiores);

    // n: as threads da fase (já pelo limiar); carga_visivel: o sistema
    // mostra as tarefas prontas dos outros processos (regra 4).
    Escolha(int n, bool carga_visivel, const Cpus_tomadas& cpus_tomadas);

    // Para o próximo lote: quantas threads, e o lote inteiro dividido por quanto.
    int threads() const;
    int divisor() const;

    // A transição: do estado e do lote que terminou (segundos por etapa, e
    // se alguma espera dormiu nele) ao estado do próximo lote.
    void depois(double segundos_por_etapa, bool dormiu, const Cpus_tomadas& cpus_tomadas);

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

    void decidir(bool n_perdeu);
    void passar_a_uma(int lotes);

    const int n_;
    const bool carga_visivel_;
    Estado estado_;
    int restam_ = 0;             // com_uma: lotes até a leitura das CPUs
    int castigo_;                // lotes com uma depois da próxima derrota
    int folga_ = 0;              // com n: lotes com espera dormida que ainda passam
    int proxima_folga_;          // a folga da próxima vitória fora do começo
    std::optional<double> uma_s_; // segundos por etapa do último lote com uma, se houve na fase
    double com_n_s_ = 0.0;       // e do último teste de n, até o teste com uma
};

} // namespace equipe
