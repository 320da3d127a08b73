# Two entry points do all set-up: `make run` starts xol, `make test` runs every test.
JOBS   ?= $(shell nproc)
CMAKE  := cmake -G Ninja -Wno-dev

.PHONY: deps build build-asan run test stress bench fuzz clean

deps:
	@scripts/install-deps

build: deps
	@$(CMAKE) -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build -j $(JOBS)

# Debug build of the unit tests under AddressSanitizer and UndefinedBehaviorSanitizer.
build-asan: deps
	@$(CMAKE) -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DXOL_SANITIZE=ON >/dev/null
	@cmake --build build-asan -j $(JOBS) --target xol_unit_tests xol

run: build
	./build/xol $(ARGS)

test: build build-asan
	@scripts/run-tests

# Scripts that push series to the size limit: they need several GiB of memory and minutes, so
# they stay out of `make test`.
stress: build
	@XOL_SCRIPT_SECONDS=600 tests/xol/run build/xol tests/stress

bench:
	@scripts/install-deps bench
	@$(CMAKE) -S . -B build -DCMAKE_BUILD_TYPE=Release -DXOL_BENCH=ON >/dev/null
	@cmake --build build -j $(JOBS)
	@bench/run

# The libFuzzer targets (clang, sanitizers on), run for FUZZ_SECONDS in all with FUZZ_JOBS
# workers; crashes are kept in build-fuzz/artifacts/. FUZZ_TARGETS picks some of them.
FUZZ_SECONDS ?= 300
FUZZ_JOBS    ?= 4
FUZZ_TARGETS ?= load eval diff parse xolbin lz zlib deflate gzip image json csv
fuzz:
	@scripts/install-deps fuzz
	@$(CMAKE) -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DXOL_FUZZ=ON \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	@cmake --build build-fuzz -j $(JOBS) --target $(addprefix xol_fuzz_,$(FUZZ_TARGETS))
	@fuzz/run build-fuzz $(FUZZ_SECONDS) $(FUZZ_JOBS) $(FUZZ_TARGETS)

clean:
	rm -rf build build-asan build-fuzz
