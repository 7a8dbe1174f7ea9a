# Compilação cruzada para Windows de 64 bits com o MinGW-w64 (Debian:
# g++-mingw-w64-x86-64). Variante posix dos compiladores, para que std::thread
# funcione; executável estático, sem DLLs do MinGW a distribuir junto.
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PLACA2D_MINGW_PREFIXO x86_64-w64-mingw32 CACHE STRING "Prefixo do MinGW-w64")
set(CMAKE_C_COMPILER ${PLACA2D_MINGW_PREFIXO}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PLACA2D_MINGW_PREFIXO}-g++-posix)
set(CMAKE_RC_COMPILER ${PLACA2D_MINGW_PREFIXO}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PLACA2D_MINGW_PREFIXO})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Sem a data da ligação no cabeçalho PE: o mesmo código dá o mesmo .exe (o
# pacote do Windows, make pacote-windows, é reprodutível).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")
