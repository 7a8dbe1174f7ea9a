# Mapas dos campos e a história de convergência, lidos do relatório do placa2d
# gravado com modo_saida = 1 (todos os nós). Grava, ao lado do relatório:
#   mapa_temperatura.png   temperatura numérica, com isotermas
#   mapa_erro.png          erro (analítica - numérica), escala simétrica
#   mapa_deslocamento.png  módulo do deslocamento, com setas
#   convergencia.png       L1, L2 e Linf relativos a cada iteração, e tol
# e, quando o gnuplot tem janela gráfica, mostra os quatro numa janela até
# ela ser fechada. Cada figura diz no subtítulo a execução que a fez (placa,
# malha, it e tol); os mapas têm a forma da placa.
#   wgnuplot -c mapas.gnu relatorio.txt                 (Windows)
#   gnuplot -c mapas.gnu relatorio.txt                  (Linux)
#   gnuplot -e "janela=0" -c mapas.gnu relatorio.txt    (só os PNGs)
# Sem argumento, lê relatorio.txt. Só o gnuplot: nada de ferramentas do shell.
# O relatório é lido duas vezes: o de uma malha 301 x 301 (21 MB) leva uns
# 10 s; o de uma 1001 x 1001 (230 MB), alguns minutos.

relatorio = ARGC >= 1 ? ARG1 : "relatorio.txt"

if (!exists("janela")) {
    janela = strstrt(" windows wxt qt x11 aqua ", " " . GPVAL_TERM . " ") > 0
    if (janela && strstrt(GPVAL_TERMINALS, " windows ") == 0) {
        janela = system("printf %s \"${DISPLAY}${WAYLAND_DISPLAY}\"") ne ""
    }
}

# Os PNGs vão para a pasta do relatório.
pasta = ""
do for [i = strlen(relatorio):1:-1] {
    if (pasta eq "" && strstrt("/\\", relatorio[i:i]) > 0) { pasta = relatorio[1:i] }
}

# ------------------------------------------------------------------ leitura
# O relatório é texto Windows-1252 com CR LF; só os números interessam, e
# eles são ASCII. Cada linha inteira vira uma string (nenhuma tem tabulação)
# e é partida em palavras; words() trata o CR como branco.
set datafile separator "\t"

# Campo numérico do placa2d. Expoentes de três algarismos vêm sem a letra E
# (4.000000000000000-101), que o gnuplot sozinho leria como 4.
sinal_exp(s) = strlen(s) - 3
valor(s) = (strstrt(s, "E") == 0 && sinal_exp(s) > 1 && strstrt("+-", s[sinal_exp(s):sinal_exp(s)]) > 0) \
    ? real(s[1:sinal_exp(s) - 1]) * 10.0**real(s[sinal_exp(s):]) : real(s)
# Formas das palavras: real do relatório (tem ponto) e inteiro (só algarismos).
real_(s) = strlen(s) > 2 && strstrt(s, ".") > 0 && strstrt("0123456789-", s[1:1]) > 0 && strstrt(s, "=") == 0
inteiro_(s) = strlen(s) > 0 && strstrt(s, ".") == 0 && strstrt("0123456789", s[1:1]) > 0

# Linhas de cada listagem, reconhecidas pela forma e não pela posição:
#   história      iteração e três quocientes        (4 palavras, a 1a inteira)
#   temperaturas  x, y, numérica, analítica, erro   (5 reais)
#   deslocamentos x, y, u, v                        (4 reais)
linha_T(l) = words(l) == 5 && real_(word(l, 1)) && real_(word(l, 2)) && real_(word(l, 5))
linha_H(l) = words(l) == 4 && inteiro_(word(l, 1)) && real_(word(l, 2)) && real_(word(l, 4))
linha_D(l) = words(l) == 4 && real_(word(l, 1)) && real_(word(l, 2)) && real_(word(l, 4))

# Primeira leitura: os valores do cabeçalho ("valor = nome: descrição") e
# quantas linhas de temperatura há.
# A linha do tempo de processamento é a última: sem ela o relatório está cortado.
Nx = 0; Ny = 0; it = -1; tol = NaN; nT = 0; fim = 0
cabecalho(nome, v) = nome eq "Nx:" ? (Nx = int(valor(v))) : nome eq "Ny:" ? (Ny = int(valor(v))) : \
    nome eq "it:" ? (it = int(valor(v))) : nome eq "tol:" ? (tol = valor(v)) : 0
primeira(l) = (words(l) >= 3 && word(l, 2) eq "=") ? cabecalho(word(l, 3), word(l, 1)) : \
    strstrt(l, "Tempo de processamento") > 0 ? (fim = 1) : (nT = nT + linha_T(l))
stats relatorio using (primeira(strcol(1))) nooutput

