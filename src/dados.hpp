// Entrada e saída: leitura de entrada_geral.ent, relatório de resultados,
// arquivos da linha média e visualizadores.
#pragma once

#include <string>
#include <string_view>

// Abre entrada_geral.ent no editor, espera, e lê os catorze parâmetros.
void ler_entrada();

// Lê os catorze parâmetros do conteúdo do arquivo para o estado.
void interpretar_entrada(std::string_view conteudo);

// Nome do relatório sem os brancos (e NULs) das pontas.
std::string nome_relatorio_aparado();

// Relatório, arquivos da linha média e visualizadores.
void escrever_resultados();

// As partes de escrever_resultados.
void escrever_relatorio();
void escrever_linhas_medias();
