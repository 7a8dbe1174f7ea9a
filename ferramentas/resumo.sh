#!/bin/sh
# Resumo do fim dos testes. Lê linhas "estado<TAB>texto" (estado: ok, falhou,
# pulado ou nota), escreve uma linha por passo e o resultado. Termina com
# status 1 se algum passo falhou ou, no CI (CI=true), se algum foi pulado.
#   ferramentas/resumo.sh ARQUIVO
awk -F '\t' -v ci="${CI:-}" '
  { printf "  %-7s %s\n", $1, $2; n[$1]++ }
  END {
    f = n["falhou"] + 0; p = n["pulado"] + 0
    if (f == 0 && p == 0) { print "Resultado: passou, nada pulado."; exit 0 }
    if (f == 0 && ci != "true") { printf "Resultado: passou, com %d passo(s) pulado(s) (acima).\n", p; exit 0 }
    printf "Resultado: FALHOU: %d passo(s) falhou(aram), %d pulado(s)%s.\n", f, p,
           (p && ci == "true") ? " (com CI=true, pular é falhar)" : ""
    exit 1
  }' "$1"
