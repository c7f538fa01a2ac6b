# Two commands for a fresh Debian machine: `make run` and `make test`.
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)

.PHONY: all deps build run test test-normal test-asan bench clean install deb web web-run

all: build

deps:
	scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(BUILD) -j$(JOBS)

run: build
	./$(BUILD)/brackenfold-intro

test: deps test-normal test-asan

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
