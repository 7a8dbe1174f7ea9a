@echo off
rem Roda o placa2d com --campos: alem do relatorio e das linhas medias, grava
rem campos.vti, que o ParaView abre pelo menu File, Open, e campos.csv, que a
rem planilha abre com dois cliques, cada numero como numero. Espera uma tecla
rem no fim, para as mensagens poderem ser lidas. Sem parenteses nas linhas do
rem echo: o cmd do wine os toma por um bloco.
cd /d "%~dp0"
placa2d.exe --campos
if errorlevel 9009 echo placa2d.exe nao encontrado: rode campos.bat na pasta do pacote, depois de extrair o zip; ver LEIA-ME.txt.
if not errorlevel 1 echo Gravados campos.vti, que o ParaView abre pelo menu File, Open, e campos.csv, que abre com dois cliques na planilha.
pause
