# Compilação cruzada para Linux em ARM64 com o Clang, que usa as bibliotecas e
# o ligador do GCC cruzado (g++-aarch64-linux-gnu).
#   cmake -S . -B build-arm64-clang -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu-clang.cmake -DPLACA2D_TESTES=OFF
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET aarch64-linux-gnu)
set(CMAKE_CXX_COMPILER_TARGET aarch64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/aarch64-linux-gnu.cmake)
