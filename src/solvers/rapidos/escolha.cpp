// Escolha entre n threads e uma: as regras estão em escolha.hpp, os números
// e os motivos aqui. Os modos da bancada entre parênteses refazem as medidas
// que levaram a cada número (as de referência estão com eles, em
// bench/bancada.cpp): `bancada limiar` (duas threads fixas contra uma,
// fase a fase), `bancada carga` (um processo ocupado ao lado),
// `bancada estabilidade` (dez execuções iguais, máquina quieta) e
// `bancada pequenas` (execuções inteiras de estudante, padrão contra uma).
#include "escolha.hpp"

#include <algorithm>

namespace equipe {

namespace {

// Os lotes curtos, como divisores de um lote inteiro. Curtos porque sob
// carga um lote com n threads custa caro; o de aquecer só toca caches e
// páginas.
constexpr int divisor_aquecer = 64;
// Onde o sistema mostra a carga os testes só rodam com as CPUs livres, e
// num lote mais longo um soluço da máquina pesa menos: a dispersão cai em
// relação a 32 (bancada estabilidade).
constexpr int divisor_teste_visivel = 8;
// Onde não mostra, um teste pode cair sob carga, e com n ele leva muitas
// vezes o tempo dele com uma (bancada carga).
constexpr int divisor_teste_cego = 32;
// Se as esperas dormidas forem carga, os lotes até o teste custam menos.
constexpr int divisor_alerta = 8;

// Numa máquina quieta n anda mais depressa que uma; sob carga, muitas vezes
// mais devagar (bancada carga). A margem é para a variação entre lotes
// curtos.
constexpr double margem_do_teste = 1.05;
// Mais que a diferença entre as CPUs de uma máquina (a mesma varredura não
// leva o mesmo tempo em todas; faixas::equilibrar): é carga que chegou
// depois de n ganhar.
constexpr double carga_chegou = 1.5;

// Um soluço da máquina num teste curto às vezes faz n perder numa máquina
// quieta: com um castigo longo desde a primeira derrota, o resto da fase
// térmica ia com uma thread e a dispersão subia (bancada estabilidade).
// Dobra porque sob uma carga que fica cada teste custa caro; o teto limita o
// tempo com uma thread depois que ela passa (512 lotes inteiros).
constexpr int castigo_inicial = 8;
constexpr int castigo_maximo = 512;

// O teste de n espera as CPUs livres porque sob carga cada um custava mais
// de meio lote (bancada carga). A leitura de 4 em 4 lotes: com as CPUs já
// livres, a espera custa no máximo 4 lotes com uma thread, e sob carga são
// menos leituras que podem não vê-la (uma tarefa que acabou de parar) e
// levar a um teste.
constexpr int adiamento = 4;

// A vitória no teste do começo nada diz das esperas dormidas. Uma vitória
// depois delas diz que eram soluços da máquina, não carga, e ali cada teste
// gasta um lote inteiro com uma thread: a folga dobra a cada uma. O teto
// deixa a carga que chega ser vista em poucos lotes (64 de 1/8 são 8
// inteiros). Com a do começo contando como as outras (1, 2, 4, ...), a
// dispersão piorou um pouco (bancada estabilidade, em séries alternadas).
constexpr int folga_do_comeco = 1;
constexpr int primeira_folga = 2;
constexpr int folga_maxima = 64;

// Regra 0: o empate medido ficou entre 121 x 121 e 141 x 141 (14 a 19 mil
// nós interiores) para duas threads; com 8000 por thread, duas só a partir
// de 16 mil (uns 128 x 128). Quatro threads pedem 32 mil por etapa: cada uma
// fica com tanto trabalho entre duas passagens quanto cada uma das duas.
constexpr double nos_por_thread = 8000.0;

} // namespace

int Escolha::threads_que_pagam(int n, double nos_interiores)
{
    const double pagam = nos_interiores / nos_por_thread;
    return pagam >= n ? n : std::max(1, static_cast<int>(pagam));
}

// Regra 3: sob carga, o aquecimento e o teste com n custavam uma parte
// visível de uma execução (bancada carga); numa fase curta, quase toda ela:
// em 201 x 201 com 10 x 20 ao lado de dois processos ocupados, o teste da
// fase dos deslocamentos levou 39 ms, e a fase inteira com uma thread leva
// uns 2 (bancada pequenas). Um lote só antes de reler a carga, e não um
// castigo: numa máquina quieta a leitura às vezes pega uma tarefa
// passageira.
Escolha::Escolha(int n, bool carga_visivel, const Cpus_tomadas& cpus_tomadas)
    : n_(n), carga_visivel_(carga_visivel), estado_(Estado::aquecendo), castigo_(castigo_inicial),
      proxima_folga_(primeira_folga)
{
    if (n_ <= 1) estado_ = Estado::so_uma;
    else if (cpus_tomadas()) passar_a_uma(1);
}

int Escolha::threads() const
{
    switch (estado_) {
    case Estado::aquecendo:
    case Estado::testando_n:
    case Estado::com_n:
    case Estado::alerta: return n_;
    case Estado::so_uma:
    case Estado::testando_uma:
    case Estado::com_uma: break;
    }
    return 1;
}

int Escolha::divisor() const
{
    switch (estado_) {
    case Estado::aquecendo: return divisor_aquecer;
    case Estado::testando_n:
    case Estado::testando_uma: return carga_visivel_ ? divisor_teste_visivel : divisor_teste_cego;
    case Estado::alerta: return divisor_alerta;
    case Estado::so_uma:
    case Estado::com_uma:
    case Estado::com_n: break;
    }
    return 1;
}

void Escolha::depois(double s, bool dormiu, const Cpus_tomadas& cpus_tomadas)
{
    switch (estado_) {
    case Estado::so_uma: break;
    case Estado::aquecendo: estado_ = Estado::testando_n; break;
    case Estado::testando_n:
        if (!uma_s_) {
            // O teste do começo: sem tempo com uma para comparar, quem
            // decide é um teste com uma, se alguém dormiu.
            if (dormiu) {
                com_n_s_ = s;
                estado_ = Estado::testando_uma;
            } else {
                decidir(false);
            }
        } else {
            decidir(dormiu && s > margem_do_teste * *uma_s_);
        }
        break;
    case Estado::testando_uma:
        decidir(com_n_s_ > margem_do_teste * s);
        uma_s_ = s;
        break;
    case Estado::com_uma:
        uma_s_ = s;
        if (--restam_ > 0) break;
        if (cpus_tomadas()) restam_ = adiamento;
        else estado_ = Estado::testando_n;
        break;
    case Estado::com_n:
    case Estado::alerta:
        if (!dormiu) {
            estado_ = Estado::com_n;
            break;
        }
        if (estado_ == Estado::alerta) --folga_;
        if (folga_ <= 0 || (uma_s_ && s > carga_chegou * *uma_s_)) passar_a_uma(1);
        else estado_ = Estado::alerta;
        break;
    }
}

// O fim de um teste de n; o do começo é o que não teve lote com uma antes.
void Escolha::decidir(bool n_perdeu)
{
    if (n_perdeu) {
        passar_a_uma(castigo_);
        castigo_ = std::min(2 * castigo_, castigo_maximo);
        return;
    }
    estado_ = Estado::com_n;
    castigo_ = castigo_inicial;
    if (!uma_s_) {
        folga_ = folga_do_comeco;
    } else {
        folga_ = proxima_folga_;
        proxima_folga_ = std::min(2 * proxima_folga_, folga_maxima);
    }
}

void Escolha::passar_a_uma(int lotes)
{
    estado_ = Estado::com_uma;
    restam_ = lotes;
}

} // namespace equipe
