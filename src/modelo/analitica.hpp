// Solução analítica da placa: a fórmula da temperatura média, num lugar só,
// para que a recusa de parâmetros avalie exatamente o que a solução avaliará.
#pragma once

struct Media_analitica {
    double numerador;
    double denominador;
    double valor() const { return numerador / denominador; }
};

// Média de Ta na placa Lx por Ly; representável se numerador e denominador
// forem finitos.
Media_analitica media_analitica(double pi, double Lx, double Ly);