nome = "mapas.gnu: o relatório \"" . relatorio . "\""
refazer = "; os mapas precisam de modo_saida = 1 (todos os nós): mude modo_saida em entrada_geral.ent e rode o placa2d de novo"
if (Nx < 3 || Ny < 3 || it < 0) {
    print nome . " não parece um relatório do placa2d: faltam as linhas de Nx, Ny ou it no cabeçalho"
    exit status 1
}
if (!fim) {
    print nome . " está incompleto: termina antes da linha do tempo de processamento, a última; rode o placa2d de novo para ter o relatório inteiro"
    exit status 1
}
if (nT == 0) {
    print nome . " não tem a listagem dos nós (modo_saida diferente de 1 e 2)" . refazer
    exit status 1
}
if (nT == 1) {
    print nome . " tem só o nó central (modo_saida = 2)" . refazer
    exit status 1
}
N = Nx * Ny
if (nT != N) {
    print sprintf("%s está incompleto ou misturado: %d linhas de temperatura para Nx*Ny = %d nós", nome, nT, N)
    exit status 1
}

# Segunda leitura: os campos, nó k = (iy-1)*Nx + ix, e a história.
array X[N]; array Y[N]; array T[N]; array E[N]; array U[N]; array V[N]
array H[it + 2]; array Q1[it + 2]; array Q2[it + 2]; array Q3[it + 2]
kT = 0; kD = 0; kH = 0
guardar_T(l) = kT >= N ? 0 : (kT = kT + 1, X[kT] = valor(word(l, 1)), Y[kT] = valor(word(l, 2)), \
    T[kT] = valor(word(l, 3)), E[kT] = valor(word(l, 5)))
guardar_D(l) = kD >= N ? 0 : (kD = kD + 1, U[kD] = valor(word(l, 3)), V[kD] = valor(word(l, 4)))
guardar_H(l) = kH >= it + 2 ? 0 : (kH = kH + 1, H[kH] = int(word(l, 1)), Q1[kH] = valor(word(l, 2)), \
    Q2[kH] = valor(word(l, 3)), Q3[kH] = valor(word(l, 4)))
segunda(l) = linha_T(l) ? guardar_T(l) : linha_H(l) ? guardar_H(l) : linha_D(l) ? guardar_D(l) : 0
stats relatorio using (segunda(strcol(1))) nooutput
set datafile separator whitespace

if (kD != N || kH < 1) {
    print sprintf("%s está incompleto: %d linhas de deslocamento para %d nós, %d linhas de história", nome, kD, N, kH)
    exit status 1
}

# Deslocamentos em micrômetros (o relatório os tem em metros).
um = 1.0e6
maior_erro = 0; maior_d = 0
do for [k = 1:N] {
    maior_erro = abs(E[k]) > maior_erro ? abs(E[k]) : maior_erro
    d = um * sqrt(U[k]**2 + V[k]**2)
    maior_d = d > maior_d ? d : maior_d
}

# A malha como blocos de linhas iy (uma linha em branco entre eles), para
# image, pm3d e isolinhas: x y T erro |d| u v.
set print $campo
do for [iy = 1:Ny] {
    do for [ix = 1:Nx] {
        k = (iy - 1) * Nx + ix
        print sprintf("%.17g %.17g %.17g %.17g %.17g %.17g %.17g", X[k], Y[k], T[k], E[k], \
            um * sqrt(U[k]**2 + V[k]**2), um * U[k], um * V[k])
    }
    print ""
}
set print $historia
do for [i = 1:kH] { print sprintf("%d %.17g %.17g %.17g", H[i], Q1[i], Q2[i], Q3[i]) }
unset print

Lx = X[N] - X[1]
Ly = Y[N] - Y[1]

# A execução que fez as figuras, no subtítulo de cada uma: placa, malha, it e tol.
curto = tol > 0 && Q1[kH] > tol
subtitulo = sprintf("placa %g × %g m, malha %d × %d, it = %d, tol = %g", Lx, Ly, Nx, Ny, it, tol)
sub(t) = t . "\n{/*0.8 " . subtitulo . "}"
sub_conv = !curto ? sub("História de convergência do problema térmico") : \
    "História de convergência do problema térmico\n{/*0.8 " . subtitulo . ": parou antes de tol (it = itmax)}"

# Escala da convergência: todas as curvas e a linha de tol dentro da moldura,
# mesmo quando a execução parou longe de tol.
menor = tol > 0 ? tol : 1; maior = 1
do for [i = 1:kH] {
    do for [q in "1 2 3"] {
        v = q eq "1" ? Q1[i] : q eq "2" ? Q2[i] : Q3[i]
        menor = v > 0 && v < menor ? v : menor
        maior = v > maior ? v : maior
    }
}

# Tamanho dos mapas pela forma da placa: a área do gráfico na proporção
# Lx x Ly, com margens fixas em pixels em volta (título em duas linhas,
# rótulos, a barra de cores com os números e o nome), sem faixas brancas.
m_esq = 80; m_dir = 175; m_cima = 70; m_baixo = 60
largura_area = 640; altura_area = largura_area * Ly / Lx
if (altura_area > 840) { altura_area = 840; largura_area = altura_area * Lx / Ly }
if (largura_area < 300) { largura_area = 300 }
if (altura_area < 160) { altura_area = 160 }
larg_mapa = int(largura_area + m_esq + m_dir); alt_mapa = int(altura_area + m_cima + m_baixo)

