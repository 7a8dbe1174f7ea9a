#include "roteiro/janela.hpp"

bool esperar_enter_ao_fechar(const Console_inicial& console, Desfecho desfecho)
{
    return console.sozinho && console.entrada_no_console && desfecho != Desfecho::sucesso;
}
