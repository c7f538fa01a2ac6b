# Two commands for a fresh Debian machine: `make run` and `make test`.
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)

# SANITIZER=off leaves the sanitizer build out of `make test` (scripts/check-fresh does: it needs no
# package the normal build does not, and the outer `make test` runs it).
SANITIZER ?= on

.PHONY: all deps configure build run test test-normal test-asan bench clean install deb web web-run check-fresh

all: build

deps:
	scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

# Everything: the framework, the program, its tools, tests and benchmarks.
build: configure
	cmake --build $(BUILD) -j$(JOBS)

# Only the program and the data beside it.
run: configure
	cmake --build $(BUILD) -j$(JOBS) --target brackenfold-intro
	./$(BUILD)/brackenfold-intro

test: deps test-normal $(if $(filter on,$(SANITIZER)),test-asan)

test-normal:
	scripts/run-tests $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

test-asan:
	scripts/run-tests $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DCORVANE_SANITIZE=ON -DCORVANE_BENCHMARKS=OFF

# Benchmarks (never part of `make test`): one table of figures, and BUILD/bench-results/figures.json.
bench: deps
	scripts/bench $(BUILD) $(BENCH_ARGS)

# Installs under PREFIX (staged below DESTDIR when given) and lists every installed file: the intro,
# its tools, data and documentation (component "program", see README.md) and the framework for
# programs outside this tree (component "development": headers, libcorvane.a, corvane.pc,
# find_package(Corvane); see docs/FRAMEWORK.md).
PREFIX ?= /usr/local
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# The binary Debian package (dpkg-buildpackage, checked by lintian): build-deb/brackenfold-intro_*.deb
deb: deps
	JOBS=$(JOBS) scripts/make-deb build-deb

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(WEB_BUILD) build-deb

# The intro for the browser: WEB_BUILD is a folder of static files (index.html, .js, .wasm, .data),
# with the example programs' pages in WEB_BUILD/examples/NAME/.
WEB_BUILD ?= build-web
WEB_PORT ?= 8019
web: deps
	scripts/build-web $(WEB_BUILD)

web-run: web
	scripts/serve-web $(WEB_BUILD) $(WEB_PORT)

# As root: a minimal Debian 12 root, a clean clone of the committed tree in it, only `make` installed
# by hand, then `make run` and `make test` there (scripts/check-fresh).
check-fresh:
	scripts/check-fresh

# Hardening runs, never part of `make test`: every fuzz target for FUZZ_SECONDS (two at a time),
# the ten-minute soak of the intro, and the intro under valgrind.
FUZZ_SECONDS ?= 900
.PHONY: fuzz soak memcheck
fuzz:
	scripts/fuzz $(FUZZ_SECONDS)
soak:
	scripts/soak
memcheck:
	scripts/memcheck
