@echo off
rem Roda o placa2d com --campos: alem do relatorio e das linhas medias, grava
rem campos.vti (abra no ParaView: File > Open) e campos.csv (abra com dois
rem cliques: a planilha le cada numero como numero). Espera uma tecla no fim,
rem para as mensagens poderem ser lidas.
cd /d "%~dp0"
placa2d.exe --campos
if errorlevel 9009 echo placa2d.exe nao encontrado: rode campos.bat na pasta do pacote, depois de extrair o zip (ver LEIA-ME.txt).
if not errorlevel 1 echo Gravados campos.vti (ParaView: File ^> Open) e campos.csv (dois cliques abrem na planilha).
pause
