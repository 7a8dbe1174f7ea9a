# A conferência dos #include (cmake/conferir_includes.cmake), uma linha por
# grafia: cada caso monta uma árvore pequena com um só #include plantado e
# confere se a conferência recusa (com o motivo) ou aceita.
#   cmake -DCONFERENCIA=<conferir_includes.cmake> -DTMP=<pasta> -P teste_camadas.cmake
cmake_minimum_required(VERSION 3.20)

# arquivo|#include|motivo esperado ("" = aceito)
set(casos
  "src/b/f.cpp|#include \"../a/privado.hpp\"|caminho relativo ou absoluto"
  "src/b/f.cpp|#include <../a/privado.hpp>|caminho relativo ou absoluto"
  "src/b/f.cpp|#include \"..\\a\\privado.hpp\"|separador"
  "src/f.cpp|#include \"b/sub/x.hpp\"|achado ao lado do arquivo"
  "src/b/f.cpp|#include \"sub/x.hpp\"|achado ao lado do arquivo"
  "src/a/f.cpp|#include \"publico.hpp\"|cabeçalho público: inclua pelo caminho da camada, \"a/publico.hpp\""
  "src/a/f.cpp|#include \"privado.hpp\"|"
  "src/b/f.cpp|#include \"a/publico.hpp\"|"
  "src/b/f.cpp|#include <vector>|")

set(falhas 0)
set(n 0)
foreach(caso IN LISTS casos)
  string(REPLACE "|" ";" partes "${caso}")
  list(GET partes 0 arquivo)
  list(GET partes 1 linha)
  list(LENGTH partes tamanho)
  set(motivo "")
  if(tamanho GREATER 2)
    list(GET partes 2 motivo)
  endif()
  math(EXPR n "${n} + 1")
  set(raiz "${TMP}/caso_${n}")
  file(REMOVE_RECURSE "${raiz}")
  file(WRITE "${raiz}/src/a/publico.hpp" "#pragma once\n")
  file(WRITE "${raiz}/src/a/privado.hpp" "#pragma once\n")
  file(WRITE "${raiz}/src/b/sub/x.hpp" "#pragma once\n")
  file(WRITE "${raiz}/publicos.txt" "${raiz}/src/a/publico.hpp\n")
  file(WRITE "${raiz}/${arquivo}" "// caso\n\n${linha}\n")
  execute_process(COMMAND "${CMAKE_COMMAND}" -DRAIZ=${raiz} -DPASTAS=src -DPUBLICOS=${raiz}/publicos.txt
    -P "${CONFERENCIA}" RESULT_VARIABLE status OUTPUT_VARIABLE saida ERROR_VARIABLE saida)
  if(motivo STREQUAL "")
    if(NOT status EQUAL 0)
      message("FALHOU: ${arquivo}: ${linha}: devia ser aceito, e foi recusado:\n${saida}")
      math(EXPR falhas "${falhas} + 1")
    endif()
  else()
    string(FIND "${saida}" "${arquivo}:3: ${linha}: ${motivo}" achado)
    if(status EQUAL 0 OR achado EQUAL -1)
      message("FALHOU: ${arquivo}: ${linha}: devia ser recusado (${motivo}), na linha 3; status ${status}:\n${saida}")
      math(EXPR falhas "${falhas} + 1")
    endif()
  endif()
endforeach()
if(falhas GREATER 0)
  message(FATAL_ERROR "${falhas} de ${n} casos falharam")
endif()
message("${n} casos conferidos")
