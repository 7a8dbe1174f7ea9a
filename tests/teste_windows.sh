#!/usr/bin/env bash
# Executável do Windows: compilação cruzada com o MinGW-w64 e, com o wine,
# execução de placa2d.exe nos mesmos casos que o executável do Linux, com as
# saídas comparadas; depois, o pacote (placa2d-VERSAO-windows.zip) extraído
# numa pasta vazia e rodado lá.
#
#   tests/teste_windows.sh DIR_LINUX DIR_WINDOWS
#
# DIR_LINUX é a compilação do Linux já feita (placa2d e tests/comparar_saidas);
# DIR_WINDOWS recebe a compilação cruzada. Sem o MinGW-w64 ou sem o wine a
# verificação é pulada: status 77 e a linha "teste_windows: pulado: motivo"
# (o resumo de ferramentas/testes.sh a mostra e, com CI=true, a conta como falha).
set -euo pipefail

raiz=$(cd "$(dirname "$0")/.." && pwd)
linux=$(cd "$1" && pwd)
windows=$2
jobs=${JOBS:-2}

falhar() { echo "teste_windows: FALHOU: $*" >&2; exit 1; }
pular() {
  echo "teste_windows: pulado: $1"
  exit 77
}

# ------------------------------------------------------------ compilação
command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 ||
  pular "x86_64-w64-mingw32-g++-posix não encontrado (Debian: apt-get install g++-mingw-w64-x86-64)"
echo "teste_windows: compilação cruzada em $windows"
cmake -S "$raiz" -B "$windows" -DCMAKE_TOOLCHAIN_FILE="$raiz/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DPLACA2D_TESTES=OFF >/dev/null
cmake --build "$windows" -j "$jobs" >/dev/null
exe=$(cd "$windows" && pwd)/placa2d.exe
[ -s "$exe" ] || falhar "placa2d.exe não foi gerado"
echo "teste_windows: $exe compilado"

# ------------------------------------------------------------ wine
wine=${WINE:-}
if [ -z "$wine" ]; then
  for candidato in wine64 /usr/lib/wine/wine64 wine; do
    if command -v "$candidato" >/dev/null 2>&1; then wine=$(command -v "$candidato"); break; fi
  done
fi
[ -n "$wine" ] || pular "wine não encontrado (Debian: apt-get install wine64)"
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || true)

comparar=$linux/tests/comparar_saidas
[ -x "$comparar" ] || falhar "$comparar não existe (compile os testes do Linux antes)"

tmp=$(mktemp -d "${TMPDIR:-/tmp}/placa2d-windows.XXXXXX")
export WINEPREFIX=$tmp/prefixo WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export HOME=${HOME:-$tmp}
unset DISPLAY WAYLAND_DISPLAY
# O wine passa os nomes do Windows para o Linux no conjunto de caracteres do
# locale: sem um UTF-8 (um Debian novo, sem LANG), os nomes com acento dos
# casos abaixo nem chegam ao disco. No Windows de verdade não há essa etapa.
case $(locale charmap 2>/dev/null) in
  UTF-8) ;;
  *) export LC_ALL=C.UTF-8 ;;
esac
limpar() {
  # O wineserver deste prefixo termina sozinho logo depois do último programa;
  # se não terminar, é encerrado (só ele, o deste prefixo) antes de apagar tudo.
  if [ -n "$wineserver" ]; then
    timeout 30 "$wineserver" -w 2>/dev/null || "$wineserver" -k 2>/dev/null || true
  fi
  rm -rf "$tmp"
}
trap limpar EXIT

echo "teste_windows: criando o prefixo do wine"
timeout 300 "$wine" wineboot -i >/dev/null 2>&1 || falhar "wineboot não criou o prefixo do wine"

# Substitutos de notepad e wgnuplot à frente no PATH de cada lado: só anotam o
# comando recebido em .comandos, então nada gráfico abre e nada espera.
mkdir -p "$tmp/bin-windows" "$tmp/bin-linux"
for programa in notepad wgnuplot; do
  printf '@>>.comandos echo %s %%*\r\n' "$programa" >"$tmp/bin-windows/$programa.cmd"
  printf '#!/bin/sh\necho "%s $*" >> .comandos\n' "$programa" >"$tmp/bin-linux/$programa"
  chmod +x "$tmp/bin-linux/$programa"
