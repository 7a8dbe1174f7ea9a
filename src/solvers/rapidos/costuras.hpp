// As costuras dos testes: os pontos em que os testes provocam as falhas que
// o sistema raramente dá (falta de memória, thread que não pode ser criada)
// e desfazem a equipe. O programa liga costuras.cpp, em que nada falha; os
// executáveis dos testes ligam tests/costuras.cpp, com as mesmas funções e
// os comandos para as falhas, e o ligador fica com ela: um objeto do
// executável vem antes da biblioteca, e o membro dela com as mesmas funções
// não chega a ser puxado. Por isso costuras.cpp não tem mais nada.
#pragma once

namespace costuras {

// Onde os solvers rápidos alocam, na ordem em que o fazem: as faixas, antes
// de mexer em qualquer resultado; o campo salvo da solução térmica, no
// primeiro lote com várias threads (com histórias já escritas); as
// fronteiras dos deslocamentos, no primeiro lote com várias threads (com Su
// e Sv já escritos).
enum class Alocacao { faixas, campo_salvo, fronteiras };

// Logo antes dessa alocação; nos testes, pode lançar std::bad_alloc.
void alocar(Alocacao onde);
// Logo antes de criar uma thread da equipe; nos testes, pode lançar
// std::system_error, como o sistema sem recursos.
void criar_thread();

} // namespace costuras

namespace equipe {

// Desfaz a equipe (espera as threads terminarem), para a próxima preparar()
// criá-la de novo. Ninguém pode estar usando a equipe. Só os testes chamam.
void desfazer();

} // namespace equipe
