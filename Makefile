# Atalhos sobre o CMake.
#   make executar  compila e roda o programa no exemplo (exemplo/)
#   make teste     compila e passa os testes (também com ASan e UBSan)
#   make bench     compila e roda a bancada dos solvers (referência x rápidos)

JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: executar teste compilar bench

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

bench: compilar
	./build/bench/bancada
