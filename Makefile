# Drives the CMake presets. `make test` and `make demo` are the two commands a newcomer needs.
.PHONY: build test demo setup native sanitize win32 clean

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

win32:
	cmake --preset win32 >/dev/null
	cmake --build --preset win32

test: setup
	$(MAKE) --no-print-directory native sanitize win32
	ctest --preset native
	ctest --preset sanitize
	scripts/with-wine.sh ctest --preset win32

demo: setup
	$(MAKE) --no-print-directory build
	scripts/demo.sh

clean:
	rm -rf build
