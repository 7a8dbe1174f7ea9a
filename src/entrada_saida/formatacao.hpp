// Formatação em colunas fixas: uma linha montada da esquerda para a direita
// com textos, campos numéricos e paradas de coluna, e o arquivo que a recebe.
#pragma once

#include "plataforma/sistema_de_arquivos.hpp"

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

// Converte texto UTF-8 (os literais do programa) para Windows-1252.
std::string para_cp1252(std::string_view utf8);

// Um texto do usuário como as mensagens o citam: entre aspas, os primeiros 40
// bytes, os caracteres de controle como \xHH e, se for mais longo, quantos tem.
std::string trecho_citado(std::string_view texto);

// Campos isolados, já alinhados à direita.
std::string campo_cientifico(double valor); // 25 colunas, 16 algarismos significativos
std::string campo_inteiro(std::int32_t valor); // 10 colunas
std::string campo_fixo(double valor);       // 15 colunas, 3 decimais

class Linha {
public:
    Linha& texto(std::string_view utf8);
    Linha& cientifico(double valor);
    Linha& inteiro(std::int32_t valor);
    Linha& fixo(double valor);
    // O próximo item começa na coluna n (contada a partir de 1).
    Linha& coluna(int n);
    // Bytes da linha, sem o terminador.
    const std::string& conteudo() const { return bytes_; }

private:
    std::string bytes_;
};

// Motivo de uma falha de arquivo, pelo errno, com o que fazer.
std::string motivo_da_falha(int erro);

// O que é algo que não é arquivo comum: "um FIFO (pipe com nome)", ...
std::string o_que_e(Tipo_arquivo tipo);

// Arquivo de saída gravado num temporário próprio desta execução, criado ao
// lado do destino com nome único e de forma exclusiva (nunca escreve através
// de um arquivo ou ligação que já existia), e só depois posto no lugar do
// destino, com as permissões (e, onde dá, o dono) do arquivo substituído. Se
// não for concluído, o temporário é apagado e o destino fica como estava. Uma
// interrupção também apaga o temporário. Recusa, já ao ser criado, um destino
// que existe e não é um arquivo comum (um dispositivo, um FIFO), que está
// protegido contra escrita ou que o sistema não deixa substituir (de outro
// usuário numa pasta com o sticky bit); apaga os temporários abandonados desta máquina na
// pasta do destino (mais de uma hora, o processo que os criou não existe mais).
class Arquivo_saida {
public:
    explicit Arquivo_saida(const std::string& nome);
    ~Arquivo_saida();
    Arquivo_saida(const Arquivo_saida&) = delete;
    Arquivo_saida& operator=(const Arquivo_saida&) = delete;

    // Grava a linha e o terminador CR LF.
    void escrever(const Linha& linha);
    void escrever_vazia();
    // Grava os bytes como estão (os arquivos para outras ferramentas).
    void escrever_bytes(std::string_view bytes);
    // Grava o que falta, leva ao disco e fecha o temporário.
    void fechar();
    // Fecha e põe no lugar do destino (o aviso de concluir_juntos).
    std::string concluir();

    const std::string& nome() const { return nome_; }
    const std::string& temporario() const { return temporario_; }

private:
    friend std::string concluir_juntos(std::span<Arquivo_saida* const> arquivos);
    [[noreturn]] void falhar(const char* acao, int erro);
    void descartar();

    std::string nome_;
    std::string temporario_;
    std::FILE* saida_ = nullptr;
    bool concluido_ = false;
};

// Fecha todos os arquivos e, só se todos foram gravados por inteiro, os põe no
// lugar um logo depois do outro, sem interrupção no meio. Se uma gravação
// falha, nenhum destino muda; se uma substituição falha, a mensagem diz quais
// já foram substituídos e quais ficaram como estavam. Os temporários que
// sobram são apagados. Depois das renomeações, leva ao disco as pastas dos
// destinos; se o sistema não confirma, os arquivos já estão no lugar: devolve
// o aviso (vazio se não há).
std::string concluir_juntos(std::span<Arquivo_saida* const> arquivos);
inline std::string concluir_juntos(std::initializer_list<Arquivo_saida*> arquivos)
{
    return concluir_juntos(std::span<Arquivo_saida* const>(arquivos.begin(), arquivos.size()));
}
