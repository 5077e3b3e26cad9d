# Sequora — the README's commands. Every target installs what is missing first.
SHELL := /bin/bash
JOBS  ?= $(shell nproc)
BIN   := build/bin

.PHONY: deps configure build test test-normal test-asan test-asan-gui test-tsan fuzz bench demo gui screenshot package python clean \
        format format-check layers lint

# Every tracked C++ file; the house format is .clang-format, the lint rules .clang-tidy.
CXX_FILES = $(shell git ls-files -- '*.h' '*.hpp' '*.cpp')

deps:
	@bash scripts/deps.sh

configure: deps
	@cmake --preset default >/dev/null

build: configure
	@cmake --build --preset default -j $(JOBS)

test: format-check layers test-normal test-asan test-asan-gui test-tsan

format: deps
	@clang-format -i $(CXX_FILES)

format-check: deps
	@clang-format --dry-run --Werror $(CXX_FILES) || \
	  { echo "format-check: the files above differ from the house format; run make format" >&2; exit 1; }

layers:
	@bash scripts/check-layers.sh

# clang-tidy over the sources the build compiles (tests and benchmarks included), one per core.
lint: build
	@run-clang-tidy -p build -quiet -j $(JOBS) '^$(CURDIR)/(app|bench|cmdfile|comlux|galdera|tests)/' \
	  2>&1 | grep -v -e '^clang-tidy' -e ' warnings\? generated\.$$' -e '^Suppressed [0-9]* warnings' \
	         -e '^Use -header-filter' -e '^$$'; test $${PIPESTATUS[0]} -eq 0

test-normal: build
	@ctest --preset default -j $(JOBS)
	@bash scripts/test-busy-ports.sh

test-asan: deps
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan -j $(JOBS)
	@ctest --preset asan -j $(JOBS)

# The window and its tests under ASan + UBSan (Qt itself is not instrumented).
test-asan-gui: deps
	@cmake --preset asan-gui >/dev/null
	@cmake --build --preset asan-gui -j $(JOBS)
	@ctest --preset asan-gui -j $(JOBS)

test-tsan: deps
	@cmake --preset tsan >/dev/null
	@cmake --build --preset tsan -j $(JOBS)
	@ctest --preset tsan -j $(JOBS)

# Runs every fuzz target for FUZZ_SECONDS each (the test run gives them a few seconds only).
FUZZ_SECONDS ?= 300
fuzz: deps
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan -j $(JOBS)
	@for f in build-asan/bin/fuzz_*; do echo "== $$f"; "$$f" -max_total_time=$(FUZZ_SECONDS) || exit 1; done

# The comlux Python module into build/python/ (for Debian's /usr/bin/python3).
python: configure
	@cmake --build --preset default -j $(JOBS) --target comlux_python

bench: build
	@bash scripts/bench.sh

demo: build
	@bash scripts/demo.sh

gui: build
	@bash scripts/gui.sh

screenshot: build
	@bash scripts/screenshot.sh

# The Debian packages into build/packages/ (debian/, built without tests or benchmarks), then
# lintian: any error or warning fails.
package: deps
	@bash scripts/package.sh build/packages

clean:
	rm -rf build build-asan build-asan-gui build-tsan
