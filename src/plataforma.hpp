// Camada de plataforma: tudo o que depende do sistema operacional.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// Entrega a linha de comando ao interpretador do sistema (/bin/sh -c ou
// COMSPEC /c), espera o fim e devolve o status bruto de std::system.
int executar_comando(const std::string& linha);

// O status de executar_comando diz que o comando foi interrompido pelo
// usuário (Ctrl-C): morto por SIGINT, status 130 do sh, ou STATUS_CONTROL_C_EXIT.
bool comando_interrompido(int status);

// Segundos de relógio de parede desde a primeira chamada (que devolve 0.0).
double relogio();

enum class Interpretador { sh, cmd };
#ifdef _WIN32
constexpr Interpretador interpretador_do_sistema = Interpretador::cmd;
#else
constexpr Interpretador interpretador_do_sistema = Interpretador::sh;
#endif

// Caracteres que nenhuma citação protege no interpretador: no cmd, % e !
// expandem variáveis mesmo entre aspas, e " fecharia as aspas. Vazio no sh.
std::string_view caracteres_sem_citacao(Interpretador interpretador);

// O nome de arquivo como um argumento de linha de comando: sem aspas quando
// só tem letras, algarismos e ._-/ (no cmd também \ e :); senão entre aspas
// do interpretador (simples no sh, duplas no cmd), para abrir aquele arquivo
// e nunca executar um segundo comando. Um nome que começa com - ou + vai como
// ./nome (.\nome no cmd, onde toda / vira \), para não ser lido como opção.
// Vazio se o nome tem caracteres_sem_citacao.
std::string citar_argumento(const std::string& nome, Interpretador interpretador = interpretador_do_sistema);

// Cria o arquivo para escrita binária só se nada existe com esse nome (nem
// uma ligação simbólica). nullptr em caso de falha, com errno.
std::FILE* criar_exclusivo(const std::string& caminho);

// Número do processo, para nomes de arquivos temporários.
unsigned long numero_do_processo();

// Interrupções: Ctrl-C, SIGTERM e SIGHUP (no Windows, Ctrl-C, Ctrl-Break e
// fechar o console). Depois de tratar_interrupcoes, uma interrupção apaga os
// temporários registrados, escreve `mensagem` no erro padrão e termina com
// status 128 + o sinal (Ctrl-Break: 149, fechar o console: 129). Sinais que
// já eram ignorados (nohup) continuam ignorados.
void tratar_interrupcoes(const char* mensagem);
void registrar_temporario(const std::string& caminho); // no máximo 8, de até 511 bytes
void esquecer_temporario(const std::string& caminho);

// Trecho em que uma interrupção espera (a substituição dos arquivos de
// saída). No fim dele as interrupções voltam ao tratamento padrão: não há
// mais temporários a apagar, e a mensagem de nada mudado não seria verdade.
class Trecho_sem_interrupcao {
public:
    Trecho_sem_interrupcao();
    ~Trecho_sem_interrupcao();
    Trecho_sem_interrupcao(const Trecho_sem_interrupcao&) = delete;
    Trecho_sem_interrupcao& operator=(const Trecho_sem_interrupcao&) = delete;
};

// Memória física da máquina em bytes (0 se desconhecida).
unsigned long long memoria_fisica();

// Terminal no erro padrão: isatty no POSIX, um console no Windows.
bool erro_padrao_no_terminal();
// Largura em colunas do terminal do erro padrão (0 se desconhecida).
int colunas_do_terminal();
// Escreve os bytes no erro padrão de uma vez, sem buffer.
void escrever_no_terminal(std::string_view texto);
// Colunas que a linha de progresso ocupa agora no terminal (0: nenhuma): uma
// interrupção a apaga antes de escrever a sua mensagem.
void marcar_linha_de_progresso(int colunas);

// CPUs em que este processo pode rodar: a máscara de afinidade (Linux) ou a
// afinidade do processo (Windows); se o sistema não disser, as do hardware.
// Pelo menos 1.
int cpus_disponiveis();

// Quantas tarefas de outros processos prontas para rodar há agora no sistema
// (Linux: as do /proc/loadavg menos as deste processo); 0 onde o sistema não
// diz.
int tarefas_prontas_de_outros();
// Se tarefas_prontas_de_outros() sabe do sistema (Linux).
bool carga_do_sistema_visivel();

// A thread que chama só roda quando sobra CPU (SCHED_IDLE no Linux, prioridade
// ociosa no Windows): acordar não tira da CPU uma thread de cálculo.
void thread_so_com_cpu_ociosa();
