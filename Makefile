# Entry points. Every target installs what is missing first, so a fresh
# Debian 12 machine needs nothing but this checkout.
PREFIX ?= /usr/local
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60

.PHONY: all deps build build-asan test demo bench fuzz install package clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake --preset default >/dev/null
	cmake --build --preset default -j $(JOBS)

build-asan: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)

test: build build-asan
	ctest --preset default -j $(JOBS) --timeout 600
	ctest --preset asan -j $(JOBS) --timeout 600

demo: build
	@scripts/demo

bench: build
	bench/compare

fuzz: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)
	scripts/run-fuzzers $(FUZZ_SECONDS)

install: build
	cmake --install build --prefix $(PREFIX)

# build/fwkit_<version>_<arch>.deb, for `apt-get install ./build/fwkit_*.deb`.
package: build
	cd build && cpack -G DEB

clean:
	rm -rf build build-asan build-release build-fuzz