done
winepath_bin="Z:$(echo "$tmp/bin-windows" | tr / '\\')"

# Roda um lado no diretório dado; status em $dir/.status, saídas em .saida/.erros.
rodar_linux() {
  local s=0
  (cd "$1" && PATH="$tmp/bin-linux:$PATH" "$linux/placa2d" </dev/null >.saida 2>.erros) || s=$?
  echo "$s" >"$1/.status"
}
rodar_windows() {
  local s=0
  (cd "$1" && WINEPATH="$winepath_bin" timeout 300 "$wine" "$exe" </dev/null >.saida 2>.erros) || s=$?
  echo "$s" >"$1/.status"
}

# Entrada do exemplo com alterações "linha valor" (linhas de 1 a 14).
entrada() {
  local arquivo=$1; shift
  cp "$raiz/exemplo/entrada_geral.ent" "$arquivo"
  while [ $# -gt 0 ]; do
    sed -i "$1s/^[^ ]*/$2/" "$arquivo"
    shift 2
  done
}

# Comandos que os substitutos anotaram no diretório da execução.
comandos() {
  tr -d '\r' <"$1/.comandos"
}

ok=0
resultado() { # descrição, status
  if [ "$2" -eq 0 ]; then echo "  ok: $1"; else echo "  FALHOU: $1"; ok=1; fi
}
verificar() { # descrição, condição (sh)
  local s=0
  eval "$2" || s=1
  resultado "$1" "$s"
}
diferencas_toleradas=0
comparar_arquivos() { # descrição, [--exato], referência (Linux), outra (Windows)
  local descricao=$1 s=0
  shift
  (cd "$tmp" && "$comparar" "$@") >"$tmp/comparacao.txt" || s=$?
  sed 's/^/    /' "$tmp/comparacao.txt"
  if [ "$s" = 0 ] && ! grep -q ': iguais' "$tmp/comparacao.txt"; then diferencas_toleradas=1; fi
  resultado "$descricao" "$s"
}

# O comparador tem de acusar uma diferença de um algarismo.
mkdir -p "$tmp/auto"
printf '    1.000000000000000E+00\r\n' >"$tmp/auto/a"
printf '    1.000000000000001E+00\r\n' >"$tmp/auto/b"
if "$comparar" --exato "$tmp/auto/a" "$tmp/auto/b" >/dev/null; then falhar "comparar_saidas não acusa diferenças"; fi

# ------------------------------------------------------------ casos
echo "teste_windows: caso 1, exemplo (relatório longo antes, para ver a sobrescrita)"
for lado in linux windows; do
  d=$tmp/exemplo-$lado; mkdir -p "$d"
  entrada "$d/entrada_geral.ent" 13 1
  rodar_$lado "$d"
  # Só o nó central: a comparação é exata (ver o caso 2 para todos os nós).
  entrada "$d/entrada_geral.ent" 13 2
  rodar_$lado "$d"
done
L=$tmp/exemplo-linux W=$tmp/exemplo-windows
verificar "placa2d.exe termina com status 0 e nada no console" \
  '[ "$(cat "$W/.status")" = 0 ] && [ ! -s "$W/.saida" ] && [ ! -s "$W/.erros" ]'
esperado=$(printf 'notepad entrada_geral.ent\nnotepad relatorio.txt\nwgnuplot desl_x_meio.gnu\nwgnuplot desl_y_meio.gnu')
obtido=$(comandos "$W" | tail -4)
verificar "comandos do Windows na ordem: $(echo $obtido | tr -s ' ' ' ')" '[ "$obtido" = "$esperado" ]'
for f in relatorio.txt desl_x_meio.txt desl_y_meio.txt; do
  comparar_arquivos "$f igual ao do Linux" --exato "exemplo-linux/$f" "exemplo-windows/$f"
done

echo "teste_windows: caso 2, todos os nós, placa 2 x 1, malha 21 x 12, nome com espaço"
for lado in linux windows; do
  d=$tmp/completo-$lado; mkdir -p "$d"
  entrada "$d/entrada_geral.ent" 1 "'relatorio completo.txt'" 2 2.0 4 21 5 12 6 5000 7 20 8 10 9 1.0E-8 13 1 14 7
  rodar_$lado "$d"
done
L=$tmp/completo-linux W=$tmp/completo-windows
# dx = 0,1 e dy = 1/11: o aviso, o mesmo nos dois lados, e nada mais.
verificar "placa2d.exe termina com status 0, só com o aviso de dx ≠ dy, igual ao do Linux" \
  '[ "$(cat "$W/.status")" = 0 ] && [ "$(tr -d "\r" <"$W/.erros")" = "$(cat "$L/.erros")" ] &&
   [ "$(wc -l <"$L/.erros")" = 1 ] && grep -q "^placa2d: aviso: dx = 0.1 e dy = 0.0909091 diferem: " "$L/.erros"'
segundo=$(comandos "$W" | sed -n 2p)
verificar "nome com espaço vai entre aspas para o notepad: $segundo" \
  '[ "$segundo" = "notepad \"relatorio completo.txt\"" ]'
for f in "relatorio completo.txt" desl_x_meio.txt desl_y_meio.txt; do
  comparar_arquivos "$f igual ao do Linux dentro da tolerância" "completo-linux/$f" "completo-windows/$f"
done

echo "teste_windows: caso 3, erro de leitura"
for lado in linux windows; do
  d=$tmp/erro-$lado; mkdir -p "$d"
  entrada "$d/entrada_geral.ent" 5 2.5
  rodar_$lado "$d"
done
L=$tmp/erro-linux W=$tmp/erro-windows
verificar "status 1 e nenhum arquivo de saída" '[ "$(cat "$W/.status")" = 1 ] && [ "$(ls "$W")" = entrada_geral.ent ]'
verificar "mesma mensagem (UTF-8) que no Linux: $(cat "$L/.erros")" \
  '[ "$(tr -d "\r" <"$W/.erros")" = "$(cat "$L/.erros")" ]'
verificar "o Linux também termina com status 1" '[ "$(cat "$L/.status")" = 1 ]'

echo "teste_windows: caso 5, nomes do relatório com acentos (UTF-8 e Windows-1252), reservados e com ':'"
# Nomes aceitos: o arquivo gravado tem o nome certo (no disco do Linux, em UTF-8).
n=0
for nome in "RELATÓRIO.txt" "relatório.txt" "çÇ€.txt" "$(printf '\200.txt')"; do
  n=$((n + 1)); d=$tmp/nome-$n; mkdir -p "$d"
  entrada "$d/entrada_geral.ent" 4 5 5 5 13 2
  { printf "'%s'\r\n" "$nome"; sed 1d "$d/entrada_geral.ent"; } >"$d/e" && mv "$d/e" "$d/entrada_geral.ent"
  rodar_windows "$d"
  esperado=$nome
  [ "$n" = 4 ] && esperado="€.txt"
  verificar "nome '$esperado': status 0 e o arquivo com esse nome" \
    '[ "$(cat "$d/.status")" = 0 ] && [ ! -s "$d/.erros" ] && [ -s "$d/$esperado" ]'
done
# Recusados antes do cálculo, com a causa, sem nada gravado.
for nome in NUL nul.txt CON aux.txt com1 "pasta/LPT3.log" "rel.txt:oculto"; do
  n=$((n + 1)); d=$tmp/nome-$n; mkdir -p "$d"
  entrada "$d/entrada_geral.ent" 1 "'$(echo "$nome" | sed 's|/|\\/|g')'" 4 5 5 5
  mkdir -p "$d/pasta"
  rodar_windows "$d"
  motivo="é o nome de um dispositivo do Windows"
  case $nome in *:*) motivo="o nome não pode ter ':'" ;; esac
  verificar "nome '$nome' recusado: $(tr -d '\r' <"$d/.erros" | cut -c1-110)..." \
    '[ "$(cat "$d/.status")" = 1 ] && grep -qF "$motivo" "$d/.erros" && [ "$(ls "$d" | tr "\n" " ")" = "entrada_geral.ent pasta " ]'
