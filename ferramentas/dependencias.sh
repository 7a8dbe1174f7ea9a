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
  # g++-mingw-w64-x86-64 e wine64: o executável do Windows; zip e unzip: o
  # pacote dele; qemu-user: as CPUs emuladas e o ARM64 (com g++-aarch64-linux-gnu,
  # o compilador cruzado, que num ARM64 não é preciso nem existe); clang: a
  # compilação com o Clang (também a do ARM64); strace: os testes que seguram
  # ou interrompem o programa numa escrita e o da gravação durável, que olha as
  # chamadas ao sistema; python3-vtk9: o leitor do VTK que lê o campos.vti
  # (pelo Python do sistema, /usr/bin/python3).
  testes) pacotes=(cmake make g++ libgtest-dev libgmock-dev "$gnuplot" g++-mingw-w64-x86-64 wine64 zip unzip
    qemu-user clang strace python3-vtk9)
    [ "$(uname -m)" = aarch64 ] || pacotes+=(g++-aarch64-linux-gnu) ;;
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
o zip e o unzip, o qemu-user (qemu-x86_64, qemu-aarch64), o strace, o VTK
para o Python do sistema (o módulo vtkmodules em /usr/bin/python3), o clang e
um g++ cruzado para aarch64 com a glibc (o do Debian e do Ubuntu; os do Fedora
e do Arch não trazem a glibc). Por exemplo, no Fedora:
  sudo dnf install gcc-c++ make cmake gnuplot gtest-devel gmock-devel mingw64-gcc-c++ wine zip unzip qemu-user strace clang python3-vtk
e no Arch: sudo pacman -S gcc make cmake gnuplot gtest mingw-w64-gcc wine zip unzip qemu-user strace clang vtk
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

# Só o gnuplot, que é opcional, faltando: sem como instalá-lo, tudo roda sem
# os gráficos.
so_gnuplot=0
[ "${faltam[*]}" = "$gnuplot" ] && so_gnuplot=1
sem_graficos() {
  echo "dependencias.sh: o gnuplot não está instalado e $1: tudo roda, sem os gráficos; para tê-los, peça a quem administra a máquina: apt-get install $gnuplot"
  exit 0
}

if [ "$(id -u)" = 0 ]; then
  como_root=()
elif command -v sudo >/dev/null 2>&1; then
  como_root=(sudo)
else
  [ "$so_gnuplot" = 1 ] && sem_graficos "não há sudo para instalá-lo"
  echo "Faltam pacotes e não há sudo: como root, rode" >&2
  echo "  apt-get update && apt-get install ${faltam[*]}" >&2
  exit 1
fi

# apt-get que espera a trava do apt e do dpkg: num Ubuntu recém-instalado as
# atualizações automáticas a seguram por minutos. Até 10 minutos, avisando.
apt_get() {
  local registro espera=0 s
  registro=$(mktemp "${TMPDIR:-/tmp}/dependencias.XXXXXX")
  while :; do
    s=0
    "${como_root[@]}" env LC_ALL=C DEBIAN_FRONTEND=noninteractive apt-get "$@" 2>&1 | tee "$registro" || s=$?
    if [ "$s" = 0 ] || ! grep -qiE 'could not get lock|unable to acquire the dpkg frontend lock|unable to lock' "$registro"; then
      rm -f "$registro"
      return "$s"
    fi
    if [ "$espera" -ge 600 ]; then
      rm -f "$registro"
      echo "dependencias.sh: o apt continua ocupado por outro programa depois de 10 minutos; rode de novo mais tarde" >&2
      return 1
    fi
    [ "$espera" -gt 0 ] || echo "dependencias.sh: o apt está ocupado por outro programa (num Ubuntu novo, em geral as atualizações automáticas); esperando até 10 minutos que ele termine..."
    sleep 5
    espera=$((espera + 5))
  done
}

# Para rodar, sem os pacotes recomendados: o gnuplot-nox grava os PNGs
# (pngcairo) com 53 pacotes, contra 123 com os recomendados (ghostscript,
# imagemagick, as fontes do X...), num Debian 12 mínimo.
opcoes=()
[ "$tarefa" != programa ] || opcoes=(--no-install-recommends)
echo "Pacotes que faltam e serão instalados agora (apt-get install): ${faltam[*]}"
if ! apt_get update || ! apt_get install -y "${opcoes[@]}" "${faltam[@]}"; then
  [ "$so_gnuplot" = 1 ] && sem_graficos "a instalação falhou (acima)"
  exit 1
fi
