// Nomes dos arquivos do próprio programa: a entrada, as saídas da linha média
// e os roteiros do gnuplot que as desenham.
#pragma once

namespace arquivos {

inline constexpr const char* entrada = "entrada_geral.ent";
inline constexpr const char* x_meio = "desl_x_meio.txt";
inline constexpr const char* y_meio = "desl_y_meio.txt";
inline constexpr const char* grafico_x_meio = "desl_x_meio.gnu";
inline constexpr const char* grafico_y_meio = "desl_y_meio.gnu";

// Os que o relatório não pode sobrescrever.
inline constexpr const char* proprios[] = {entrada, x_meio, y_meio, grafico_x_meio, grafico_y_meio};

} // namespace arquivos
