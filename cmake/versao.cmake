# A versão do programa, num lugar só: a do project() e, num clone do git, a
# descrição do commit (git describe: a etiqueta mais próxima ou só o commit).
# Fica em PLACA2D_VERSAO (1.0.0-e02f0c3, ou 1.0.0 sem o git) e em
# versao.txt na pasta da compilação, que o pacote do Windows usa no nome do
# zip. Lida ao configurar: um commit novo reconfigura na compilação seguinte.
set(PLACA2D_VERSAO ${PROJECT_VERSION})
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} describe --tags --always
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE placa2d_descricao
    RESULT_VARIABLE placa2d_git_status OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(placa2d_git_status EQUAL 0 AND placa2d_descricao)
    # Uma etiqueta v1.0.0 no commit (ou antes dele) já diz a versão.
    string(REGEX REPLACE "^v" "" placa2d_sem_v "${placa2d_descricao}")
    string(FIND "${placa2d_sem_v}-" "${PROJECT_VERSION}-" placa2d_posicao)
    if(placa2d_posicao EQUAL 0)
      set(PLACA2D_VERSAO ${placa2d_sem_v})
    else()
      set(PLACA2D_VERSAO ${PROJECT_VERSION}-${placa2d_descricao})
    endif()
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --git-path logs/HEAD
      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE placa2d_historico
      OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(placa2d_historico)
      get_filename_component(placa2d_historico "${placa2d_historico}" ABSOLUTE BASE_DIR ${PROJECT_SOURCE_DIR})
      if(EXISTS "${placa2d_historico}")
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${placa2d_historico}")
      endif()
    endif()
  endif()
endif()
file(WRITE ${CMAKE_BINARY_DIR}/versao.txt "${PLACA2D_VERSAO}\n")
message(STATUS "placa2d ${PLACA2D_VERSAO}")
