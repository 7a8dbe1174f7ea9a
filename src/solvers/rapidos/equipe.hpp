// Equipe de threads dos solvers rápidos e a espera por contadores.
//
// A equipe é do processo: as threads são criadas uma vez, na primeira vez que
// são pedidas, e dormem entre um pedido e outro (sem gastar CPU). Uma thread
// que não pode ser criada deixa a equipe menor, sem mensagem: quem pediu n
// threads usa as que preparar() devolve, e os bits não dependem disso.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

namespace equipe {

// Prepara a equipe para n threads (quem chama conta como uma) e devolve
// quantas podem rodar agora, de 1 a n.
int preparar(int n);

// Roda tarefa(0) nesta thread e tarefa(1..n-1) nas da equipe, com o mesmo
// arredondamento e os indicadores de exceção limpos; volta quando todas terminaram. As exceções de
// ponto flutuante levantadas nelas são levantadas aqui no fim (os indicadores
// são de cada thread), e uma exceção de C++ lançada numa tarefa é relançada
// aqui. Se a equipe não tiver n threads (preparar(n) < n), lança
// std::system_error sem rodar nada. Um pedido de cada vez: chamadas de
// threads diferentes esperam a vez.
void em_paralelo(int n, const std::function<void(int)>& tarefa);

// Contador de progresso, sozinho numa linha de cache: uma thread publica
// valores crescentes, outras esperam um alvo. Quem espera gira um pouco (o
// bastante para as esperas curtas de uma tubulação em andamento) e depois
// dorme (numa variável de condição do processo), deixando a CPU para quem
// vai publicar: com mais threads que CPUs ou
// com outro processo ocupando uma CPU, girar só atrasaria a thread esperada.
class alignas(64) Contador {
public:
    explicit Contador(long long inicial = 0) : valor_(inicial) {}

    long long valor() const { return valor_.load(std::memory_order_acquire); }

    // Publica v (release) e acorda quem dorme esperando, só se houver alguém.
    void publicar(long long v)
    {
        valor_.store(v, std::memory_order_seq_cst);
        if (dormindo_.load(std::memory_order_seq_cst) != 0) acordar();
    }

    // Espera até valor() >= alvo.
    void esperar(long long alvo) const
    {
        if (valor_.load(std::memory_order_acquire) >= alvo) return;
        esperar_devagar(alvo);
    }

    // Só quando ninguém espera.
    void reiniciar(long long v = 0) { valor_.store(v, std::memory_order_release); }

private:
    void acordar();
    void esperar_devagar(long long alvo) const;

    std::atomic<long long> valor_;
    mutable std::atomic<int> dormindo_{0};
};

// Quantas vezes, desde o início do processo, uma espera de Contador teve de
// dormir: numa tubulação que anda bem, quase nunca; muitas indicam threads
// tiradas da CPU (outro processo ocupando as CPUs).
long long dormidas();

// Lote a lote, n threads ou uma. Com outro processo ocupando as CPUs, a
// thread que o sistema tira da CPU segura as outras, que só podem dormir:
// medido aqui com duas threads e a máquina carregada, a fase dos
// deslocamentos de 201 x 201 levou 2,9 ns por nó e varredura contra 0,66
// com uma thread. Cada fase começa com um lote curto com n threads, que
// aquece caches e páginas e não conta, e outro de teste. Se nenhuma espera
// dormiu nele (as esperas giram mais que o tempo de acordar uma thread), n
// fica; senão, um lote curto com uma thread, e n só perde se andou mais de
// 5 % mais devagar (numa máquina quieta n anda de 15 a 40 % mais depressa;
// com um processo ocupando uma CPU, muitas vezes mais devagar). Os lotes de
// teste são curtos porque sob carga custam caro; é por isso que as esperas
// dormidas decidem antes do tempo, que num lote curto pesa mais o começo.
// Depois de n perder, uma thread por 8, 16, ... até 512 lotes, e outro
// teste curto de n, adiado de 4 em 4 lotes enquanto o sistema mostrar as
// CPUs tomadas por outros processos; com n, dois lotes seguidos em que
// alguma espera dormiu levam a outro teste com uma thread. Os bits nunca
// dependem da escolha.
class Escolha {
public:
    // Numa fase longa (vários lotes) com as CPUs já tomadas por outros
    // processos, começa com uma thread e testa n quando o sistema mostrar
    // CPUs livres (olha depois do primeiro lote e de 4 em 4): sob
    // carga, os lotes de aquecimento e de teste com n custavam uns 6 % de uma
    // execução de 201 x 201.
    Escolha(int n, bool longa);

    int threads() const { return com_n_ ? n_ : 1; }
    // O próximo lote é um lote inteiro dividido por isto: 64 o de aquecer;
    // os de teste, 32 onde o sistema não mostra a carga (sob carga, com n
    // threads, cada um leva umas 20 vezes o tempo dele com uma) e 8 onde
    // mostra (eles só rodam com CPUs livres, e num lote mais longo um soluço
    // da máquina pesa menos: dez execuções iguais de 201 x 201 variaram em
    // média 1,26 vez do melhor ao pior, contra 1,39 com 32); 8 os com n
    // depois de um em que alguém dormiu.
    int divisor() const
    {
        if (aquecendo_) return 64;
        if (testando_) return teste_;
        return com_n_ && dormiu_seguidas_ > 0 ? 8 : 1;
    }
    // Antes e depois de cada lote, com o tempo por etapa dele.
    void antes() { dormidas_ = dormidas(); }
    void depois(double segundos_por_etapa);

private:
    void perder();

    int n_;
    int teste_; // divisor dos lotes de teste
    double uma_ = 0.0;     // segundos por etapa com uma thread no último teste (0: sem teste)
    double com_n_s_ = 0.0; // e com n, no teste do começo
    double ultima_uma_ = 0.0; // segundos por etapa do último lote com uma thread
    bool com_n_ = true;
    int perdeu_ = 4, ganhou_ = 1; // esperas (em lotes) que dobram
    int faltam_ = 0;              // lotes com uma thread até o próximo teste de n
    bool aquecendo_ = true;       // o primeiro lote, que não conta
    bool inicio_ = false;         // os testes do começo: com n, depois com uma
    bool testando_ = true;        // lote de comparação
    long long dormidas_ = 0;
    int dormiu_seguidas_ = 0; // lotes seguidos com n threads em que alguém dormiu
};

// Espera até o contador chegar ao alvo, girando e cedendo a CPU (para o
// código que ainda usa atômicos simples; prefira Contador).
template <class Inteiro>
void esperar(const std::atomic<Inteiro>& contador, Inteiro alvo)
{
    for (int voltas = 0; contador.load(std::memory_order_acquire) < alvo; ++voltas) {
        if (voltas >= 100) std::this_thread::yield();
    }
}

// Só para testes: a partir da k-ésima thread criada daqui em diante (k >= 0),
// a criação falha como falharia no sistema; -1 desliga.
void simular_falha_ao_criar(int k);
// Só para testes: as CPUs tomadas por outros processos (1) ou livres (0)
// para a Escolha, em vez do que o sistema mostra; -1 volta ao sistema.
void simular_cpus_tomadas(int tomadas);
// Só para testes: desfaz a equipe (espera as threads terminarem), para a
// próxima preparar() criá-la de novo. Ninguém pode estar usando a equipe.
void desfazer();

} // namespace equipe
