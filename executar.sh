#!/usr/bin/env bash
# Instala o que falta, compila o programa e roda o exemplo (exemplo/) ou o
# caso de uma pasta sua, com o editor e o gnuplot funcionando:
#   ./executar.sh            o exemplo
#   ./executar.sh PASTA      uma pasta com o seu entrada_geral.ent
set -euo pipefail
raiz=$(cd "$(dirname "$0")" && pwd)
"$raiz/ferramentas/dependencias.sh" programa
make -C "$raiz" programa
if [ $# -eq 0 ]; then
  cd "$raiz" && exec ferramentas/placa2d-rodar exemplo
fi
exec "$raiz/ferramentas/placa2d-rodar" "$1"
