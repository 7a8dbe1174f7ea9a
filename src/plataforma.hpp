// Camada de plataforma: tudo o que depende do sistema operacional.
#pragma once

#include <string>

// Entrega a linha de comando ao interpretador do sistema (/bin/sh -c ou
// COMSPEC /c), espera o fim e devolve o status de saída.
int executar_comando(const std::string& linha);

// Segundos de relógio de parede desde a primeira chamada (que devolve 0.0).
double relogio();

// O nome como argumento de uma linha de comando: sem aspas quando só tem
// letras, algarismos e ._-/ (no Windows também \ e :); senão, entre aspas do
// interpretador (simples no sh, duplas no cmd), para abrir aquele arquivo e
// nunca executar um segundo comando.
std::string citar_argumento(const std::string& nome);

// Memória física da máquina em bytes (0 se desconhecida).
unsigned long long memoria_fisica();

// CPUs em que este processo pode rodar: a máscara de afinidade (Linux) ou a
// afinidade do processo (Windows); se o sistema não disser, as do hardware.
// Pelo menos 1.
int cpus_disponiveis();
