// Os lotes de uma fase em faixas, comuns às duas fases: quantas etapas tem
// um lote inteiro e, lote a lote, com quantas threads ele roda
// (equipe::Escolha, que recebe daqui o que o sistema mostra).
#pragma once

#include <cstdint>
#include <functional>

namespace lotes {

// Etapas de um lote inteiro: varreduras da solução térmica, ou etapas da
// fase dos deslocamentos (fontes e varreduras), em malhas de Nx x Ny nós,
// com n threads.
long long termico(std::int32_t Nx, std::int32_t Ny);
long long deslocamentos(std::int32_t Nx, std::int32_t Ny, int n);

// Das n threads que uma fase em malhas de Nx x Ny pode usar, as que pagam as
// passagens entre elas (o limiar da equipe::Escolha), ou todas as n com as
// threads fixas (ajustes.hpp). Quem roda a fase chama antes de preparar a
// equipe: abaixo do limiar nenhuma thread é criada.
int threads(int n, std::int32_t Nx, std::int32_t Ny);

// Roda as etapas 0 .. etapas-1 em lotes de até por_lote etapas, com n
// threads ou uma, lote a lote. lote(k0, k1, threads) roda as etapas k0 ..
// k1-1 e devolve a etapa em que o próximo lote começa: k1, uma anterior (a
// térmica refez o lote só até onde a decisão pediu) ou `etapas` (a fase
// acabou: a térmica parou). Com n <= 1, um lote só; com as threads fixas,
// n em todo lote, sem a Escolha. Devolve o maior número
// de threads de um lote.
int em_lotes(int n, long long etapas, long long por_lote,
             const std::function<long long(long long, long long, int)>& lote);

} // namespace lotes
