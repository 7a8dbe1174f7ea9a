#!/usr/bin/env bash
# Instala, pelo apt-get (Debian, Ubuntu), o que falta para uma tarefa:
#   ferramentas/dependencias.sh programa   compilar e rodar o exemplo
#   ferramentas/dependencias.sh testes     compilar e passar todos os testes
#   ferramentas/dependencias.sh fuzz       o fuzzing da leitura da entrada
# Mostra a lista antes de instalar e usa o sudo quando não é root. Em outros
# sistemas, explica o que instalar e segue se o essencial já estiver lá.
set -euo pipefail
tarefa=${1:?uso: dependencias.sh programa|testes|fuzz}

# gnuplot: com tela gráfica, o pacote que abre janelas; sem tela, o que só grava PNG.
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then gnuplot=gnuplot; else gnuplot=gnuplot-nox; fi
case $tarefa in
  programa) pacotes=(cmake make g++ "$gnuplot") ;;
  # libgmock-dev: a configuração do CMake do GoogleTest no Debian a exige.
  # g++-mingw-w64-x86-64 e wine64: o executável do Windows; qemu-user: as CPUs emuladas;
  # strace: os testes que seguram ou interrompem o programa numa escrita.
  testes) pacotes=(cmake make g++ libgtest-dev libgmock-dev "$gnuplot" g++-mingw-w64-x86-64 wine64 qemu-user strace) ;;
  fuzz) pacotes=(clang libclang-rt-14-dev) ;;
  *) echo "dependencias.sh: tarefa desconhecida: $tarefa" >&2; exit 2 ;;
esac

if ! command -v apt-get >/dev/null 2>&1 || ! command -v dpkg-query >/dev/null 2>&1; then
  cat >&2 <<FIM
Este sistema não tem o apt-get (Debian, Ubuntu): instale você mesmo, pelo
gerenciador de pacotes do sistema, o equivalente destes pacotes do Debian:
  ${pacotes[*]}
Ou seja: um compilador C++20 (g++ 11 ou mais novo), make, cmake 3.20 ou mais
novo e o gnuplot; para os testes, também o GoogleTest (com o gmock), o
MinGW-w64 com threads posix (x86_64-w64-mingw32-g++-posix), o wine de 64 bits,
o qemu-user (qemu-x86_64) e o strace. Por exemplo, no Fedora:
  sudo dnf install gcc-c++ make cmake gnuplot gtest-devel gmock-devel mingw64-gcc-c++ wine qemu-user strace
e no Arch: sudo pacman -S gcc make cmake gnuplot gtest mingw-w64-gcc wine qemu-user strace
O que faltar dos testes aparece como pulado no resumo do fim.
FIM
  for comando in cmake make c++; do
    command -v "$comando" >/dev/null 2>&1 || { echo "dependencias.sh: falta $comando" >&2; exit 1; }
  done
  exit 0
fi

faltam=()
for p in "${pacotes[@]}"; do
  # Qualquer gnuplot já instalado serve.
  case $p in gnuplot*) command -v gnuplot >/dev/null 2>&1 && continue ;; esac
  [ "$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null)" = installed ] || faltam+=("$p")
done
[ "${#faltam[@]}" -eq 0 ] && exit 0

if [ "$(id -u)" = 0 ]; then
  como_root=()
elif command -v sudo >/dev/null 2>&1; then
  como_root=(sudo)
else
  echo "Faltam pacotes e não há sudo: como root, rode" >&2
  echo "  apt-get update && apt-get install ${faltam[*]}" >&2
  exit 1
fi
echo "Pacotes que faltam e serão instalados agora (apt-get install): ${faltam[*]}"
"${como_root[@]}" apt-get update
"${como_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y "${faltam[@]}"
