// Entrada e saída: leitura de entrada_geral.ent, relatório de resultados,
// arquivos da linha média e visualizadores. A implementação é dividida por
// tarefa: dados_entrada.cpp (leitura), dados_relatorio.cpp (relatório) e
// dados_saidas.cpp (temporários, linha média, gravação e visualizadores).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Abre entrada_geral.ent no editor, espera, e lê os catorze parâmetros.
void ler_entrada();

// Lê os catorze parâmetros do conteúdo do arquivo para o estado.
void interpretar_entrada(std::string_view conteudo);

// Nome do relatório sem os brancos (e NULs) das pontas.
std::string nome_relatorio_aparado();

// Cria os temporários do relatório e dos arquivos da linha média: prova,
// antes do cálculo, que as saídas podem ser gravadas.
void preparar_saidas();

// Grava as saídas nos temporários, põe as três no lugar juntas e abre os
// visualizadores.
void escrever_resultados();

// As partes de escrever_resultados.
class Arquivo_saida;
void escrever_relatorio(Arquivo_saida& relatorio);
void escrever_linhas_medias(Arquivo_saida& x_meio, Arquivo_saida& y_meio);

// Bytes que escrever_resultados vai gravar nas três saídas, aproximado (para a
// linha de progresso).
std::uint64_t bytes_previstos_das_saidas();
