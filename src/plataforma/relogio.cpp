#include "plataforma/relogio.hpp"

#include <chrono>

double relogio()
{
    using Relogio = std::chrono::steady_clock;
    static const Relogio::time_point inicio = Relogio::now();
    const std::chrono::duration<double> decorrido = Relogio::now() - inicio;
    return decorrido.count();
}
