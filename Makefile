# The two commands of the README, and the steps behind them.
JOBS ?= $(shell nproc)

.PHONY: setup build run test test-asan bench fuzz clean

setup:
	@bash scripts/setup.sh

build: setup
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS)

run: build
	./build/release/bin/vekvoxa-cli list samples/game

test: build
	ctest --preset release -j $(JOBS)

# The Qt-free core under AddressSanitizer and UBSan.
test-asan: setup
	cmake --preset core-asan >/dev/null
	cmake --build --preset core-asan -j $(JOBS)
	ctest --preset core-asan -j $(JOBS)

bench: build
	bash bench/run.sh

# FUZZ_SECONDS per target (default 60).
fuzz: setup
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)
	bash fuzz/run.sh $(or $(FUZZ_SECONDS),60)

clean:
	rm -rf build
