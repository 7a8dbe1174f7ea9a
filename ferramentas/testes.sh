#!/usr/bin/env bash
# Todos os testes, com um resumo no fim do que rodou e do que foi pulado:
# compilação normal (build/), compilação com ASan e UBSan (build-sanitizado/),
# CPUs emuladas (qemu-user), roteiros com o gnuplot e o executável do Windows
# (MinGW-w64 e wine). Segue depois de uma falha, para o resumo dizer tudo.
#   ferramentas/testes.sh [--rapido]     --rapido: sem a compilação com ASan e UBSan
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}
rapido=0
[ "${1:-}" = --rapido ] && rapido=1
tmp=$(mktemp -d "${TMPDIR:-/tmp}/placa2d-testes.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
anotar() { printf '%s\t%s\n' "$1" "$2" >>"$tmp/resumo"; }

# Compila com as opções dadas e roda o ctest; anota quantos testes passaram e
# quais o GoogleTest pulou (núcleos que a CPU não tem, por exemplo).
compilar_e_testar() { # descrição, diretório, opções do cmake...
  local descricao=$1 dir=$2 s=0
  shift 2
  echo "==== $descricao ($dir/)"
  if ! cmake -S . -B "$dir" -DPLACA2D_TESTES=ON "$@" || ! cmake --build "$dir" -j "$jobs"; then
    anotar falhou "$descricao: a compilação falhou (acima)"
    return
  fi
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" | tee "$tmp/ctest" || s=$?
  local total pulados
  total=$(sed -n 's/.* tests* failed out of \([0-9]*\)$/\1/p' "$tmp/ctest")
  pulados=$(sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (Skipped)$/\1/p' "$tmp/ctest")
  if [ "$s" = 0 ]; then
    anotar ok "$descricao: ${total:-?} testes"
  else
    anotar falhou "$descricao: o ctest falhou (acima)"
  fi
  [ -z "$pulados" ] || anotar nota "$descricao: $(grep -c . <<<"$pulados") teste(s) pulado(s) pelo GoogleTest: $(echo $pulados)"
}

compilar_e_testar "compilação normal" build -DCMAKE_BUILD_TYPE=Release

n=$(ctest --test-dir build -N -R '^SolversRapidos\.CpuEmulada\.' 2>/dev/null | sed -n 's/^Total Tests: //p')
if [ "${n:-0}" -gt 0 ]; then
  anotar ok "CPUs emuladas (qemu-user, Nehalem e Haswell): $n testes, no ctest da compilação normal"
elif [ "$(uname -m)" != x86_64 ]; then
  anotar pulado "CPUs emuladas: só num processador x86-64"
else
  anotar pulado "CPUs emuladas: qemu-x86_64 não encontrado (Debian/Ubuntu: apt-get install qemu-user)"
fi
if command -v gnuplot >/dev/null 2>&1; then
  anotar ok "gnuplot: roteiros do exemplo e PNGs no teste do kit"
else
  anotar pulado "gnuplot: não encontrado (Debian/Ubuntu: apt-get install gnuplot-nox); roteiros não testados"
fi

if [ "$rapido" = 1 ]; then
  anotar pulado "compilação com ASan e UBSan: variante rápida (sem --rapido ela roda)"
else
  compilar_e_testar "compilação com ASan e UBSan" build-sanitizado -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLACA2D_SANITIZAR=ON
fi

echo "==== executável do Windows (build-windows/)"
s=0
JOBS=$jobs bash tests/teste_windows.sh build build-windows 2>&1 | tee "$tmp/windows" || s=$?
case $s in
  0) anotar ok "Windows: compilação cruzada (MinGW-w64) e execução no wine, saídas iguais às do Linux" ;;
  77) anotar pulado "Windows: $(sed -n 's/^teste_windows: pulado: //p' "$tmp/windows")" ;;
  *) anotar falhou "Windows: a verificação falhou (acima)" ;;
esac

echo "==== Resumo dos testes"
ferramentas/resumo.sh "$tmp/resumo"
