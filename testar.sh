#!/usr/bin/env bash
# Instala o que falta e passa todos os testes, com um resumo no fim do que
# rodou e do que foi pulado (com CI=true, um passo pulado é falha):
#   ./testar.sh              tudo
#   ./testar.sh --rapido     sem a compilação com ASan e UBSan
set -euo pipefail
raiz=$(cd "$(dirname "$0")" && pwd)
"$raiz/ferramentas/dependencias.sh" testes
exec make -C "$raiz" "$([ "${1:-}" = --rapido ] && echo teste-rapido || echo teste)"
