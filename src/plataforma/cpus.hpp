// CPUs do processo e a carga que outros processos põem nelas.
#pragma once

// CPUs em que este processo pode rodar: a máscara de afinidade (Linux) ou a
// afinidade do processo (Windows); se o sistema não disser, as do hardware.
// Pelo menos 1.
int cpus_disponiveis();

// Quantas tarefas de outros processos prontas para rodar há agora no sistema
// (Linux: as do /proc/loadavg menos as deste processo); 0 onde o sistema não
// diz (sem /proc, como no macOS, e no Windows).
int tarefas_prontas_de_outros();
// Se tarefas_prontas_de_outros() sabe do sistema (há /proc/loadavg).
bool carga_do_sistema_visivel();

// A thread que chama só roda quando sobra CPU (SCHED_IDLE no Linux, prioridade
// ociosa no Windows): acordar não tira da CPU uma thread de cálculo.
void thread_so_com_cpu_ociosa();
