# Task runner: the real work is in scripts/ and the CMake presets.
.PHONY: run test build setup setup-test configure bench screenshots package sanitize fuzz clean

# Offers SANE's virtual test scanner beside the system's scanners. Builds
# only the program (and whatever it runs), not the tests and benchmarks.
run: setup configure
	cmake --build --preset default --target paperlark
	scripts/with-test-scanner.sh ./build/Paperlark/paperlark

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

# Pictures of the real windows under Xvfb, in a throw-away HOME: build/screenshots/*.png
screenshots: setup-test configure
	cmake --build --preset default --target paperlark_screenshots paperlark-scanner
	PAPERLARK_SCANNER=$(CURDIR)/build/libexec/paperlark/paperlark-scanner \
		xvfb-run -a -s "-screen 0 1440x900x24" \
		scripts/test-env.sh build/tools/paperlark_screenshots -platform xcb build/screenshots

# The whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer,
# in its own build folder (build-sanitize/); leaks inside system libraries
# are suppressed by tests/lsan.supp.
sanitize: setup-test
	cmake --preset sanitize >/dev/null
	cmake --build --preset sanitize
	scripts/test-env.sh ctest --preset sanitize

# The fuzz targets under libFuzzer (clang, with AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz/, each for FUZZ_SECONDS (default
# 300), starting from its committed corpus: the PDF reader's parsing and the
# scanner worker's page files. What they find goes to build-fuzz/corpus/.
FUZZ_SECONDS ?= 300
fuzz: setup-test
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz --target fuzz_pdf_reader fuzz_workerpage
	mkdir -p build-fuzz/corpus/pdf build-fuzz/corpus/workerpage
	build-fuzz/tests/pdf/fuzz_pdf_reader -max_total_time=$(FUZZ_SECONDS) -timeout=30 \
		-rss_limit_mb=4096 build-fuzz/corpus/pdf tests/data/pdf/corpus tests/data/pdf
	build-fuzz/tests/scanning/fuzz_workerpage -max_total_time=$(FUZZ_SECONDS) -timeout=30 \
		-rss_limit_mb=4096 build-fuzz/corpus/workerpage tests/data/scanning/worker-page-corpus

# The Debian package: build/paperlark_<version>_<architecture>.deb
package: setup-test build
	cmake --build --preset default --target package

clean:
	rm -rf build build-sanitize