# Isotermas: dez níveis entre o menor e o maior valor.
set contour base
set cntrparam levels 10
unset surface
set view map
set table $isotermas
splot $campo using 1:2:3 notitle
unset table
unset contour

# Setas: umas 20 por lado, com a maior do tamanho do passo entre elas.
passo_x = Nx > 20 ? int(Nx / 20) : 1
passo_y = Ny > 20 ? int(Ny / 20) : 1
escala = maior_d > 0 ? 0.9 * (passo_x * Lx / (Nx - 1) < passo_y * Ly / (Ny - 1) ? passo_x * Lx / (Nx - 1) : passo_y * Ly / (Ny - 1)) / maior_d : 0
limite_erro = maior_erro > 0 ? maior_erro : 1

# ------------------------------------------------------------------ figuras
set encoding utf8
# Os comandos das quatro figuras, cada uma começando com "figura ARQUIVO.png".
$figuras << FIM
figura mapa_temperatura.png mapa
set title sub("Temperatura (solução numérica), com isotermas")
set xlabel "x [m]"; set ylabel "y [m]"; set cblabel "T [K]"
set palette rgbformulae 33,13,10; set cbrange [*:*]
set xrange [X[1]:X[N]]; set yrange [Y[1]:Y[N]]; set size ratio -1; unset logscale; unset grid; set key off; set format y
plot $campo using 1:2:3 with image, $isotermas using 1:2 with lines linecolor "black" linewidth 1
figura mapa_erro.png mapa
set title sub("Erro da solução numérica (analítica − numérica)")
set xlabel "x [m]"; set ylabel "y [m]"; set cblabel "erro [K]"
set palette defined (-1 "#2166ac", 0 "white", 1 "#b2182b"); set cbrange [-limite_erro:limite_erro]
set xrange [X[1]:X[N]]; set yrange [Y[1]:Y[N]]; set size ratio -1; unset logscale; unset grid; set key off; set format y
plot $campo using 1:2:4 with image
figura mapa_deslocamento.png mapa
set title sub("Deslocamento: módulo (cores) e direção (setas)")
set xlabel "x [m]"; set ylabel "y [m]"; set cblabel "|d| [µm]"
set palette rgbformulae 7,5,15; set cbrange [0:*]
set xrange [X[1]:X[N]]; set yrange [Y[1]:Y[N]]; set size ratio -1; unset logscale; unset grid; set key off; set format y
plot $campo using 1:2:5 with image, $campo every passo_x:passo_y using 1:2:(escala * $6):(escala * $7) with vectors head filled size graph 0.012,20 linecolor "black"
figura convergencia.png grafico
set title sub_conv
set xlabel "iteração"; set ylabel "norma / norma inicial"; unset cblabel
set xrange [0:*]; set yrange [menor / 3 : maior * 3]; set size noratio; set logscale y; set format y "10^{%L}"; set grid; set key below center horizontal height 1
plot $historia using 1:2 with lines linewidth 2 title "L1(it)/L1(0)", $historia using 1:3 with lines linewidth 2 title "L2(it)/L2(0)", $historia using 1:4 with lines linewidth 2 title "Linf(it)/Linf(0)", (tol > 0 ? tol : NaN) with lines dashtype 2 linecolor "black" title sprintf("tol = %.1e", tol)
FIM

# Cada figura num PNG ao lado do relatório.
set terminal push
do for [i = 1:|$figuras|] {
    if (word($figuras[i], 1) eq "figura") {
        larg = word($figuras[i], 3) eq "mapa" ? larg_mapa : 900
        alt = word($figuras[i], 3) eq "mapa" ? alt_mapa : 680
        if (strstrt(GPVAL_TERMINALS, " pngcairo ") > 0) {
            set terminal pngcairo enhanced size larg,alt font "Sans,11"
        } else {
            set terminal png enhanced size larg,alt
        }
        set output pasta . word($figuras[i], 2)
        if (word($figuras[i], 3) eq "mapa") {
            set lmargin at screen 1.0 * m_esq / larg_mapa; set rmargin at screen 1 - 1.0 * m_dir / larg_mapa
            set tmargin at screen 1 - 1.0 * m_cima / alt_mapa; set bmargin at screen 1.0 * m_baixo / alt_mapa
        } else {
            set lmargin -1; set rmargin 6; set tmargin -1; set bmargin -1
        }
    } else {
        eval $figuras[i]
    }
}
unset output
set terminal pop

# As quatro numa janela, até ela ser fechada.
if (janela) {
    set multiplot layout 2,2
    do for [i = 1:|$figuras|] {
        if (word($figuras[i], 1) eq "figura") {
            set lmargin -1; set rmargin -1; set tmargin -1; set bmargin -1
        } else {
            eval $figuras[i]
        }
    }
    unset multiplot
    pause mouse close
}
