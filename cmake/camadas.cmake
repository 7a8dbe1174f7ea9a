# As paredes entre as camadas de src/.
#
# Um cabeçalho de outra pasta é incluído pelo caminho a partir de src/
# ("plataforma/console.hpp"); um privado, só da própria pasta e pelo nome
# ("windows.hpp"). Nenhuma pasta de src/ entra no caminho de inclusão: cada
# biblioteca declara os cabeçalhos que mostra (placa2d_cabecalhos), e cada um
# ganha um cabeçalho de repasse em build/camadas/<alvo>_<escopo>/<caminho>, que inclui o
# verdadeiro. É essa raiz que vai para quem liga o alvo. Assim:
# - um nome sem caminho só acha a própria pasta (o compilador procura primeiro
#   ao lado do arquivo, e nenhuma raiz tem cabeçalho solto);
# - um caminho de outra camada só acha os cabeçalhos mostrados, e só se o alvo
#   liga (direta ou indiretamente) a camada: subir de camada não compila;
# - o que o caminho de inclusão não pode barrar, a grafia relativa ao próprio
#   arquivo ("../modelo/variaveis.hpp", "rapidos/equipe.hpp" de solvers/), a
#   conferência dos #include barra (cmake/conferir_includes.cmake), numa etapa
#   da compilação normal.

# placa2d_cabecalhos(alvo PUBLIC|PRIVATE|INTERFACE cabeçalho...): o alvo
# mostra os cabeçalhos (caminhos relativos à pasta atual) com o escopo dado.
# Os PUBLIC entram na lista dos públicos, que a conferência usa para exigir
# o caminho da camada também de dentro da própria pasta.
function(placa2d_cabecalhos alvo escopo)
  set(sufixo_PUBLIC publicos)
  set(sufixo_PRIVATE privados)
  set(sufixo_INTERFACE mostrados)
  set(raiz "${PROJECT_BINARY_DIR}/camadas/${alvo}_${sufixo_${escopo}}")
  foreach(cabecalho IN LISTS ARGN)
    get_filename_component(real "${cabecalho}" ABSOLUTE)
    if(NOT EXISTS "${real}")
      message(FATAL_ERROR "placa2d_cabecalhos(${alvo}): ${real} não existe")
    endif()
    file(RELATIVE_PATH caminho "${PROJECT_SOURCE_DIR}/src" "${real}")
    set(repasse "${raiz}/${caminho}")
    set(texto "#include \"${real}\"\n")
    set(antigo "")
    if(EXISTS "${repasse}")
      file(READ "${repasse}" antigo)
    endif()
    # Regravar um repasse igual recompilaria quem o inclui.
    if(NOT antigo STREQUAL texto)
      file(WRITE "${repasse}" "${texto}")
    endif()
    set_property(GLOBAL APPEND PROPERTY PLACA2D_REPASSES "${repasse}")
    if(escopo STREQUAL "PUBLIC")
      set_property(GLOBAL APPEND PROPERTY PLACA2D_CABECALHOS_PUBLICOS "${real}")
    endif()
  endforeach()
  target_include_directories(${alvo} ${escopo} "${raiz}")
endfunction()

# A conferência dos #include de src/, tests/, bench/ e fuzz/ (regras em
# cmake/conferir_includes.cmake): uma etapa da compilação normal, antes da
# camada de baixo (e assim de tudo o que a liga). Chamada no fim do
# CMakeLists.txt de cima, depois que todas as pastas declararam os públicos.
function(placa2d_conferir_includes)
  # Um cabeçalho que deixou de ser mostrado não pode ficar achável.
  get_property(repasses GLOBAL PROPERTY PLACA2D_REPASSES)
  file(GLOB_RECURSE todos LIST_DIRECTORIES false "${PROJECT_BINARY_DIR}/camadas/*/*.hpp")
  foreach(repasse IN LISTS todos)
    if(NOT repasse IN_LIST repasses)
      file(REMOVE "${repasse}")
    endif()
  endforeach()
  get_property(publicos GLOBAL PROPERTY PLACA2D_CABECALHOS_PUBLICOS)
  set(lista "${PROJECT_BINARY_DIR}/camadas/publicos.txt")
  string(REPLACE ";" "\n" texto "${publicos}")
  file(CONFIGURE OUTPUT "${lista}" CONTENT "${texto}\n" @ONLY)
  set(fontes "")
  foreach(pasta IN ITEMS src tests bench fuzz)
    file(GLOB_RECURSE achados CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/${pasta}/*.cpp"
      "${PROJECT_SOURCE_DIR}/${pasta}/*.hpp")
    list(APPEND fontes ${achados})
  endforeach()
  set(carimbo "${PROJECT_BINARY_DIR}/camadas/includes_conferidos")
  add_custom_command(OUTPUT "${carimbo}"
    COMMAND "${CMAKE_COMMAND}" -DRAIZ=${PROJECT_SOURCE_DIR} "-DPASTAS=src;tests;bench;fuzz" -DPUBLICOS=${lista}
      -P "${PROJECT_SOURCE_DIR}/cmake/conferir_includes.cmake"
    COMMAND "${CMAKE_COMMAND}" -E touch "${carimbo}"
    DEPENDS ${fontes} "${lista}" "${PROJECT_SOURCE_DIR}/cmake/conferir_includes.cmake"
    COMMENT "Conferindo os #include contra as camadas"
    VERBATIM)
  add_custom_target(placa2d_includes ALL DEPENDS "${carimbo}")
  add_dependencies(placa2d_plataforma placa2d_includes)
endfunction()
