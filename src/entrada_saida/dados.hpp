// Entrada e saída: leitura de entrada_geral.ent, relatório de resultados,
// arquivos da linha média, campos e visualizadores. A implementação é dividida
// por tarefa: dados_entrada.cpp (leitura), dados_relatorio.cpp (relatório),
// campos.cpp (campos.vti e campos.csv) e dados_saidas.cpp (temporários, linha
// média, gravação e visualizadores).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// Abre entrada_geral.ent no editor, espera, e lê os catorze parâmetros.
void ler_entrada();

// Lê os catorze parâmetros do conteúdo do arquivo para o estado.
void interpretar_entrada(std::string_view conteudo);

// Nome do arquivo do relatório: o lido, sem os brancos (e NULs) das pontas,
// como o sistema o recebe (no Windows, em UTF-8; ver nome_do_sistema).
std::string nome_relatorio_aparado();

// Um aviso se o nome do relatório foi cortado em 100 caracteres (vazio se não).
std::string aviso_do_nome_cortado();

// O que a linha de comando pede além das saídas de sempre.
struct Opcoes_de_saida {
    bool campos = false; // campos.vti e campos.csv
};

// Os temporários do relatório, dos arquivos da linha média e, se pedidos, dos
// campos; destruídos sem ser concluídos, são apagados.
struct Saidas;
struct Descartar_saidas {
    void operator()(Saidas* saidas) const;
};
using Saidas_preparadas = std::unique_ptr<Saidas, Descartar_saidas>;

// Cria os temporários: prova, antes do cálculo, que as saídas podem ser gravadas.
Saidas_preparadas preparar_saidas(const Opcoes_de_saida& opcoes = {});

// Grava as saídas nos temporários, põe todas no lugar juntas, dá os avisos
// (nome cortado, pasta não confirmada no disco) e abre os visualizadores.
void escrever_resultados(Saidas_preparadas saidas);

// As partes de escrever_resultados.
class Arquivo_saida;
void escrever_relatorio(Arquivo_saida& relatorio);
void escrever_linhas_medias(Arquivo_saida& x_meio, Arquivo_saida& y_meio);

// Bytes que escrever_resultados vai gravar nessas saídas, aproximado (para a
// linha de progresso).
std::uint64_t bytes_previstos_das_saidas(const Saidas& saidas);
