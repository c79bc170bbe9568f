# Two entry points: `make run` and `make test`. Both install what is missing first.
JOBS ?= $(shell nproc)

.PHONY: run test build bench fuzz tsan deps clean screenshots golden

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DZAVO_TESTS=OFF
	cmake --build build/release -j $(JOBS)

run: build
	cd build/release && ./zavo

# Every page of the window's layout as PNG in build/release/screenshots.
screenshots: deps
	cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DZAVO_TESTS=OFF
	cmake --build build/release -j $(JOBS) --target screenshots

# The end-to-end test's golden pictures of pages (tests/editor/golden),
# written anew from the program as it draws now: after a change of the layout.
golden: deps
	cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DZAVO_SANITIZE=ON
	cmake --build build/test -j $(JOBS) --target test_editor
	cd build/test && ZAVO_UPDATE_GOLDEN=1 ./test_editor --gtest_filter='ProgramOnX.*'

test: deps
	cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DZAVO_SANITIZE=ON
	cmake --build build/test -j $(JOBS)
	cd build/test && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

# Each fuzz target runs for FUZZ_SECONDS from its corpus, which starts as a
# copy of the seeds kept in fuzz/seeds/<target>; a crash, a sanitizer report
# or a hang fails the target (the input is kept in build/fuzz as crash-*
# etc.). Each target's inputs per second come from libFuzzer's final stats.
# A target runs on one core: JOBS of them run at a time.
FUZZ_SECONDS ?= 30
FUZZ_TARGETS = Bank Preset Project MultiSample Bmp LearnFile Tuning Layout Fep Settings Categories

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O2 -g" \
		-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DZAVO_FUZZ=ON -DZAVO_TESTS=OFF
	cmake --build build/fuzz -j $(JOBS) --target fuzz_all
	@$(MAKE) --no-print-directory --output-sync=target -j $(JOBS) $(FUZZ_TARGETS:%=fuzz-run-%)

fuzz-run-%:
	@t=$*; echo "== fuzz_$$t for $(FUZZ_SECONDS) s"; \
	mkdir -p build/fuzz/corpus/$$t; \
	if [ -d fuzz/seeds/$$t ]; then cp fuzz/seeds/$$t/* build/fuzz/corpus/$$t/; fi; \
	if ! build/fuzz/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -timeout=20 -print_final_stats=1 \
		-artifact_prefix=build/fuzz/$$t- build/fuzz/corpus/$$t > build/fuzz/$$t.log 2>&1; then \
		tail -n 80 build/fuzz/$$t.log; echo "fuzz_$$t FAILED (log: build/fuzz/$$t.log)"; exit 1; \
	fi; \
	awk -v t=$$t '/stat::number_of_executed_units:/ { n = $$2 } /stat::average_exec_per_sec:/ { r = $$2 } \
		END { printf "fuzz_%s: %d inputs, %d inputs/s\n", t, n, r }' build/fuzz/$$t.log

# ThreadSanitizer build of the libraries and the thread stress program only;
# any report fails the run.
STRESS_SECONDS ?= 12

tsan: deps
	cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
		-DZAVO_TSAN=ON -DZAVO_TESTS=OFF
	cmake --build build/tsan -j $(JOBS) --target zavo_stress
	TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1" build/tsan/zavo_stress $(STRESS_SECONDS)

bench: deps
	cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DZAVO_TESTS=OFF -DZAVO_BENCH=ON
	cmake --build build/bench -j $(JOBS)
	@for b in build/bench/bench_*; do echo "== $$b"; $$b; done

# build/release is also the program's folder, where the user's presets,
# banks, projects, recordings, multi-samples, tunings, learnt controllers and
# Debug.txt are kept: there only what the build made goes (the build system's
# own clean, then what it writes unlisted: its configuration, the factory
# presets, the copies of the files of data/ and the pictures make screenshots
# drew), each by the name the build gives it, so a folder of the user's that
# bears such a name stays. The layout goes only while it is the one the build
# put there (or the built one): a layout saved from the layout editor stays,
# and so does the build's note of what it put there, by which the next build
# knows the layout as the user's. Every other build folder goes whole (build
# may be a symbolic link).
RELEASE_MADE = CMakeFiles CMakeCache.txt build.ninja .ninja_deps .ninja_log cmake_install.cmake \
	compile_commands.json generated Presets/Factory
DATA_FILES = $(patsubst data/%,%,$(shell find data -type f 2>/dev/null))
SCREENSHOTS = screenshots/page[0-9][0-9].png screenshots/dialog[0-9][0-9][0-9].png screenshots/about.png

clean:
	@if [ -d build/release ]; then cd build/release && \
		if [ ! -e ZAVO.gui ] || cmp -s ZAVO.gui .ZAVO.gui.installed || cmp -s ZAVO.gui generated/ZAVO.gui \
			|| cmp -s ZAVO.gui generated/ZAVO.gui.installed; then rm -f ZAVO.gui .ZAVO.gui.installed; fi; fi
	@if [ -f build/release/build.ninja ]; then cmake --build build/release --target clean; fi
	@if [ -d build/release ]; then cd build/release && rm -rf $(RELEASE_MADE) && \
		for f in empty_*.cpp $(SCREENSHOTS) $(DATA_FILES); do [ -d "$$f" ] || rm -f "$$f"; done && \
		{ [ ! -d screenshots ] || rmdir screenshots 2>/dev/null || true; }; fi
	@if [ -d build ]; then find -H build -mindepth 1 -maxdepth 1 ! -name release -exec rm -rf {} +; fi
