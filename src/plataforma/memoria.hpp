// Memória da máquina e memória zerada entregue sob demanda.
#pragma once

#include <cstddef>

// Memória física da máquina em bytes (0 se desconhecida).
unsigned long long memoria_fisica();

// Bytes zerados que o sistema só entrega de fato quando cada página é tocada
// (mmap anônimo; VirtualAlloc): pedir muito e usar pouco ocupa na memória
// física só o usado. No Windows, e num Linux sem overcommit
// (vm.overcommit_memory = 2), o pedido inteiro conta no limite de
// compromisso: além dele, nullptr logo aqui, antes de qualquer cálculo.
// nullptr também se não houver espaço de endereços.
void* alocar_sob_demanda(std::size_t bytes);
void liberar_sob_demanda(void* inicio, std::size_t bytes);
