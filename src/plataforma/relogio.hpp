// Relógio de parede do processo.
#pragma once

// Segundos de relógio de parede desde a primeira chamada (que devolve 0.0).
double relogio();