done

echo "teste_windows: caso 4, solvers rápidos em cada conjunto de instruções"
conferir=$(cd "$windows" && pwd)/tests/conferir_solvers.exe
verificar "conferir_solvers.exe: solvers rápidos iguais aos de referência" \
  '[ -s "$conferir" ] && (cd "$tmp" && timeout 300 "$wine" "$conferir" 100 >/dev/null 2>&1)'

echo "teste_windows: caso 7, no wine, de um script, nunca espera o Enter (erro e aviso, com a entrada padrão num pipe aberto e num terminal)"
# A entrada é um FIFO aberto para escrita aqui (fd 4) e onde nada chega:
# quem esperasse o Enter, só terminaria no timeout. No terminal do script, o
# wine cria um console só do programa, como o de um clique duplo; lá o
# console é o terminal, que não fecha.
mkfifo "$tmp/sem-enter"
exec 4<>"$tmp/sem-enter"
# O que o terminal mostra: o console do wine escreve cada caractere entre
# sequências de controle, e um espaço como "avance uma coluna".
tela() { sed 's/\x1b\[1C/ /g; s/\x1b\[[0-9;?]*[A-Za-z]//g' "$1" | tr -d '\r'; }
n=0
for situacao in erro aviso; do
  for padrao in pipe terminal; do
    n=$((n + 1)); d=$tmp/espera-$n; mkdir -p "$d"
    if [ "$situacao" = erro ]; then entrada "$d/entrada_geral.ent" 11 0,3; esperado=1
    else entrada "$d/entrada_geral.ent" 6 10 13 2; esperado=0; fi
    status=0
    if [ "$padrao" = pipe ]; then
      (cd "$d" && WINEPATH="$winepath_bin" timeout 120 "$wine" "$exe" <"$tmp/sem-enter" >.saida 2>.erros) || status=$?
    else
      (cd "$d" && WINEPATH="$winepath_bin" timeout 120 script -qec "'$wine' '$exe'" /dev/null <"$tmp/sem-enter" \
        >.terminal 2>&1) || status=$?
      tela "$d/.terminal" >"$d/.erros"
    fi
    verificar "$situacao, entrada num $padrao: status $status (esperado $esperado), sem o pedido do Enter" \
      '[ "$status" = "$esperado" ] && grep -q "placa2d: $situacao: " "$d/.erros" && ! grep -q "Pressione Enter" "$d/.erros"'
  done
