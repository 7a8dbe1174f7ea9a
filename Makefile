# Atalhos sobre o CMake.
#   make executar  compila e roda o programa no exemplo (exemplo/)
#   make teste     compila e passa os testes: normais, com ASan e UBSan e a
#                  verificação do executável do Windows (MinGW-w64 e wine)
#   make windows   só a compilação cruzada: build-windows/placa2d.exe
#   make fuzz      fuzzing da leitura da entrada por FUZZ_SEGUNDOS segundos (clang)
#   make bench     compila e roda a bancada dos solvers (referência x rápidos)

FUZZ_SEGUNDOS ?= 60
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
MAKEFLAGS += --no-print-directory

.PHONY: executar teste teste-windows windows compilar configurar fuzz bench

configurar:
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release

compilar: configurar
	cmake --build build -j $(JOBS)

# No Linux, os substitutos de notepad e wgnuplot (ferramentas/linux) vêm antes
# no PATH; sem terminal nada espera pelo usuário.
executar: configurar
	cmake --build build -j $(JOBS) --target placa2d
	cd exemplo && PATH="$(CURDIR)/ferramentas/linux:$$PATH" ../build/placa2d
	@echo "Resultados em exemplo/: o relatório, desl_x_meio.txt, desl_y_meio.txt, desl_x_meio.png e desl_y_meio.png"

teste: compilar
	ctest --test-dir build --output-on-failure -j $(JOBS)
	cmake -S . -B build-sanitizado -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLACA2D_SANITIZAR=ON
	cmake --build build-sanitizado -j $(JOBS)
	ctest --test-dir build-sanitizado --output-on-failure -j $(JOBS)
	$(MAKE) teste-windows

teste-windows: compilar
	JOBS=$(JOBS) bash tests/teste_windows.sh build build-windows

windows:
	cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release -DPLACA2D_TESTES=OFF
	cmake --build build-windows -j $(JOBS)

fuzz:
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLACA2D_FUZZ=ON -DPLACA2D_TESTES=OFF
	cmake --build build-fuzz -j $(JOBS) --target fuzz_entrada
	mkdir -p build-fuzz/corpus
	build-fuzz/fuzz/fuzz_entrada -max_total_time=$(FUZZ_SEGUNDOS) -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
	  build-fuzz/corpus fuzz/sementes

bench: compilar
	./build/bench/bancada
