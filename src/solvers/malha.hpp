// Numeração dos nós da malha: a única definição do índice de um nó.
//
// O nó (ix, iy), ix = 1..Nx e iy = 1..Ny, é o nó k = (iy-1)*Nx + ix. Os campos
// guardam o nó k no elemento k-1 (base 0); x(ix) em x[ix-1], y(iy) em y[iy-1];
// as histórias L1, L2, Linf guardam a entrada n (0..itmax) no elemento n.
#pragma once

#include <cstddef>
#include <cstdint>

// Elemento da coordenada i (1..n) de um vetor de base 0.
inline std::size_t indice(std::int32_t i) { return static_cast<std::size_t>(i - 1); }

// Elemento do nó (ix, iy) num campo de Nx nós por linha.
inline std::size_t no(std::int32_t ix, std::int32_t iy, std::int32_t Nx)
{
    return static_cast<std::size_t>(iy - 1) * static_cast<std::size_t>(Nx) + indice(ix);
}
