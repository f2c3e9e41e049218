# Entry points. Every target installs what is missing first, so a fresh
# Debian 12 machine needs nothing but this checkout.
PREFIX ?= /usr/local
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60

.PHONY: all deps build build-asan build-tsan build-clang-libcxx test demo bench fuzz install package clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake --preset default >/dev/null
	cmake --build --preset default -j $(JOBS)

build-asan: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)

build-tsan: deps
	cmake --preset tsan >/dev/null
	cmake --build --preset tsan -j $(JOBS)

build-clang-libcxx: deps
	cmake --preset clang-libcxx >/dev/null
	cmake --build --preset clang-libcxx -j $(JOBS)

# The ThreadSanitizer tree compares its walk with the default tree's, so it
# runs after that one is built.
test: build build-asan build-tsan build-clang-libcxx
	ctest --preset default -j $(JOBS) --timeout 600
	ctest --preset asan -j $(JOBS) --timeout 600
	ctest --preset tsan -j $(JOBS) --timeout 900
	ctest --preset clang-libcxx -j $(JOBS) --timeout 600

demo: build
	@scripts/demo

# bench/compare's ratios at one size, then bench/scale's cost curve (which
# generates about 2 GB of inputs the first time); both run even when the
# other misses a target.
bench: build
	cmake --build --preset default --target benchmarks -j $(JOBS)
	status=0; bench/compare || status=1; bench/scale || status=1; exit $$status

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
	rm -rf build build-asan build-tsan build-clang-libcxx build-release build-fuzz
