# Two entry points do all set-up: `make run` starts xol, `make test` runs every test.
JOBS   ?= $(shell nproc)
CMAKE  := cmake -G Ninja -Wno-dev

.PHONY: deps build build-asan run test bench clean

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

bench:
	@scripts/install-deps bench
	@$(CMAKE) -S . -B build -DCMAKE_BUILD_TYPE=Release -DXOL_BENCH=ON >/dev/null
	@cmake --build build -j $(JOBS)
	@bench/run

clean:
	rm -rf build build-asan
