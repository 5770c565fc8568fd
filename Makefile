# SPDX-License-Identifier: Apache-2.0
# Front door of the project: every target installs what it needs first.
SHELL := /bin/bash
PRESET ?= default
BUILD_DIR := build/$(PRESET)
# make install PREFIX=/usr DESTDIR=/tmp/root: where the installed tree goes.
PREFIX ?= /usr/local
DESTDIR ?=

# Debian packages the build and the test suite need (groff-base and man-db check
# the manual pages; dpkg-dev and file let CPack compute the packages' dependencies).
DEPS := cmake make g++ gcc pkg-config libgtest-dev libgmock-dev \
        groff-base man-db dpkg-dev file

# What only `make bench` needs, kept apart so that `make test` stays lean: Google
# Benchmark, the libraries it compares against, GNU time for peak memory, python3 for
# the summary, gnuplot for the plot.
BENCH_DEPS := libbenchmark-dev uuid-dev libpugixml-dev time gnuplot-nox python3

.PHONY: all deps build test demo install package clean bench

all: build

deps:
	@missing=""; for p in $(DEPS); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  SUDO=""; [ "$$(id -u)" = 0 ] || SUDO=sudo; \
	  $$SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq $$missing; \
	fi

build: deps
	cmake --preset $(PRESET)
	cmake --build --preset $(PRESET)

test: build
	ctest --preset $(PRESET)

demo: build
	bash scripts/demo.sh $(BUILD_DIR)

# korvane into PREFIX/sbin, zapisim into PREFIX/libexec/zapisim (PREFIX/bin links to
# it), the manual pages into PREFIX/share/man; everything under DESTDIR when given.
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD_DIR) --prefix "$(PREFIX)"

# The Debian packages korvane_VERSION_ARCH.deb and zapisim_VERSION_ARCH.deb.
package: build
	cpack --config $(BUILD_DIR)/CPackConfig.cmake -B $(BUILD_DIR)/packages
	@rm -rf $(BUILD_DIR)/packages/_CPack_Packages
	@ls -1 $(BUILD_DIR)/packages/*.deb

# Benchmarks in build/bench, then whole runs against the simulated system; the
# results and the plot go to build/bench/results (see docs/performance.md).
bench:
	@$(MAKE) --no-print-directory deps DEPS="$(DEPS) $(BENCH_DEPS)"
	cmake --preset bench
	cmake --build --preset bench
	bash scripts/bench.sh build/bench

# The libFuzzer targets (preset fuzz: clang 14, ASan and UBSan), each run for
# FUZZ_SECONDS from the seeds in fuzz/corpus; fuzz-ci is CI's short run. A crash fails
# the target and leaves its input in build/fuzz/artifacts (see scripts/fuzz.sh).
FUZZ_DEPS := clang-14 libclang-rt-14-dev
FUZZ_SECONDS ?= 60
FUZZ_CI_SECONDS ?= 25

.PHONY: fuzz fuzz-ci
fuzz:
	@$(MAKE) --no-print-directory deps DEPS="$(DEPS) $(FUZZ_DEPS)"
	bash scripts/fuzz.sh --seconds $(FUZZ_SECONDS)

fuzz-ci:
	@$(MAKE) --no-print-directory deps DEPS="$(DEPS) $(FUZZ_DEPS)"
	bash scripts/fuzz.sh --seconds $(FUZZ_CI_SECONDS)

# The whole test suite built with AddressSanitizer and UndefinedBehaviorSanitizer
# (preset asan, build/asan), the end-to-end runs of korvane under zapisim included.
.PHONY: test-asan
test-asan:
	@$(MAKE) --no-print-directory test PRESET=asan

# clang-tidy (.clang-tidy) and cppcheck over src/ and sim/; any finding fails. Only
# the configure step is needed: the compile commands come from it.
LINT_DEPS := clang-tidy cppcheck

.PHONY: lint
lint:
	@$(MAKE) --no-print-directory deps DEPS="$(DEPS) $(LINT_DEPS)"
	cmake --preset $(PRESET) >/dev/null
	bash scripts/lint.sh $(BUILD_DIR)

# valgrind memcheck over every korvane run of the end-to-end, fault-sweep and
# bad-input tests (an uninstrumented build: the default preset). Logs go to
# BUILD_DIR/memcheck; any error or lost block fails (see scripts/memcheck.sh).
MEMCHECK_DEPS := valgrind

.PHONY: memcheck
memcheck:
	@$(MAKE) --no-print-directory deps DEPS="$(DEPS) $(MEMCHECK_DEPS)"
	@$(MAKE) --no-print-directory build
	bash scripts/memcheck.sh $(BUILD_DIR)

clean:
	rm -rf build
