#!/usr/bin/env bash
# Instala o que falta, compila o programa e roda o exemplo (exemplo/) ou o
# caso de uma pasta sua, com o editor e o gnuplot funcionando:
#   ./executar.sh            o exemplo
#   ./executar.sh PASTA      uma pasta com o seu entrada_geral.ent
#   ./executar.sh --campos [PASTA]   o mesmo, gravando também campos.vti
#                            (ParaView) e campos.csv (planilha)
set -euo pipefail
opcoes=()
if [ "${1:-}" = --campos ]; then
  opcoes=(--campos)
  shift
fi
raiz=$(cd "$(dirname "$0")" && pwd)
"$raiz/ferramentas/dependencias.sh" programa
make -C "$raiz" programa
# O caminho inteiro: as dicas do placa2d-rodar valem de qualquer diretório
# (e ele o mostra relativo ao diretório atual, exemplo/ quando é a raiz).
if [ $# -eq 0 ]; then
  exec "$raiz/ferramentas/placa2d-rodar" ${opcoes[@]+"${opcoes[@]}"} "$raiz/exemplo"
fi
exec "$raiz/ferramentas/placa2d-rodar" ${opcoes[@]+"${opcoes[@]}"} "$1"
