// Memória da máquina.
#pragma once

// Memória física da máquina em bytes (0 se desconhecida).
unsigned long long memoria_fisica();
