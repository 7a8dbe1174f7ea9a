@echo off
rem Desenha os mapas de um relatorio gravado com modo_saida = 1:
rem   mapas.bat               le relatorio.txt desta pasta
rem   mapas.bat outro.txt     le outro relatorio desta pasta
cd /d "%~dp0"
set "relatorio=%~1"
if "%relatorio%"=="" set "relatorio=relatorio.txt"
wgnuplot -c mapas.gnu "%relatorio%"
if errorlevel 9009 echo wgnuplot nao encontrado: instale o gnuplot para Windows e ponha a pasta dele no PATH (ver LEIA-ME.txt).
if errorlevel 1 pause
