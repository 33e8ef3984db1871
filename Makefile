# Drives the CMake presets. `make test` and `make demo` are the two commands a newcomer needs.
.PHONY: build test demo setup native sanitize tsan fuzz-build win32 fuzz bench clean

HAVE_MINGW := $(shell command -v i686-w64-mingw32-g++-posix 2>/dev/null)

build: native $(if $(HAVE_MINGW),win32)

setup:
	@scripts/setup.sh

native:
	cmake --preset native >/dev/null
	cmake --build --preset native

sanitize:
	cmake --preset sanitize >/dev/null
	cmake --build --preset sanitize

tsan:
	cmake --preset tsan >/dev/null
	cmake --build --preset tsan --target logic_test

FUZZ_SECONDS ?= 30
fuzz-build:
	cmake --preset fuzz -DVELDRA_FUZZ_SECONDS=$(FUZZ_SECONDS) >/dev/null
	cmake --build --preset fuzz

win32:
	cmake --preset win32 >/dev/null
	cmake --build --preset win32

test: setup
	$(MAKE) --no-print-directory native sanitize tsan fuzz-build win32
	ctest --preset native
	ctest --preset sanitize
	ctest --preset tsan
	ctest --preset fuzz
	scripts/with-wine.sh ctest --preset win32

# Times the installer against cp, mv and rsync; writes bench/results.md. Not part of `make test`.
bench: setup
	scripts/setup.sh bench
	cmake --preset release >/dev/null
	cmake --build --preset release
	$(MAKE) --no-print-directory $(if $(HAVE_MINGW),win32)
	python3 bench/run.py

# The fuzzers for longer than the test suite gives them.
fuzz: setup
	$(MAKE) --no-print-directory fuzz-build FUZZ_SECONDS=600
	ctest --preset fuzz

demo: setup
	$(MAKE) --no-print-directory build
	scripts/demo.sh

clean:
	rm -rf build
