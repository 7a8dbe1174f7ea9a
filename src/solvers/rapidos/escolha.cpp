// Escolha entre n threads e uma: as regras estão em escolha.hpp, os números
// e os motivos aqui. As medidas citadas são de uma máquina virtual AMD EPYC
// (Zen 5) de 2 vCPUs, Linux 6.18, g++ 12; as de 201 x 201 se refazem com
// `bancada carga` (um processo ocupado ao lado) e `bancada estabilidade`
// (dez execuções iguais, máquina quieta).
#include "escolha.hpp"

#include "plataforma/cpus.hpp"
#include "equipe.hpp"

#include <algorithm>
#include <atomic>

namespace equipe {

namespace {

// Os lotes curtos, como divisores de um lote inteiro. Curtos porque sob
// carga um lote com n threads custa caro; o de aquecer só toca caches e
// páginas.
constexpr int divisor_aquecer = 64;
// Onde o sistema mostra a carga os testes só rodam com as CPUs livres, e
// num lote mais longo um soluço da máquina pesa menos (bancada
// estabilidade: 1,26 vez do melhor ao pior em média, contra 1,39 com 32).
constexpr int divisor_teste_visivel = 8;
// Onde não mostra, um teste pode cair sob carga, e com n ele leva umas 20
// vezes o tempo dele com uma.
constexpr int divisor_teste_cego = 32;
// Se as esperas dormidas forem carga, os lotes até o teste custam menos.
constexpr int divisor_alerta = 8;

// Numa máquina quieta n anda de 15 a 40 % mais depressa que uma; sob carga,
// muitas vezes mais devagar (a fase dos deslocamentos de 201 x 201 com duas
// threads e um processo ocupado: 2,9 ns por nó e varredura, contra 0,66 com
// uma). A margem é para a variação entre lotes curtos.
constexpr double margem_do_teste = 1.05;
// Mais que a diferença entre as duas CPUs da máquina (a mesma varredura leva
// 1,3 vez o tempo numa que na outra): é carga que chegou depois de n ganhar.
constexpr double carga_chegou = 1.5;

// Um soluço da máquina virtual num teste curto às vezes faz n perder numa
// máquina quieta: com 32 lotes de castigo, o resto da fase térmica ia com
// uma thread (bancada estabilidade: até 1,6 vez do melhor ao pior). Dobra
// porque sob uma carga que fica cada teste custa caro; o teto limita o tempo
// com uma thread depois que ela passa (uns 5 s, em lotes de uns 10 ms).
constexpr int castigo_inicial = 8;
constexpr int castigo_maximo = 512;

// O teste de n espera as CPUs livres porque sob carga cada um custava mais
// de meio lote (bancada carga: 4 % de uma execução). A leitura de 4 em 4
// lotes: com as CPUs já livres, a espera custa no máximo 4 lotes com uma
// thread, e sob carga são menos leituras que podem não vê-la (uma tarefa
// que acabou de parar) e levar a um teste.
constexpr int adiamento = 4;

// A vitória no teste do começo nada diz das esperas dormidas. Uma vitória
// depois delas diz que eram soluços (da máquina virtual), não carga, e ali
// cada teste gasta um lote inteiro com uma thread: a folga dobra a cada uma.
// O teto deixa a carga que chega ser vista em poucos lotes (64 de 1/8 são 8
// inteiros). Com a do começo contando como as outras (1, 2, 4, ...), a
// dispersão piorou um pouco (bancada estabilidade em séries alternadas:
// mediana de 1,33 contra 1,30).
constexpr int folga_do_comeco = 1;
constexpr int primeira_folga = 2;
constexpr int folga_maxima = 64;

std::atomic<int> tomadas_simuladas{-1};
std::atomic<long long> dormidas_simuladas{0};

// Menos de duas CPUs sem tarefas prontas de outros processos (onde o
// sistema não mostra as tarefas, nunca). As de prioridade baixa contam
// também: com um laço ocupado de nice 19 ao lado, os lotes de teste com duas
// threads ainda levaram 20 vezes o tempo dos com uma.
bool cpus_tomadas()
{
    const int simuladas = tomadas_simuladas.load(std::memory_order_relaxed);
    if (simuladas >= 0) return simuladas != 0;
    return cpus_disponiveis() - tarefas_prontas_de_outros() < 2;
}

long long dormidas_vistas() { return dormidas() + dormidas_simuladas.load(std::memory_order_relaxed); }

} // namespace

// Regra 3: sob carga, o aquecimento e o teste com n custavam uns 6 % de uma
// execução (bancada carga). Um lote só antes de reler a carga, e não um
// castigo: numa máquina quieta a leitura às vezes pega uma tarefa passageira
// (de uma a três fases em vinte, em dez execuções seguidas de 201 x 201).
Escolha::Escolha(int n, bool longa)
    : n_(n), estado_(Estado::aquecendo), castigo_(castigo_inicial), proxima_folga_(primeira_folga)
{
    if (n_ <= 1) estado_ = Estado::so_uma;
    else if (longa && cpus_tomadas()) passar_a_uma(1);
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
    case Estado::testando_uma: return carga_do_sistema_visivel() ? divisor_teste_visivel : divisor_teste_cego;
    case Estado::alerta: return divisor_alerta;
    case Estado::so_uma:
    case Estado::com_uma:
    case Estado::com_n: break;
    }
    return 1;
}

void Escolha::antes() { dormidas_ = dormidas_vistas(); }

// A única transição: do estado e do lote que terminou (se alguma espera
// dormiu, segundos por etapa) ao estado do próximo lote.
void Escolha::depois(double s)
{
    const bool dormiu = dormidas_vistas() != dormidas_;
    switch (estado_) {
    case Estado::so_uma: break;
    case Estado::aquecendo: estado_ = Estado::testando_n; break;
    case Estado::testando_n: // sem lote com uma thread na fase (uma_s_ 0), o do começo
        if (dormiu && uma_s_ == 0.0) {
            com_n_s_ = s;
            estado_ = Estado::testando_uma;
        } else {
            decidir(dormiu && s > margem_do_teste * uma_s_, uma_s_ == 0.0);
        }
        break;
    case Estado::testando_uma:
        uma_s_ = s;
        decidir(com_n_s_ > margem_do_teste * uma_s_, true);
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
        if (folga_ <= 0 || (uma_s_ > 0.0 && s > carga_chegou * uma_s_)) passar_a_uma(1);
        else estado_ = Estado::alerta;
        break;
    }
}

// O fim de um teste de n.
void Escolha::decidir(bool n_perdeu, bool do_comeco)
{
    if (n_perdeu) {
        passar_a_uma(castigo_);
        castigo_ = std::min(2 * castigo_, castigo_maximo);
        return;
    }
    estado_ = Estado::com_n;
    castigo_ = castigo_inicial;
    if (do_comeco) {
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

void simular_cpus_tomadas(int tomadas) { tomadas_simuladas.store(tomadas); }

void simular_dormida() { dormidas_simuladas.fetch_add(1, std::memory_order_relaxed); }

} // namespace equipe