done
exec 4>&-
d=$tmp/entrada-txt; mkdir -p "$d"
entrada "$d/entrada_geral.ent.txt"
rodar_windows "$d"
verificar "entrada salva como entrada_geral.ent.txt: a mensagem a nomeia e diz como mostrar as extensões" \
  '[ "$(cat "$d/.status")" = 1 ] && grep -q "há nela \"entrada_geral.ent.txt\", que parece ser ele" "$d/.erros" &&
   grep -q "Extensões de nomes de arquivos" "$d/.erros"'
d=$tmp/fechado; mkdir -p "$d"
cp "$raiz/tests/esperado/entrada_4x6.ent" "$d/entrada_geral.ent"
(cd "$d" && PLACA2D_THREADS=abc WINEPATH="$winepath_bin" timeout 300 "$wine" "$exe" </dev/null >/dev/null 2>&-) || true
verificar "com o erro padrão fechado, os três avisos ficam fora do relatório" \
  '! grep -aq "aviso" "$d/rel.txt" && [ "$(tr -d "\r" <"$d/rel.txt" | grep -vc "^Tempo")" = "$(tr -d "\r" <"$raiz/tests/esperado/relatorio_4x6.txt" | grep -vc "^Tempo")" ]'
versao=$(cat "$windows/versao.txt")
primeira=$( (cd "$tmp" && timeout 60 "$wine" "$exe" --versao </dev/null) | head -1 | tr -d '\r')
verificar "placa2d.exe --versao: $primeira" '[ "$primeira" = "placa2d $versao" ]'

echo "teste_windows: caso 6, o pacote (make pacote-windows) extraído numa pasta vazia"
zip=$(bash "$raiz/ferramentas/pacote-windows.sh" "$windows") || falhar "o pacote não foi montado"
verificar "o nome do zip leva a versão: ${zip##*/}" '[ "${zip##*/}" = "placa2d-$versao-windows.zip" ]'
cp "$zip" "$tmp/primeiro.zip"
(umask 077 && TZ=America/Sao_Paulo bash "$raiz/ferramentas/pacote-windows.sh" "$windows" >/dev/null) ||
  falhar "o pacote não foi montado"
verificar "montado de novo (outro fuso e outra umask), o mesmo zip byte a byte" 'cmp -s "$zip" "$tmp/primeiro.zip"'
P=$tmp/pacote
mkdir "$P" && (cd "$P" && unzip -q "$zip") || falhar "unzip não extraiu $zip"
arquivos=$(cd "$P" && LC_ALL=C ls | tr '\n' ' ')
verificar "arquivos do zip: $arquivos" \
  '[ "$arquivos" = "LEIA-ME.txt campos.bat desl_x_meio.gnu desl_y_meio.gnu entrada_geral.ent mapas.bat mapas.gnu placa2d.exe " ]'
