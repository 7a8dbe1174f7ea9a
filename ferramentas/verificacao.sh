#!/usr/bin/env bash
# Ordem de precisão do placa2d, medida de fora: o programa de verdade numa
# sequência de malhas, cada uma com h pela metade da anterior. A temperatura
# tem solução analítica: mede-se o erro. Os deslocamentos não têm: mede-se a
# diferença entre malhas vizinhas, que cai como o erro.
#   ferramentas/verificacao.sh           malhas de 11 a 161 nós por lado, a série
#                                        com dx ≠ dy e o gráfico build/verificacao.png
#   ferramentas/verificacao.sh --docs    o mesmo, com o gráfico em docs/imagens/
#                                        (a imagem guardada no repositório)
#   ferramentas/verificacao.sh --rapida  malhas até 81 nós, sem a série com dx ≠ dy
#                                        e sem gráfico (o teste do ctest)
# O executável é $PLACA2D ou build/placa2d. A última linha é
#   ordem observada: térmica 2.00, deslocamentos 1.99
# (das duas malhas mais finas: erro da temperatura no centro e v no centro).
# Status 1 se alguma ordem observada com dx = dy sair de [1.8, 2.2].
set -euo pipefail

raiz=$(cd "$(dirname "$0")/.." && pwd)
programa=${PLACA2D:-$raiz/build/placa2d}
# O gráfico vai para a pasta da compilação: uma verificação comum não muda
# a imagem guardada no repositório (outro gnuplot a desenharia diferente).
figura=$raiz/build/verificacao.png
malhas=(11 21 41 81 161)
rapida=0
case ${1:-} in
  "") ;;
  --docs) figura=$raiz/docs/imagens/verificacao.png ;;
  --rapida) rapida=1; malhas=(11 21 41 81) ;;
  *) echo "verificacao: opção desconhecida: $1 (uso: verificacao.sh [--rapida | --docs])" >&2; exit 2 ;;
esac
[ -x "$programa" ] || { echo "verificacao: $programa não existe; compile com: make -C $raiz programa" >&2; exit 1; }

