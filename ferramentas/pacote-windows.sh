#!/usr/bin/env bash
# Monta o pacote do Windows, DIR_WINDOWS/placa2d-VERSAO-windows.zip (a versão
# de DIR_WINDOWS/versao.txt, que o CMake escreve), a partir da compilação
# cruzada já feita (make windows): placa2d.exe, a entrada e os
# roteiros de exemplo/ como estão, mapas.bat, campos.bat e o LEIA-ME.txt em
# Windows-1252 com CR LF. Reprodutível: o mesmo placa2d.exe e os mesmos arquivos dão o
# mesmo zip, byte a byte (datas da hora do último commit, ou de
# SOURCE_DATE_EPOCH; entradas em ordem; sem atributos do sistema).
#   ferramentas/pacote-windows.sh DIR_WINDOWS
set -euo pipefail
raiz=$(cd "$(dirname "$0")/.." && pwd)
windows=$(cd "${1:?uso: pacote-windows.sh DIR_WINDOWS}" && pwd)
[ -s "$windows/placa2d.exe" ] || { echo "pacote-windows: falta $windows/placa2d.exe (make windows)" >&2; exit 1; }
command -v zip >/dev/null 2>&1 || { echo "pacote-windows: falta o zip (Debian/Ubuntu: apt-get install zip)" >&2; exit 1; }

[ -s "$windows/versao.txt" ] || { echo "pacote-windows: falta $windows/versao.txt (make windows)" >&2; exit 1; }
zip_final=placa2d-$(cat "$windows/versao.txt")-windows.zip

data=${SOURCE_DATE_EPOCH:-$(git -C "$raiz" log -1 --format=%ct 2>/dev/null || echo 946684800)}
pasta=$windows/pacote
rm -rf "$pasta" "$windows"/placa2d-*windows.zip
mkdir -p "$pasta"
cp "$windows/placa2d.exe" "$raiz/exemplo/entrada_geral.ent" "$raiz/exemplo/desl_x_meio.gnu" \
  "$raiz/exemplo/desl_y_meio.gnu" "$raiz/exemplo/mapas.gnu" "$pasta/"
# Texto do Windows: CR LF; o LEIA-ME também em Windows-1252 (iconv falha se
# algum caractere não couber nela).
for bat in mapas.bat campos.bat; do sed 's/$/\r/' "$raiz/ferramentas/windows/$bat" >"$pasta/$bat"; done
iconv -f UTF-8 -t CP1252 "$raiz/ferramentas/windows/LEIA-ME.txt" | sed 's/$/\r/' >"$pasta/LEIA-ME.txt"

chmod 644 "$pasta"/*
chmod 755 "$pasta/placa2d.exe" "$pasta/mapas.bat" "$pasta/campos.bat"
# O zip guarda a hora local: com TZ=UTC, a mesma em qualquer máquina.
export TZ=UTC
touch -d "@$data" "$pasta"/*
(cd "$pasta" && LC_ALL=C ls | zip -X -D -q -9 "../$zip_final" -@)
echo "$windows/$zip_final"
