# Atalhos sobre o CMake.
#   make executar  compila e roda o programa no exemplo (exemplo/)
#   make teste     compila e passa os testes (também com ASan e UBSan)
#   make fuzz      fuzzing da leitura da entrada por FUZZ_SEGUNDOS segundos (clang)
#   make bench     compila e roda a bancada dos solvers (referência x rápidos)

FUZZ_SEGUNDOS ?= 60
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: executar teste compilar fuzz bench

compilar:
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
	cmake --build build -j $(JOBS)

executar: compilar
	cd exemplo && PATH="$(CURDIR)/ferramentas/linux:$$PATH" ../build/placa2d

teste: compilar
	ctest --test-dir build --output-on-failure -j $(JOBS)
	cmake -S . -B build-sanitizado -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLACA2D_SANITIZAR=ON
	cmake --build build-sanitizado -j $(JOBS)
	ctest --test-dir build-sanitizado --output-on-failure -j $(JOBS)

fuzz:
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLACA2D_FUZZ=ON -DPLACA2D_TESTES=OFF
	cmake --build build-fuzz -j $(JOBS) --target fuzz_entrada
	mkdir -p build-fuzz/corpus
	build-fuzz/fuzz/fuzz_entrada -max_total_time=$(FUZZ_SEGUNDOS) -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
	  build-fuzz/corpus fuzz/sementes

bench: compilar
	./build/bench/bancada
