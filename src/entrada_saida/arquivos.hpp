// Nomes dos arquivos do programa e do kit: a entrada, as saídas da linha
// média, os campos para outras ferramentas, os roteiros do gnuplot e os
// gráficos que eles gravam. O teste do kit
// (tests/teste_kit.cpp) confere estas listas com os roteiros de exemplo/ e
// com ferramentas/placa2d-rodar.
#pragma once

namespace arquivos {

inline constexpr const char* entrada = "entrada_geral.ent";
inline constexpr const char* x_meio = "desl_x_meio.txt";
inline constexpr const char* y_meio = "desl_y_meio.txt";
// Os campos de todos os nós (com --campos), no diretório de trabalho.
inline constexpr const char* campos_vti = "campos.vti";
inline constexpr const char* campos_csv = "campos.csv";
inline constexpr const char* grafico_x_meio = "desl_x_meio.gnu";
inline constexpr const char* grafico_y_meio = "desl_y_meio.gnu";
inline constexpr const char* mapas = "mapas.gnu";

// Os PNGs que os roteiros das linhas médias gravam no diretório de trabalho.
inline constexpr const char* png_x_meio = "desl_x_meio.png";
inline constexpr const char* png_y_meio = "desl_y_meio.png";
// Os que mapas.gnu grava na pasta do relatório.
inline constexpr const char* pngs_dos_mapas[] = {"mapa_temperatura.png", "mapa_erro.png", "mapa_deslocamento.png",
                                                 "convergencia.png"};

// Os do diretório de trabalho que o relatório não pode sobrescrever.
inline constexpr const char* proprios[] = {entrada,        x_meio, y_meio,     grafico_x_meio,
                                           grafico_y_meio, mapas,  png_x_meio, png_y_meio};

} // namespace arquivos
