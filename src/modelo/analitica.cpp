#include "modelo/analitica.hpp"

#include <cmath>

Media_analitica media_analitica(double pi, double Lx, double Ly)
{
    return {(std::cosh(pi * Ly / Lx) - 1.0) * Lx * 2.0, std::sinh(pi * Ly / Lx) * (pi * pi) * Ly};
}
