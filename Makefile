# Atalhos sobre o CMake. `make` sozinho lista os alvos. Numa máquina nova,
# ./executar.sh e ./testar.sh instalam antes o que falta (make inclusive).

FUZZ_SEGUNDOS ?= 60
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
MAKEFLAGS += --no-print-directory

.PHONY: ajuda programa executar imagens verificacao verificacao-docs compilar teste teste-rapido teste-windows windows pacote-windows fuzz bench

ajuda:
	@echo "Alvos (numa máquina nova, use antes ./executar.sh ou ./testar.sh, que instalam o que falta):"
	@echo "  make executar      compila o programa e roda o exemplo em exemplo/ (relatório, perfis e PNGs)"
	@echo "  make teste         compila e passa todos os testes, com um resumo no fim"
	@echo "  make teste-rapido  o mesmo, sem a compilação com ASan e UBSan"
	@echo "  make programa      só compila o programa: build/placa2d (sem os testes nem o GoogleTest)"
	@echo "  make imagens       refaz as imagens da documentação (docs/imagens/) com uma execução nova do exemplo"
	@echo "  make verificacao   ordem de precisão: o programa em malhas de 11 a 161 nós, a tabela e build/verificacao.png"
	@echo "  make verificacao-docs  o mesmo, refazendo a imagem guardada docs/imagens/verificacao.png"
	@echo "  make windows       compilação cruzada para o Windows: build-windows/placa2d.exe"
	@echo "  make pacote-windows o pacote para alunos: build-windows/placa2d-VERSAO-windows.zip (exe, exemplo, roteiros, LEIA-ME)"
	@echo "  make teste-windows só a verificação do executável e do pacote do Windows no wine"
	@echo "  make fuzz          fuzzing da leitura da entrada por FUZZ_SEGUNDOS=$(FUZZ_SEGUNDOS) segundos (clang)"
	@echo "  make bench         compila e roda a bancada dos solvers (referência x rápidos)"

# O programa sozinho não precisa do GoogleTest.
programa:
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DPLACA2D_TESTES=OFF
	cmake --build build -j $(JOBS) --target placa2d

executar: programa
	ferramentas/placa2d-rodar exemplo

# Uma execução nova do exemplo numa cópia, sem terminal (só os PNGs).
imagens: programa
	rm -rf build/imagens && mkdir -p build/imagens docs/imagens
	cp exemplo/entrada_geral.ent exemplo/*.gnu build/imagens/
	ferramentas/placa2d-rodar --campos build/imagens < /dev/null
	cp build/imagens/desl_x_meio.png build/imagens/desl_y_meio.png build/imagens/mapa_*.png build/imagens/convergencia.png docs/imagens/
	@# A figura do campos.vti: o VTK do Python do sistema, numa tela (a de verdade ou a do xvfb-run).
	@if ! /usr/bin/python3 -c 'import vtkmodules' 2>/dev/null; then \
	  echo "imagens: docs/imagens/campos_paraview.png não refeita: falta o VTK do Python (apt-get install python3-vtk9)"; \
	elif [ -n "$$DISPLAY" ]; then ferramentas/imagem-campos.py build/imagens/campos.vti docs/imagens/campos_paraview.png; \
	elif command -v xvfb-run >/dev/null 2>&1; then \
	  xvfb-run -a ferramentas/imagem-campos.py build/imagens/campos.vti docs/imagens/campos_paraview.png; \
	else echo "imagens: docs/imagens/campos_paraview.png não refeita: sem tela, o VTK precisa do xvfb-run (apt-get install xvfb)"; fi

# Ordem de precisão: o erro e as diferenças entre malhas caem como h².
verificacao: programa
	ferramentas/verificacao.sh

verificacao-docs: programa
	ferramentas/verificacao.sh --docs

compilar:
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DPLACA2D_TESTES=ON
	cmake --build build -j $(JOBS)

teste:
	JOBS=$(JOBS) ferramentas/testes.sh

teste-rapido:
	JOBS=$(JOBS) ferramentas/testes.sh --rapido

teste-windows: compilar
	JOBS=$(JOBS) bash tests/teste_windows.sh build build-windows

windows:
	cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release -DPLACA2D_TESTES=OFF
	cmake --build build-windows -j $(JOBS)

# O zip para distribuir: placa2d.exe, o exemplo, os roteiros, mapas.bat e o
# LEIA-ME.txt (reprodutível: o mesmo código dá o mesmo zip).
pacote-windows: windows
	ferramentas/pacote-windows.sh build-windows

fuzz:
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLACA2D_FUZZ=ON -DPLACA2D_TESTES=OFF
	cmake --build build-fuzz -j $(JOBS) --target fuzz_entrada
	mkdir -p build-fuzz/corpus
	build-fuzz/fuzz/fuzz_entrada -max_total_time=$(FUZZ_SEGUNDOS) -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
	  build-fuzz/corpus fuzz/sementes

bench: compilar
	./build/bench/bancada