tmp=$(mktemp -d "${TMPDIR:-/tmp}/placa2d-verificacao.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
export LC_ALL=C

# Substitutos mudos de notepad e wgnuplot: nada abre, nada espera.
mkdir "$tmp/bin"
printf '#!/bin/sh\nexit 0\n' >"$tmp/bin/notepad"
cp "$tmp/bin/notepad" "$tmp/bin/wgnuplot"
chmod +x "$tmp/bin/notepad" "$tmp/bin/wgnuplot"

# Progresso, só num terminal.
terminal=0
[ -t 2 ] && terminal=1
inicio=$SECONDS
n_casos=${#malhas[@]}
[ "$rapida" = 1 ] || n_casos=$((2 * n_casos))
caso=0
progresso() {
  [ "$terminal" = 1 ] || return 0
  local s=$((SECONDS - inicio))
  printf '\r\033[Kverificação: %s (%d de %d)  %d:%02d' "$1" "$caso" "$n_casos" $((s / 60)) $((s % 60)) >&2
}
limpar_progresso() { [ "$terminal" = 0 ] || printf '\r\033[K' >&2; }

# Números do relatório e dos arquivos da linha média: expoentes de três
# algarismos vêm sem a letra E (4.000000000000000-101).
awk_numeros='
function real(s) { return s ~ /^[-+]?[0-9]*\.[0-9]*([Ee][-+]?[0-9]+|[-+][0-9]+)?$/ }
function num(s) {
  if (s !~ /[Ee]/ && match(s, /[0-9][-+][0-9]+$/)) s = substr(s, 1, RSTART) "E" substr(s, RSTART + 1)
  return s + 0
}
{ sub(/\r$/, "") }'

# rodar Lx Ly N itgs itdesl: o placa2d numa pasta nova com N x N nós e
# modo_saida 2 (só o nó central). Escreve uma linha:
#   N it T_num T_analítica erro_centro erro_média u_centro v_centro u(Lx/4,Ly/2) tempo
# (u(Lx/4, Ly/2) vem de desl_y_meio.txt; "-" quando Lx/4 não é nó).
rodar() {
  local Lx=$1 Ly=$2 N=$3 itgs=$4 itdesl=$5
  local d=$tmp/caso$caso itmax=$((10 * ($3 - 1) * ($3 - 1) + 1000)) s=0
  mkdir "$d"
  cat >"$d/entrada_geral.ent" <<FIM
'relatorio.txt'   nome do relatório
$Lx        Lx
$Ly        Ly
$N         Nx
$N         Ny
$itmax     itmax
$itgs      itgs
$itdesl    itdesl
1.0E-13    tol
0.0        reserva
0.3        nu
1.0        alpha
2          modo_saida: só o nó central
-1         passo_hist: só a última iteração
FIM
  (cd "$d" && PATH="$tmp/bin:$PATH" PLACA2D_PROGRESSO=0 "$programa" </dev/null >"$d/saida" 2>&1) || s=$?
  limpar_progresso
  if [ "$s" != 0 ]; then
    echo "verificacao: o placa2d falhou na placa $Lx x $Ly com $N x $N nós (status $s):" >&2
    cat "$d/saida" >&2
    exit 1
  fi
  local quarto=-
  if [ $(((N - 1) % 4)) = 0 ]; then
    quarto=$(awk "$awk_numeros"'
      NR == l && real($1) && real($2) && (num($1) - x) ^ 2 < 1e-20 { printf "%.17g\n", num($2); achou = 1 }
      END { if (!achou) print "?" }' l=$(((N - 1) / 4 + 1)) x="$(awk "BEGIN { print $Lx / 4 }")" "$d/desl_y_meio.txt")
  fi
  awk "$awk_numeros"'
    $2 == "=" && $3 == "it:" { it = $1 }
    NF == 5 && real($1) && real($2) && real($3) && real($4) && real($5) { nT++; Tn = num($3); Ta = num($4); ec = num($5) }
    NF == 4 && real($1) && real($2) && real($3) && real($4) { nD++; uc = num($3); vc = num($4) }
    /^Erro num/ && real($NF) { em = num($NF) }
    /^Tempo de processamento/ && real($NF) { t = num($NF) }
    END {
      if (nT != 1 || nD != 1 || it == "" || em == "" || t == "" || q == "?") {
        printf "verificacao: relatório ou desl_y_meio.txt fora da forma esperada (%s)\n", FILENAME > "/dev/stderr"; exit 1
      }
      if (it + 0 >= itmax) {
        printf "verificacao: o problema térmico não convergiu em %d varreduras (%s)\n", itmax, FILENAME > "/dev/stderr"; exit 1
      }
      printf "%d %d %.17g %.17g %.17g %.17g %.17g %.17g %s %.3f\n", N, it, Tn, Ta, ec, em, uc, vc, q, t
    }' N="$N" q="$quarto" itmax="$itmax" "$d/relatorio.txt"
  rm -rf "$d"
}

# Placa 1 x 1 com dx = dy; deslocamentos até convergir: itgs 20 e itdesl
# (N-1)²/4 (com o dobro, o relatório e os arquivos da linha média saem iguais,
# byte a byte, fora a linha do tempo).
for N in "${malhas[@]}"; do
  caso=$((caso + 1))
  progresso "placa 1 x 1, malha $N x $N"
  rodar 1.0 1.0 "$N" 20 $(((N - 1) * (N - 1) / 4)) >>"$tmp/quadrada"
done
# Placa 2 x 1 com Nx = Ny: dx = 2·dy. Só a temperatura.
if [ "$rapida" = 0 ]; then
  for N in "${malhas[@]}"; do
    caso=$((caso + 1))
    progresso "placa 2 x 1, malha $N x $N"
    rodar 2.0 1.0 "$N" 0 0 >>"$tmp/retangular"
  done
fi

# Tabelas e ordens. h cai pela metade de uma malha para a seguinte: a razão
# entre erros (ou diferenças) vizinhos é 2^p, p a ordem observada.
awk -v dados="$tmp/grafico" '
function abs(x) { return x < 0 ? -x : x }
# Razão e ordem de dois erros (ou diferenças) vizinhos; sem ordem quando o
# sinal troca. Anota em "fora" a ordem que sai de [1.8, 2.2].
function razao_ordem(nome, a, b,   r, p) {
  r = a / b
  if (r <= 0) {
    fora = fora sprintf("\n  %s: razão %.2f, o sinal troca (não converge)", nome, r)
    printf " %6.2f %6s", r, "-"; return "-"
  }
  p = log(r) / log(2)
  if (!(p >= 1.8 && p <= 2.2)) fora = fora sprintf("\n  %s: %.2f", nome, p)
  printf " %6.2f %6.2f", r, p; return sprintf("%.2f", p)
}
function sh(x) { return (exp(x) - exp(-x)) / 2 }
FILENAME ~ /quadrada$/ {
  n++; N[n] = $1; h[n] = 1 / ($1 - 1); it[n] = $2; ec[n] = $5; em[n] = $6; vc[n] = $8; uq[n] = $9; t[n] = $10
  if (abs($7) > u_centro) u_centro = abs($7)
  next
}
{ m++; R[m] = $1; Tn[m] = $3; Ta[m] = $4; er[m] = $5 }
END {
  print "Verificação da ordem de precisão: o placa2d em malhas com h pela metade a cada linha"
  print "Placa 1 x 1 m, dx = dy = h; tol 1e-13; deslocamentos com nu 0.3, alpha 1, itgs 20, itdesl (N-1)²/4"
  print ""
  print "Temperatura: erro = analítica − numérica"
  print "        nós            h  varreduras  erro no centro  razão  ordem   erro da média  razão  ordem  tempo (s)"
  for (i = 1; i <= n; i++) {
    printf "  %4d x %-4d  %9.3e  %10d  %14.3e", N[i], N[i], h[i], it[i], ec[i]
    if (i > 1) {
      pT = razao_ordem(sprintf("erro da temperatura no centro, %d -> %d nós", N[i - 1], N[i]), ec[i - 1], ec[i])
    } else printf " %6s %6s", "", ""
    printf "  %14.3e", em[i]
    if (i > 1) {
      razao_ordem(sprintf("erro da temperatura média, %d -> %d nós", N[i - 1], N[i]), em[i - 1], em[i])
    } else printf " %6s %6s", "", ""
    printf "  %9.3f\n", t[i]
    printf "%.17g %.17g %.17g\n", h[i], abs(ec[i]), abs(em[i]) > (dados ".termica")
  }
  print ""
  print "Deslocamentos (sem solução analítica): diferença entre a malha da linha e a anterior"
  printf "u no centro é zero por simetria (o relatório mostra só arredondamento, |u| até %.1e): u vem de (Lx/4, Ly/2), em desl_y_meio.txt\n", u_centro
  print "        nós            h      v no centro   diferença  razão  ordem    u(Lx/4, Ly/2)   diferença  razão  ordem"
  k = 0
  for (i = 1; i <= n; i++) {
    if (uq[i] == "-") continue
    k++
    printf "  %4d x %-4d  %9.3e  %15.8e", N[i], N[i], h[i], vc[i]
    if (k > 1) {
      dv[k] = vc[i] - vc[ant]; du[k] = uq[i] - uq[ant]
      printf "  %10.3e", dv[k]
      if (k > 2) {
        pD = razao_ordem(sprintf("v no centro, %d -> %d -> %d nós", N[ant2], N[ant], N[i]), dv[k - 1], dv[k])
      } else printf " %6s %6s", "", ""
      printf "  %15.8e  %10.3e", uq[i], du[k]
      if (k > 2) {
        razao_ordem(sprintf("u em (Lx/4, Ly/2), %d -> %d -> %d nós", N[ant2], N[ant], N[i]), du[k - 1], du[k])
      }
      printf "\n"
      printf "%.17g %.17g %.17g\n", h[ant], abs(dv[k]), abs(du[k]) > (dados ".deslocamentos")
    } else printf "  %10s %6s %6s  %15.8e\n", "", "", "", uq[i]
    ant2 = ant; ant = i
  }
  if (m > 0) {
    # Com dx ≠ dy o esquema aproxima (dx/dy)·T_xx + T_yy = 0. Mesmas bordas:
    # Tb = sin(pi x/Lx) sinh(sqrt(a) pi y/Lx) / sinh(sqrt(a) pi Ly/Lx), a = dx/dy.
    pi = atan2(0, -1); Lx = 2; Ly = 1; a = 2
    Tb = sh(sqrt(a) * pi * (Ly / 2) / Lx) / sh(sqrt(a) * pi * Ly / Lx)
    print ""
    print "Série com dx ≠ dy: placa 2 x 1 m, Nx = Ny, dx = 2·dy (coeficientes com os espaçamentos na primeira potência)"
    print "        nós           dx         dy   T num. centro  erro no centro  razão     T num. − Tb  razão"
    for (i = 1; i <= m; i++) {
      printf "  %4d x %-4d  %9.3e  %9.3e  %14.6e  %14.3e", R[i], R[i], Lx / (R[i] - 1), Ly / (R[i] - 1), Tn[i], er[i]
      if (i > 1) printf " %6.2f", er[i - 1] / er[i]; else printf " %6s", ""
      printf "  %14.3e", Tn[i] - Tb
      if (i > 1) printf " %6.2f", (Tn[i - 1] - Tb) / (Tn[i] - Tb)
      printf "\n"
      printf "%.17g %.17g\n", Ly / (R[i] - 1), abs(er[i]) > (dados ".retangular")
    }
    printf "O erro não cai com h: tende a %.4e = Ta − Tb no centro, com Ta = %.6f (Laplace) e Tb = %.6f,\n", Ta[m] - Tb, Ta[m], Tb
    print "a solução de (dx/dy)·∂²T/∂x² + ∂²T/∂y² = 0 (aqui dx/dy = 2): a malha converge, em segunda ordem, para outra equação."
  }
  printf "%s %s%s\n", pT, pD, fora > (dados ".ordens")
}' "$tmp/quadrada" $([ "$rapida" = 1 ] || echo "$tmp/retangular")

read -r pT pD <"$tmp/grafico.ordens"
fora=$(tail -n +2 "$tmp/grafico.ordens")

# Gráfico log-log do erro contra h, com uma reta de inclinação 2.
if [ "$rapida" = 0 ]; then
  marcas=$(for N in "${malhas[@]}"; do printf '"1/%d" %.17g, ' $((N - 1)) "$(awk "BEGIN { print 1 / ($N - 1) }")"; done)
  marcas=${marcas%, }
  echo ""
  if ! command -v gnuplot >/dev/null 2>&1; then
    echo "gráfico não gerado: falta o gnuplot; ./executar.sh o instala (ou: sudo apt-get install gnuplot), depois rode de novo"
  else
    cat >"$tmp/verificacao.gnu" <<'FIM'
set encoding utf8
if (strstrt(GPVAL_TERMINALS, " pngcairo ") > 0) {
    set terminal pngcairo enhanced size 900,680 font "Sans,11"
} else {
    set terminal png enhanced size 900,680
}
set output "verificacao.png"
set title "Verificação: o erro contra o espaçamento h da malha (escalas logarítmicas)"
set xlabel "espaçamento da malha h [m]"
set ylabel "erro, ou diferença entre as malhas h e h/2"
set logscale xy
eval "set xtics (" . marcas . ")"
set format y "10^{%L}"
set grid
set key below left Left reverse height 1
stats "grafico.termica" using 1:2 nooutput
h0 = STATS_max_x
e0 = STATS_max_y
set xrange [STATS_min_x / 1.3 : h0 * 1.3]
plot "grafico.termica" using 1:2 with linespoints linewidth 2 pointtype 7 linecolor "#1f77b4" title "temperatura no centro: |erro| (placa 1 × 1, dx = dy = h)", \
     "grafico.termica" using 1:3 with linespoints linewidth 2 pointtype 5 linecolor "#2ca02c" title "temperatura média: |erro|", \
     "grafico.deslocamentos" using 1:2 with linespoints linewidth 2 pointtype 9 linecolor "#d62728" title "v no centro: |v(h) − v(h/2)| (α = 1)", \
     "grafico.deslocamentos" using 1:3 with linespoints linewidth 2 pointtype 11 linecolor "#9467bd" title "u em (Lx/4, Ly/2): |u(h) − u(h/2)|", \
     "grafico.retangular" using 1:2 with linespoints linewidth 2 pointtype 13 linecolor "#ff7f0e" title "temperatura no centro, placa 2 × 1 com dx = 2·dy: |erro| (h = dy); não cai", \
     0.25 * e0 * (x / h0)**2 with lines dashtype 2 linewidth 2 linecolor "black" title "inclinação 2 (erro ∝ h²)"
FIM
    if (cd "$tmp" && gnuplot -e "marcas = '$marcas'" verificacao.gnu 2>"$tmp/gnuplot.erros") &&
      mkdir -p "$(dirname "$figura")" && cp "$tmp/verificacao.png" "$figura"; then
      echo "gráfico: ${figura#"$raiz"/}"
    else
      echo "gráfico não gerado: o gnuplot falhou:"
      cat "$tmp/gnuplot.erros"
    fi
  fi
fi

echo ""
echo "ordem observada: térmica $pT, deslocamentos $pD"
if [ -n "$fora" ]; then
  echo "verificacao: FALHOU: ordens observadas fora de [1.8, 2.2]:" >&2
  echo "$fora" >&2
  exit 1
fi
