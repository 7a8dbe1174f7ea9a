// Os campos de todos os nós para as ferramentas que os alunos já usam:
// campos.vti (VTK XML ImageData, que o ParaView abre) e campos.csv (planilha
// em português, pandas). Lidos de volta, os números dão os mesmos doubles do
// programa. Os dois são gravados nó a nó, sem nada do tamanho da malha na
// memória.
#pragma once

#include <cstdint>

class Arquivo_saida;

// Nomes dos vetores do VTI e das colunas do CSV, com as unidades dos mapas.
// O erro é o do relatório: analítica menos numérica.
namespace nome_campo {
inline constexpr const char* T = "T numérica [K]";
inline constexpr const char* Ta = "T analítica [K]";
inline constexpr const char* erro = "Erro (analítica - numérica) [K]";
inline constexpr const char* u = "u [m]";
inline constexpr const char* v = "v [m]";
inline constexpr const char* deslocamento = "Deslocamento [m]"; // (u, v, 0)
} // namespace nome_campo

// VTK XML ImageData: origem (0, 0, 0), espaçamento (dx, dy, 1), Nx x Ny x 1
// pontos na ordem dos nós do programa (ix mais rápido). Dados dos pontos em
// binário base64 (Float64 na ordem de bytes da máquina, declarada no
// cabeçalho), com o deslocamento como vetor de 3 componentes marcado como o
// vetor do conjunto (o Glyph e o Warp By Vector do ParaView o pegam direto).
void escrever_campos_vti(Arquivo_saida& f);

// UTF-8 com BOM, CR LF, ';' entre os campos e vírgula decimal (uma planilha
// em português abre com dois cliques, cada número como número): uma linha de
// títulos e uma por nó, na ordem dos nós: ix, iy, x, y, T, Ta, erro, u, v.
void escrever_campos_csv(Arquivo_saida& f);

// Bytes dos dois arquivos na malha do estado: o do VTI exato, o do CSV aproximado.
std::uint64_t bytes_previstos_dos_campos();

// O texto mais curto que, lido de volta, dá o mesmo double (no máximo 17
// algarismos significativos), com `separador` como separador decimal e
// expoente com E ("-2,5E-07"). Devolve o fim do texto; `destino` tem ao menos
// 32 bytes.
char* numero_exato(char* destino, double valor, char separador);