verificar "entrada e roteiros iguais aos de exemplo/" \
  '(for f in entrada_geral.ent desl_x_meio.gnu desl_y_meio.gnu mapas.gnu; do cmp -s "$raiz/exemplo/$f" "$P/$f" || exit 1; done)'
verificar "placa2d.exe estático (só DLLs do sistema)" \
  '! x86_64-w64-mingw32-objdump -p "$P/placa2d.exe" | grep -i "DLL Name: lib"'
verificar "LEIA-ME.txt, mapas.bat e campos.bat com CR LF; o LEIA-ME em Windows-1252, com o comando dos mapas" \
  '(for f in LEIA-ME.txt mapas.bat campos.bat; do [ "$(grep -c "$(printf "\r")\$" "$P/$f")" = "$(wc -l <"$P/$f")" ] || exit 1; done) &&
   ! iconv -f UTF-8 -t UTF-8 "$P/LEIA-ME.txt" >/dev/null 2>&1 &&
   iconv -f CP1252 -t UTF-8 "$P/LEIA-ME.txt" | grep -q "não rode de dentro do zip" &&
   grep -q "wgnuplot -c mapas.gnu relatorio.txt" "$P/LEIA-ME.txt"'
d=$tmp/pacote-linux; mkdir -p "$d"
cp "$raiz/exemplo/entrada_geral.ent" "$d/"
rodar_linux "$d"
(cd "$P" && WINEPATH="$winepath_bin" timeout 300 "$wine" placa2d.exe </dev/null >.saida 2>.erros) || true
da_pasta=$(printf 'notepad entrada_geral.ent\nnotepad relatorio.txt\nwgnuplot desl_x_meio.gnu\nwgnuplot desl_y_meio.gnu')
verificar "placa2d.exe do pacote termina sem nada no console e chama os visualizadores na ordem" \
  '[ ! -s "$P/.saida" ] && [ ! -s "$P/.erros" ] && [ "$(comandos "$P")" = "$da_pasta" ]'
for f in relatorio.txt desl_x_meio.txt desl_y_meio.txt; do
  comparar_arquivos "$f do pacote igual ao do Linux dentro da tolerância" "pacote-linux/$f" "pacote/$f"
done
(cd "$P" && WINEPATH="$winepath_bin" timeout 60 "$wine" cmd /c mapas.bat </dev/null >/dev/null 2>&1) || true
ultimo=$(comandos "$P" | tail -1)
verificar "mapas.bat chama $ultimo" '[ "$ultimo" = "wgnuplot -c mapas.gnu \"relatorio.txt\"" ]'
(cd "$P" && WINEPATH="$winepath_bin" timeout 120 "$wine" cmd /c campos.bat </dev/null >.saida-campos 2>&1) || true
verificar "campos.bat roda placa2d.exe --campos (campos.vti e campos.csv, UTF-8 com BOM) e passa pela pausa do fim" \
  '[ "$(comandos "$P" | tail -4)" = "$da_pasta" ] && grep -q "<VTKFile type=\"ImageData\"" "$P/campos.vti" &&
   [ "$(head -c 5 "$P/campos.csv")" = "$(printf "\357\273\277ix")" ] && grep -q "Gravados campos.vti" "$P/.saida-campos"'

if [ "$diferencas_toleradas" = 1 ]; then
  cat <<'EOF'
teste_windows: nota sobre as diferenças toleradas acima. O sin() do MinGW-w64
  usa a instrução x87 fsin, cuja redução de argumento usa pi com só 66 bits:
  perto de pi o resultado tem erro absoluto de ~4e-21 (sin(pi) dá
  1.2246063538223773e-16 em vez de 1.2246467991473532e-16). Isso aparece na
  borda x = Lx (canto superior direito de T e coluna x = Lx de Ta), onde o
  valor exato seria 0. Longe de pi, sin, sinh e cosh podem diferir da glibc
  no último bit (sinh e cosh vêm do msvcrt.dll, que no wine é o do wine).
EOF
fi
[ "$ok" = 0 ] || falhar "há verificações que falharam (acima)"
echo "teste_windows: tudo certo"
