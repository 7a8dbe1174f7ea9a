#!/usr/bin/env bash
# Todos os testes, com um resumo no fim do que rodou e do que foi pulado:
# os links da documentação,
# compilação normal (build/), com o Clang (build-clang/), com ASan e UBSan
# (build-sanitizado/), CPUs emuladas (qemu-user), roteiros com o gnuplot, ARM64
# (compilação cruzada e qemu-aarch64, build-arm64*/) e o executável e o pacote
# do Windows (MinGW-w64 e wine). Segue depois de uma falha, para o resumo
# dizer tudo. Cada passo anota quanto tempo levou.
#   ferramentas/testes.sh [--rapido]     --rapido: sem a compilação com ASan e UBSan
set -uo pipefail
cd "$(dirname "$0")/.."
raiz=$(pwd)
jobs=${JOBS:-2}
rapido=0
[ "${1:-}" = --rapido ] && rapido=1
tmp=$(mktemp -d "${TMPDIR:-/tmp}/placa2d-testes.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
anotar() { printf '%s\t%s\n' "$1" "$2" >>"$tmp/resumo"; }
# Começo de um passo; duracao diz o tempo desde então, para o resumo.
comecar() { inicio_do_passo=$SECONDS; }
duracao() {
  local t=$((SECONDS - inicio_do_passo))
  printf '(%d min %02d s)' $((t / 60)) $((t % 60))
}

# Compila com as opções dadas e roda o ctest; anota quantos testes passaram e
# quais o GoogleTest pulou (núcleos que a CPU não tem, por exemplo).
compilar_e_testar() { # descrição, diretório, opções do cmake...
  local descricao=$1 dir=$2 s=0
  shift 2
  comecar
  echo "==== $descricao ($dir/)"
  if ! cmake -S . -B "$dir" -DPLACA2D_TESTES=ON "$@" || ! cmake --build "$dir" -j "$jobs"; then
    anotar falhou "$descricao: a compilação falhou (acima) $(duracao)"
    return
  fi
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" | tee "$tmp/ctest" || s=$?
  local total pulados
  total=$(sed -n 's/.* tests* failed out of \([0-9]*\)$/\1/p' "$tmp/ctest")
  pulados=$(sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (Skipped)$/\1/p' "$tmp/ctest")
  if [ "$s" = 0 ]; then
    anotar ok "$descricao: ${total:-?} testes $(duracao)"
  else
    anotar falhou "$descricao: o ctest falhou (acima) $(duracao)"
  fi
  [ -z "$pulados" ] || anotar nota "$descricao: $(grep -c . <<<"$pulados") teste(s) pulado(s): $(echo $pulados)"
}

# A documentação: um link relativo ou uma âncora (#...) que não resolve é falha.
echo "==== links da documentação"
if ferramentas/conferir-links; then
  anotar ok "documentação: links relativos e âncoras do README e de docs/"
else
  anotar falhou "documentação: links quebrados (acima)"
fi

compilar_e_testar "compilação normal" build -DCMAKE_BUILD_TYPE=Release

n=$(ctest --test-dir build -N -R '^SolversRapidos\.CpuEmulada\.' 2>/dev/null | sed -n 's/^Total Tests: //p')
if [ "${n:-0}" -gt 0 ] && command -v qemu-x86_64 >/dev/null 2>&1; then
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

# O Clang: todos os testes, com os mesmos avisos ligados e nenhum tolerado.
if command -v clang++ >/dev/null 2>&1; then
  compilar_e_testar "compilação com o Clang" build-clang -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
else
  anotar pulado "compilação com o Clang: clang++ não encontrado (Debian/Ubuntu: apt-get install clang)"
fi

if [ "$rapido" = 1 ]; then
  anotar pulado "compilação com ASan e UBSan: variante rápida (sem --rapido ela roda)"
else
  compilar_e_testar "compilação com ASan e UBSan" build-sanitizado -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLACA2D_SANITIZAR=ON
fi

# ARM64: compilação cruzada, sem o GoogleTest; o ctest roda a conferência dos
# solvers no qemu-aarch64 (que falha se os casos não passaram pelas faixas) e
# a guarda contra FMA. Depois, no qemu-aarch64, o exemplo (todos os nós) com
# as saídas iguais, byte a byte, às do executável do x86-64, e os relatórios
# esperados dos testes (tests/esperado/).
relatorios_esperados() { # diretório
  # As entradas de Execucao.RelatoriosEArquivosDaLinhaMediaByteAByte.
  local caso
  for caso in 3x3 4x6; do
    mkdir -p "$1/$caso"
    cp "tests/esperado/entrada_$caso.ent" "$1/$caso/entrada_geral.ent"
  done
}
rodar_no_qemu() { # executável, diretório
  (cd "$2" && PATH="$tmp/substitutos:$PATH" qemu-aarch64 -L /usr/aarch64-linux-gnu "$1" </dev/null >.saida 2>&1)
}
arm64() { # descrição, diretório, toolchain
  local descricao=$1 dir=$2 toolchain=$3 d f falhas=0
  comecar
  echo "==== $descricao ($dir/)"
  if ! cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$raiz/cmake/$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DPLACA2D_TESTES=OFF -DCMAKE_COMPILE_WARNING_AS_ERROR=ON || ! cmake --build "$dir" -j "$jobs"; then
    anotar falhou "$descricao: a compilação falhou (acima) $(duracao)"
    return
  fi
  ctest --test-dir "$dir" --output-on-failure || falhas=1
  d=$tmp/$dir
  rm -rf "$d" && mkdir -p "$d/exemplo" "$d/x86"
  cp exemplo/entrada_geral.ent "$d/exemplo/" && cp exemplo/entrada_geral.ent "$d/x86/"
  relatorios_esperados "$d"
  rodar_no_qemu "$raiz/$dir/placa2d" "$d/exemplo" || { echo "o exemplo falhou no qemu-aarch64"; falhas=1; }
  (cd "$d/x86" && PATH="$tmp/substitutos:$PATH" "$raiz/build/placa2d" </dev/null >.saida 2>&1) ||
    { echo "o exemplo falhou com build/placa2d"; falhas=1; }
  for f in relatorio.txt desl_x_meio.txt desl_y_meio.txt; do
    build/tests/comparar_saidas --exato "$d/x86/$f" "$d/exemplo/$f" || falhas=1
  done
  for caso in 3x3 4x6; do
    rodar_no_qemu "$raiz/$dir/placa2d" "$d/$caso" || { echo "o caso $caso falhou no qemu-aarch64"; falhas=1; }
    build/tests/comparar_saidas --exato "tests/esperado/relatorio_$caso.txt" "$d/$caso/rel.txt" || falhas=1
    for f in desl_x_meio desl_y_meio; do
      build/tests/comparar_saidas --exato "tests/esperado/${f}_$caso.txt" "$d/$caso/$f.txt" || falhas=1
    done
  done
  if [ "$falhas" = 0 ]; then
    anotar ok "$descricao: conferência dos solvers nas faixas, sem FMA, exemplo e relatórios esperados iguais aos do x86-64 $(duracao)"
  else
    anotar falhou "$descricao: a verificação falhou (acima) $(duracao)"
  fi
}
mkdir -p "$tmp/substitutos"
for programa in notepad wgnuplot; do
  printf '#!/bin/sh\necho "%s $*" >> .comandos\n' "$programa" >"$tmp/substitutos/$programa"
  chmod +x "$tmp/substitutos/$programa"
done
if [ "$(uname -m)" = aarch64 ]; then
  anotar ok "ARM64: este processador é ARM64; a compilação normal (acima) já passou tudo nele"
elif ! command -v qemu-aarch64 >/dev/null 2>&1; then
  anotar pulado "ARM64: qemu-aarch64 não encontrado (Debian/Ubuntu: apt-get install qemu-user)"
elif [ ! -x build/placa2d ] || [ ! -x build/tests/comparar_saidas ]; then
  anotar falhou "ARM64: faltam build/placa2d e build/tests/comparar_saidas (a compilação normal falhou)"
else
  if command -v aarch64-linux-gnu-g++ >/dev/null 2>&1; then
    arm64 "ARM64 com o GCC (qemu-aarch64)" build-arm64 aarch64-linux-gnu.cmake
  else
    anotar pulado "ARM64 com o GCC: aarch64-linux-gnu-g++ não encontrado (Debian/Ubuntu: apt-get install g++-aarch64-linux-gnu)"
  fi
  if command -v clang++ >/dev/null 2>&1 && command -v aarch64-linux-gnu-g++ >/dev/null 2>&1; then
    arm64 "ARM64 com o Clang (qemu-aarch64)" build-arm64-clang aarch64-linux-gnu-clang.cmake
  else
    anotar pulado "ARM64 com o Clang: precisa do clang++ e das bibliotecas do g++-aarch64-linux-gnu"
  fi
fi

echo "==== executável do Windows (build-windows/)"
comecar
s=0
JOBS=$jobs bash tests/teste_windows.sh build build-windows 2>&1 | tee "$tmp/windows" || s=$?
case $s in
  0) anotar ok "Windows: compilação cruzada (MinGW-w64) e execução no wine, saídas iguais às do Linux; o pacote $(duracao)" ;;
  77) anotar pulado "Windows: $(sed -n 's/^teste_windows: pulado: //p' "$tmp/windows") $(duracao)" ;;
  *) anotar falhou "Windows: a verificação falhou (acima) $(duracao)" ;;
esac

echo "==== Resumo dos testes"
ferramentas/resumo.sh "$tmp/resumo"
