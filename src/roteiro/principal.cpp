// Ponto de entrada: uma execução completa; qualquer falha termina aqui, com
// mensagem em português e status diferente de zero.
#include "modelo/erros.hpp"
#include "plataforma/console.hpp"
#include "roteiro/processamento.hpp"

#include <iostream>
#include <new>

int main()
{
    tratar_interrupcoes("placa2d: execução interrompida; nenhum arquivo de saída foi criado ou mudado\n");
    try {
        simulacao();
        return 0;
    } catch (const Erro_execucao& erro) {
        std::cerr << "placa2d: erro: " << erro.what() << '\n';
    } catch (const std::bad_alloc&) {
        std::cerr << "placa2d: erro: memória insuficiente\n";
    } catch (const std::exception& erro) {
        std::cerr << "placa2d: erro inesperado: " << erro.what() << '\n';
    }
    return 1;
}
