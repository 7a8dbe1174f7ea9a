// Formatação em colunas fixas: uma linha montada da esquerda para a direita
// com textos, campos numéricos e paradas de coluna, e o arquivo que a recebe.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

// Converte texto UTF-8 (os literais do programa) para Windows-1252.
std::string para_cp1252(std::string_view utf8);

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

// Arquivo de saída gravado num temporário ao lado do destino e renomeado sobre
// ele só quando completo; se não for concluído, o temporário é apagado e o
// arquivo anterior fica intacto.
class Arquivo_saida {
public:
    explicit Arquivo_saida(const std::string& nome);
    ~Arquivo_saida();
    Arquivo_saida(const Arquivo_saida&) = delete;
    Arquivo_saida& operator=(const Arquivo_saida&) = delete;

    // Grava a linha e o terminador CR LF.
    void escrever(const Linha& linha);
    void escrever_vazia();
    // Fecha, confere e põe o arquivo no lugar do destino.
    void concluir();

private:
    void falhar(const char* acao);
    void descartar();

    std::string nome_;
    std::string temporario_;
    std::ofstream saida_;
    bool concluido_ = false;
};
