# Two entry points: `make run` and `make test`. Both install what is missing first.
JOBS ?= $(shell nproc)

.PHONY: run test build bench deps clean

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DZAVO_TESTS=OFF
	cmake --build build/release -j $(JOBS)

run: build
	cd build/release && ./zavo

test: deps
	cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DZAVO_SANITIZE=ON
	cmake --build build/test -j $(JOBS)
	cd build/test && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

bench: deps
	cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DZAVO_TESTS=OFF -DZAVO_BENCH=ON
	cmake --build build/bench -j $(JOBS)
	@for b in build/bench/bench_*; do echo "== $$b"; $$b; done

clean:
	rm -rf build
