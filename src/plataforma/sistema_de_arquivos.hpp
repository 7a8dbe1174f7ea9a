// Arquivos: o que um nome é, a leitura da entrada, a criação exclusiva dos
// temporários, a gravação no disco e a substituição, e o que identifica um
// temporário desta máquina.
//
// Nomes: bytes no POSIX; no Windows, UTF-8, passado sempre às funções largas
// (W) do sistema, de modo que criar, renomear, apagar, conferir e abrir no
// visualizador tratam o mesmo arquivo.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// O nome como caminho da biblioteca padrão (no Windows, lido como UTF-8).
std::filesystem::path caminho(const std::string& nome);

// O nome de arquivo escrito na entrada, para o sistema: no POSIX, os mesmos
// bytes; no Windows, em UTF-8, lido como UTF-8 se `inteiro` (o nome todo, antes
// de qualquer corte) é UTF-8 válido, senão como Windows-1252. Uma sequência
// UTF-8 que o corte deixou pela metade sai do fim.
std::string nome_do_sistema(std::string_view nome, std::string_view inteiro);

// Se o sistema recusa o nome, e por quê (vazio: aceito). No Windows: ':' fora
// da letra do disco e os dispositivos CON, PRN, AUX, NUL, COM1-9 e LPT1-9 (com
// ou sem extensão) em qualquer parte do caminho. Nada no POSIX.
std::string nome_recusado_pelo_sistema(const std::string& nome);

enum class Tipo_arquivo { inexistente, regular, diretorio, caracteres, blocos, fifo, socket, outro };

// O que o nome é, seguidas as ligações simbólicas; `protegido`: um arquivo
// comum cujas permissões não dão escrita ao dono (no Windows, somente
// leitura), qualquer que seja o usuário, root inclusive. `impedido_por`: o
// dono (nome, ou o número) de um arquivo comum que o sistema não deixa este
// usuário substituir: numa pasta com o sticky bit (como /tmp), nem o arquivo
// nem a pasta são dele, e ele não é root. Vazio nos outros casos e no Windows.
struct Situacao_arquivo {
    Tipo_arquivo tipo = Tipo_arquivo::inexistente;
    bool protegido = false;
    std::string impedido_por;
    int erro = 0; // errno quando não deu para saber (ELOOP, EACCES, ...)
};
Situacao_arquivo situacao_do_arquivo(const std::string& nome);

// Um arquivo comum lido inteiro, se tiver até `limite` bytes. Nunca abre o
// que não é arquivo comum (um FIFO esperaria para sempre, /dev/zero não acaba).
struct Arquivo_lido {
    int erro = 0;                                   // errno da abertura ou da leitura
    Tipo_arquivo tipo = Tipo_arquivo::inexistente; // o que o nome é
    bool grande_demais = false;                     // mais que `limite` bytes
    std::string conteudo;
};
Arquivo_lido ler_arquivo_comum(const std::string& nome, std::size_t limite);

// Cria o arquivo para escrita binária só se nada existe com esse nome (nem
// uma ligação simbólica). nullptr em caso de falha, com errno.
std::FILE* criar_exclusivo(const std::string& caminho);

// Dá ao arquivo aberto as permissões de `modelo` e, onde o processo pode, o
// dono e o grupo, se `modelo` é um arquivo comum. Nada no Windows.
void copiar_permissoes(std::FILE* arquivo, const std::string& modelo);

// Leva ao disco o que o arquivo aberto tem (fsync; FlushFileBuffers). 0 ou errno.
int gravar_no_disco(std::FILE* arquivo);

// Põe `de` no lugar de `para` (rename; MoveFileExW com MOVEFILE_WRITE_THROUGH,
// que só volta com a troca no disco). 0 ou errno.
int substituir(const std::string& de, const std::string& para);

// Leva ao disco as entradas do diretório (fsync do diretório), o que torna as
// renomeações duráveis. 0 ou errno; 0 no Windows (lá, MOVEFILE_WRITE_THROUGH).
int gravar_diretorio_no_disco(const std::string& diretorio);

// O que o sistema diz de um erro sem texto próprio no programa (no Windows,
// também os códigos do Windows que não têm errno equivalente).
std::string texto_do_erro(int erro);

// Apaga o arquivo; 0 ou errno.
int apagar_arquivo(const std::string& nome);

// Número do processo, para nomes de arquivos temporários.
unsigned long numero_do_processo();
// Se o processo existe (nesta máquina e neste espaço de processos).
bool processo_existe(unsigned long numero);
// Oito algarismos hexadecimais que mudam com a máquina, a inicialização do
// sistema e o espaço de números de processo (contêineres): um temporário com a
// marca de agora é desta máquina, e o número de processo dele quer dizer algo.
std::string marca_da_maquina();

// O diretório do arquivo ("." se o nome não tem nenhum).
std::string diretorio_do_arquivo(const std::string& arquivo);
// O diretório de trabalho, caminho inteiro (no Windows, em UTF-8).
std::string diretorio_de_trabalho();

// Arquivos comuns do diretório (ligações não contam), com a idade em segundos
// desde a última modificação.
struct Item_diretorio {
    std::string nome;
    double idade = 0.0;
};
std::vector<Item_diretorio> arquivos_comuns(const std::string& diretorio);
