# Deslocamentos u e v ao longo da linha média vertical (x = Lx/2) da placa, lidos
# de desl_x_meio.txt (colunas: y, u, v). Grava desl_x_meio.png ao lado dos dados
# e, quando o gnuplot tem janela gráfica, mostra o gráfico até a janela ser
# fechada (o placa2d espera por isso antes de seguir).
#   wgnuplot desl_x_meio.gnu                 (Windows; é o que o placa2d roda)
#   gnuplot desl_x_meio.gnu                  (Linux)
#   gnuplot -e "janela=0" desl_x_meio.gnu    (só o PNG, sem janela)

dados  = "desl_x_meio.txt"
figura = "desl_x_meio.png"

# Há janela quando o terminal inicial é interativo e, fora do Windows, quando
# há tela gráfica; "janela" dada na linha de comando prevalece.
if (!exists("janela")) {
    janela = strstrt(" windows wxt qt x11 aqua ", " " . GPVAL_TERM . " ") > 0
    if (janela && strstrt(GPVAL_TERMINALS, " windows ") == 0) {
        janela = system("printf %s \"${DISPLAY}${WAYLAND_DISPLAY}\"") ne ""
    }
}

# Campo numérico do placa2d. Expoentes de três algarismos vêm sem a letra E
# (4.000000000000000-101), que o gnuplot sozinho leria como 4.
sinal_exp(s) = strlen(s) - 3
valor(s) = (strstrt(s, "E") == 0 && sinal_exp(s) > 1 && strstrt("+-", s[sinal_exp(s):sinal_exp(s)]) > 0) \
    ? real(s[1:sinal_exp(s) - 1]) * 10.0**real(s[sinal_exp(s):]) : real(s)
# Deslocamentos em micrômetros (o arquivo os tem em metros).
um = 1.0e6

# A placa e a malha da execução, no subtítulo: os dois arquivos da linha
# média têm uma linha por nó (Ny em desl_x_meio.txt, Nx em desl_y_meio.txt), e
# a última coordenada de cada um é Ly ou Lx. Sem o outro arquivo, só o título.
subtitulo = ""
stats dados using (valor(strcol(1))) nooutput
Ny = STATS_records; Ly = STATS_max
undefine STATS_*
stats "desl_y_meio.txt" using (valor(strcol(1))) nooutput
if (exists("STATS_records")) {
    Nx = STATS_records; Lx = STATS_max
    subtitulo = sprintf("\n{/*0.8 placa %g × %g m, malha %d × %d}", Lx, Ly, Nx, Ny)
}

set encoding utf8
set title "Deslocamentos na linha média vertical (x = Lx/2)" . subtitulo
set xlabel "posição y [m]"
set ylabel "deslocamento [µm]"
set grid
# Legenda embaixo, nunca acima do título; folga de 5 % em cima e embaixo para
# que uma curva sobre o zero (u na linha média vertical) não suma na moldura.
set key below center horizontal height 1
set offsets 0, 0, graph 0.05, graph 0.05
set style data linespoints

set terminal push
if (strstrt(GPVAL_TERMINALS, " pngcairo ") > 0) {
    set terminal pngcairo enhanced size 800,560 font "Sans,11"
} else {
    set terminal png enhanced size 800,560
}
set output figura
plot dados using (valor(strcol(1))):(um * valor(strcol(2))) linewidth 2 pointtype 7 pointsize 0.6 title "u (direção x)", \
     dados using (valor(strcol(1))):(um * valor(strcol(3))) linewidth 2 pointtype 5 pointsize 0.6 title "v (direção y)"
unset output
set terminal pop

if (janela) {
    replot
    pause mouse close
}
