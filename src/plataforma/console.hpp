// O console: as interrupções (sinais no POSIX, eventos do console no
// Windows), que apagam os temporários e escrevem a mensagem numa linha limpa,
// e a linha de progresso no terminal do erro padrão. Juntos porque o
// tratador da interrupção apaga a linha de progresso (e, no Windows, devolve
// a página de código do console).
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Descritores 0, 1 e 2 fechados (no Windows, alças padrão ausentes ou
// inválidas) passam a ser o dispositivo nulo: nenhum arquivo aberto depois
// fica com um deles, e nada escrito no erro padrão vai parar numa saída.
// Chamar antes de abrir qualquer arquivo.
void abrir_fluxos_padrao_fechados();

// Os argumentos, sem o nome do programa (no Windows, em UTF-8, pela linha de
// comando larga: os acentos chegam inteiros).
std::vector<std::string> argumentos_do_programa(int argc, char** argv);

// Como o processo encontrou o console, lido no começo (antes de qualquer
// comando externo): o único processo nele, como depois de um clique duplo no
// Windows, e a entrada padrão nele. Sempre falso fora do Windows e no wine,
// onde o console é o terminal do Unix, que não fecha com o programa.
struct Console_inicial {
    bool sozinho = false;
    bool entrada_no_console = false;
};
Console_inicial observar_console();

// Escreve "Pressione Enter para fechar esta janela." e espera o Enter no
// console da entrada padrão (teclas apertadas antes não contam). Nada fora do
// Windows.
void esperar_enter();

// Interrupções: Ctrl-C, SIGTERM, SIGHUP, SIGQUIT (Ctrl-\) e SIGXCPU (o
// limite de tempo de CPU) (no Windows, Ctrl-C, Ctrl-Break e fechar o
// console). Depois de tratar_interrupcoes, uma interrupção apaga os
// temporários registrados, escreve `mensagem` no erro padrão, espera o Enter
// se `esperar` (Ctrl-C e Ctrl-Break no Windows; fechar o console não espera)
// e termina com status 128 + o sinal (Ctrl-Break: 149, fechar o console: 129). SIGPIPE e
// SIGXFSZ passam a ser ignorados: a escrita falha com EPIPE ou EFBIG e o
// caminho do erro, com a sua mensagem, segue. Sinais que já eram ignorados
// (nohup) continuam ignorados; os comandos externos recebem os outros com o
// tratamento padrão.
void tratar_interrupcoes(const char* mensagem, bool esperar = false);
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

// Uma linha "placa2d: aviso: texto" no erro padrão, numa linha limpa (a
// linha de progresso, se houver, é apagada antes) e, com a variável de
// ambiente PLACA2D_AVISOS, também no fim do arquivo que ela nomeia.
void avisar(std::string_view texto);
// Se algum aviso já foi escrito.
bool houve_aviso();

// Terminal no erro padrão: isatty no POSIX, um console no Windows.
bool erro_padrao_no_terminal();
// Largura em colunas do terminal do erro padrão (0 se desconhecida).
int colunas_do_terminal();
// Escreve os bytes no erro padrão de uma vez, sem buffer.
void escrever_no_terminal(std::string_view texto);
// Colunas que a linha de progresso ocupa agora no terminal (0: nenhuma): uma
// interrupção a apaga antes de escrever a sua mensagem.
void marcar_linha_de_progresso(int colunas);
