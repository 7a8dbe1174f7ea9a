# Confere os #include das pastas dadas contra as paredes das camadas
# (cmake/camadas.cmake): o que o caminho de inclusão não pode barrar.
#   cmake -DRAIZ=<raiz> -DPASTAS=<pasta;...> -DPUBLICOS=<lista> -P conferir_includes.cmake
# PUBLICOS: arquivo com os caminhos absolutos dos cabeçalhos públicos, um por
# linha. Regras, para cada #include:
# 1. sem '\' e sem '..' nem caminho absoluto: só o caminho da camada escolhe
#    o que se vê;
# 2. entre aspas, um caminho com '/' não pode existir ao lado do arquivo: o
#    compilador o acharia ali antes das raízes das camadas, por fora delas
#    ("rapidos/equipe.hpp" de src/solvers/);
# 3. um cabeçalho público vai pelo caminho da camada também de dentro da
#    própria pasta: um nome sem caminho quer dizer cabeçalho privado.
# Termina com erro, com todas as violações listadas, se achar alguma.

cmake_minimum_required(VERSION 3.20)

foreach(variavel IN ITEMS RAIZ PASTAS PUBLICOS)
  if(NOT DEFINED ${variavel})
    message(FATAL_ERROR "conferir_includes.cmake: falta -D${variavel}=...")
  endif()
endforeach()

file(STRINGS "${PUBLICOS}" publicos)
set(erros 0)

# Só as linhas de #include são lidas; o número da linha, só para a mensagem.
function(recusar arquivo texto motivo)
  file(READ "${arquivo}" conteudo)
  string(FIND "${conteudo}" "${texto}" posicao)
  string(SUBSTRING "${conteudo}" 0 ${posicao} antes)
  string(REGEX MATCHALL "\n" quebras "${antes}")
  list(LENGTH quebras numero)
  math(EXPR numero "${numero} + 1")
  file(RELATIVE_PATH nome "${RAIZ}" "${arquivo}")
  message("${nome}:${numero}: ${texto}: ${motivo}")
  math(EXPR n "${erros} + 1")
  set(erros ${n} PARENT_SCOPE)
endfunction()

foreach(pasta IN LISTS PASTAS)
  file(GLOB_RECURSE arquivos LIST_DIRECTORIES false "${RAIZ}/${pasta}/*.cpp" "${RAIZ}/${pasta}/*.hpp")
  foreach(arquivo IN LISTS arquivos)
    get_filename_component(dir "${arquivo}" DIRECTORY)
    file(STRINGS "${arquivo}" linhas REGEX "^[ \t]*#[ \t]*include")
    foreach(linha IN LISTS linhas)
      if(NOT linha MATCHES "^[ \t]*#[ \t]*include[ \t]*([\"<])([^\">]*)[\">]")
        continue()
      endif()
      set(forma "${CMAKE_MATCH_1}")
      set(caminho "${CMAKE_MATCH_2}")
      if(caminho MATCHES "\\\\")
        recusar("${arquivo}" "${linha}" "separador '\\'; use '/', pelo caminho a partir de src/")
      elseif(caminho MATCHES "(^|/)\\.\\.(/|$)" OR IS_ABSOLUTE "${caminho}")
        recusar("${arquivo}" "${linha}"
          "caminho relativo ou absoluto passa por cima das camadas; inclua pelo caminho a partir de src/")
      elseif(forma STREQUAL "\"" AND caminho MATCHES "/" AND EXISTS "${dir}/${caminho}")
        recusar("${arquivo}" "${linha}"
          "achado ao lado do arquivo, por fora das camadas; um cabeçalho de outra pasta vai pelo caminho a partir de src/, e só se for público e de uma camada de baixo")
      elseif(forma STREQUAL "\"" AND NOT caminho MATCHES "/" AND EXISTS "${dir}/${caminho}")
        get_filename_component(real "${dir}/${caminho}" ABSOLUTE)
        if(real IN_LIST publicos)
          file(RELATIVE_PATH camada "${RAIZ}/src" "${real}")
          recusar("${arquivo}" "${linha}"
            "cabeçalho público: inclua pelo caminho da camada, \"${camada}\" (sem caminho, só os privados da pasta)")
        endif()
      endif()
    endforeach()
  endforeach()
endforeach()

if(erros GREATER 0)
  message(FATAL_ERROR "${erros} #include contra as camadas (regras em cmake/conferir_includes.cmake)")
endif()
