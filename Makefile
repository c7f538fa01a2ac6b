# Two commands for a fresh Debian machine: `make run` and `make test`. Every command below installs the
# Debian packages it needs itself (scripts/install-deps PURPOSE...), and only those.
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)
DEPS = scripts/install-deps

# SANITIZER=off leaves the sanitizer build out of `make test` (a quicker run while working; the
# checks run both halves).
SANITIZER ?= on

.PHONY: all deps configure build run test test-normal test-asan bench clean install deb web web-run check-fresh

all: build

# Everything `make test` needs.
deps:
	$(DEPS) test

configure:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

# Everything: the framework, the program, its tools and man pages, tests and benchmarks.
build:
	$(DEPS) build install
	$(MAKE) --no-print-directory configure
	cmake --build $(BUILD) -j$(JOBS)

# Only the program and the data beside it.
run:
	$(DEPS) build
	$(MAKE) --no-print-directory configure
	cmake --build $(BUILD) -j$(JOBS) --target brackenfold-intro
	./$(BUILD)/brackenfold-intro

test:
	$(DEPS) test
	$(MAKE) --no-print-directory test-normal
ifeq ($(SANITIZER),on)
	$(MAKE) --no-print-directory test-asan
endif

test-normal:
	scripts/run-tests $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_TESTS=ON

test-asan:
	scripts/run-tests $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DCORVANE_TESTS=ON -DCORVANE_SANITIZE=ON -DCORVANE_BENCHMARKS=OFF

# Benchmarks (never part of `make test`): one table of figures, and BUILD/bench-results/figures.json.
bench:
	$(DEPS) bench
	scripts/bench $(BUILD) $(BENCH_ARGS)

# Installs what `make` built under PREFIX (staged below DESTDIR when given) and lists every installed
# file: the intro, its tools, data and documentation (component "program", see README.md) and the
# framework for programs outside this tree (component "development": headers, libcorvane.a,
# corvane.pc, find_package(Corvane); see docs/FRAMEWORK.md). It builds nothing, so that
# `sudo make install` writes nothing of the build as root: `make` first.
PREFIX ?= /usr/local
install:
	@if [ ! -f "$(BUILD)/CMakeCache.txt" ] || [ ! -x "$(BUILD)/brackenfold-intro" ] || [ ! -x "$(BUILD)/vumo-compile" ]; then \
	  echo "make install: nothing is built in $(BUILD)/ yet; run \`make\` first (as yourself), then \`make install\` (\`sudo make install\` for /usr/local)" >&2; \
	  exit 1; \
	fi
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"
	@# cmake writes its list of installed files into the build folder: it stays the builder's.
	@if [ "$$(id -u)" -eq 0 ]; then chown --reference="$(BUILD)" "$(BUILD)"/install_manifest*.txt 2>/dev/null || true; fi

# The binary Debian package (dpkg-buildpackage, checked by lintian): build-deb/brackenfold-intro_*.deb
deb:
	$(DEPS) deb
	JOBS=$(JOBS) scripts/make-deb build-deb

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(WEB_BUILD) build-deb

# The intro for the browser: WEB_BUILD is a folder of static files (index.html, .js, .wasm, .data),
# with the example programs' pages in WEB_BUILD/examples/NAME/.
WEB_BUILD ?= build-web
WEB_PORT ?= 8019
web:
	$(DEPS) web
	scripts/build-web $(WEB_BUILD)

web-run: web
	scripts/serve-web $(WEB_BUILD) $(WEB_PORT)

# As root: a minimal Debian 12 root, a clean clone of the committed tree in it, only `make` installed
# by hand, then every command of the README there (scripts/check-fresh).
check-fresh:
	scripts/check-fresh

# Hardening runs, never part of `make test`: every fuzz target for FUZZ_SECONDS (two at a time), the
# soak of the intro for SOAK_SECONDS, and the intro under valgrind for MEMCHECK_SECONDS (both with the
# program of BUILD: results in BUILD/soak/ and BUILD/memcheck/).
FUZZ_SECONDS ?= 900
SOAK_SECONDS ?= 600
MEMCHECK_SECONDS ?= 20
.PHONY: fuzz soak memcheck
fuzz:
	$(DEPS) fuzz
	scripts/fuzz $(FUZZ_SECONDS)
soak:
	$(DEPS) soak
	SOAK_BUILD=$(BUILD) scripts/soak $(SOAK_SECONDS)
memcheck:
	$(DEPS) memcheck
	SOAK_BUILD=$(BUILD) scripts/memcheck $(MEMCHECK_SECONDS)
