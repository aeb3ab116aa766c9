# Task runner: the real work is in scripts/ and the CMake presets.
.PHONY: run test build setup setup-test configure bench clean

run: setup build
	./build/Paperlark/paperlark

test: setup-test build
	scripts/test-env.sh ctest --preset default --output-on-failure

build: configure
	cmake --build --preset default

configure:
	cmake --preset default >/dev/null

setup:
	scripts/setup.sh

setup-test:
	scripts/setup.sh --test

bench: setup-test configure
	cmake --build --preset default --target bench_all
	scripts/test-env.sh cmake --build --preset default --target run_bench

clean:
	rm -rf build
