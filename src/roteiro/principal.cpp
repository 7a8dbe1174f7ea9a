// Ponto de entrada: a linha de comando e uma execução completa; qualquer
// falha termina aqui, com mensagem em português e status diferente de zero.
#include "modelo/erros.hpp"
#include "plataforma/console.hpp"
#include "roteiro/janela.hpp"
#include "roteiro/linha_de_comando.hpp"
#include "roteiro/processamento.hpp"

#include <iostream>
#include <new>

namespace {

constexpr int status_erro = 1;
constexpr int status_argumento = 2;

// A ajuda ou a versão; uma saída que não aceita a escrita é um erro.
int escrever(const std::string& texto)
{
    std::cout << texto << std::flush;
    if (std::cout) return 0;
    std::cerr << "placa2d: erro: não foi possível escrever na saída padrão\n";
    return status_erro;
}

} // namespace

int main(int argc, char** argv)
{
    abrir_fluxos_padrao_fechados();
    const Console_inicial console = observar_console();
    const Linha_de_comando linha = interpretar_linha_de_comando(argumentos_do_programa(argc, argv));
    if (linha.nao_entendido) {
        std::cerr << "placa2d: erro: " << recusa_do_argumento(*linha.nao_entendido) << '\n';
        if (esperar_enter_ao_fechar(console, Desfecho::erro)) esperar_enter();
        return status_argumento;
    }
    if (linha.ajuda) return escrever(texto_da_ajuda());
    if (linha.versao) return escrever(texto_da_versao());

    tratar_interrupcoes("placa2d: execução interrompida; nenhum arquivo de saída foi criado ou mudado\n",
                        esperar_enter_ao_fechar(console, Desfecho::interrupcao));
    int status = status_erro;
    try {
        simulacao(Opcoes_de_saida{.campos = linha.campos});
        status = 0;
    } catch (const Erro_execucao& erro) {
        std::cerr << "placa2d: erro: " << erro.what() << '\n';
    } catch (const std::bad_alloc&) {
        std::cerr << "placa2d: erro: memória insuficiente\n";
    } catch (const std::exception& erro) {
        std::cerr << "placa2d: erro inesperado: " << erro.what() << '\n';
    }
    const Desfecho desfecho = status != 0 ? Desfecho::erro : houve_aviso() ? Desfecho::aviso : Desfecho::sucesso;
    if (esperar_enter_ao_fechar(console, desfecho)) esperar_enter();
    return status;
}
