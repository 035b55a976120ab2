.PHONY: deps build demo test format clean

deps:
	scripts/deps.sh

build: deps
	scripts/build.sh linux

demo: build
	build/tools/brivane/brivane demo

test: deps
	scripts/test.sh

# Rewrites every C and C++ file as .clang-format writes it; make test fails on any difference.
format: deps
	scripts/check-format.sh --fix

clean:
	rm -rf build build-asan build-tsan build-win32 build-win64 build-fuzz build-coverage

.PHONY: install package dist-windows
PREFIX ?= /usr/local

install: build
	cmake --install build --prefix "$(PREFIX)"

# The Debian package: build/brivane_VERSION_ARCH.deb.
package: build
	cd build && cpack

dist-windows: deps
	scripts/dist-windows.sh
