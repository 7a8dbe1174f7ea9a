// Recusa de parâmetros que levariam a resultados sem sentido e verificação
// das falhas aritméticas, para que nenhuma execução termine com lixo e status 0.
#pragma once

#include <cstdint>

struct Opcoes_de_saida;

// Confere os parâmetros lidos (o nome do relatório contra as saídas que
// `opcoes` pedem); lança Erro_execucao com o parâmetro, o valor e a regra.
void validar_parametros(const Opcoes_de_saida& opcoes);

// Bytes que os vetores do cálculo ocupam na malha do estado com `iteracoes`
// iterações térmicas feitas (as histórias só ocupam as entradas tocadas). A
// gravação das saídas, campos inclusive, vai nó a nó e não soma nada do
// tamanho da malha.
std::uint64_t memoria_necessaria(std::int64_t iteracoes);

// Lança Erro_execucao dizendo quanta memória o cálculo precisa (com itmax iterações).
[[noreturn]] void falta_de_memoria();

// Apaga os indicadores de divisão por zero, estouro e operação inválida.
void limpar_falhas_aritmeticas();

// Lança Erro_execucao se algum desses indicadores estiver ligado.
void verificar_falhas_aritmeticas(const char* etapa);
