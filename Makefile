# SPDX-License-Identifier: Apache-2.0
# Front door of the project: every target installs what it needs first.
SHELL := /bin/bash
# No "Entering/Leaving directory" lines, here or in the builds below.
MAKEFLAGS += --no-print-directory
PRESET ?= default
BUILD_DIR := build/$(PRESET)
# make install PREFIX=/usr DESTDIR=/tmp/root: where the installed tree goes.
PREFIX ?= /usr/local
DESTDIR ?=

# Debian packages the build and the test suite need (zlib1g-dev computes the list file's
# checks; groff-base and man-db check the manual pages, git runs their examples;
# systemd's systemd-analyze verifies the backup units; dpkg-dev, debhelper,
# build-essential and file let dpkg-buildpackage build the Debian packages).
DEPS := cmake make g++ gcc pkg-config zlib1g-dev libgtest-dev libgmock-dev git \
        groff-base man-db dpkg-dev file systemd debhelper build-essential

# What `make package` and the packaging tests add: lintian checks the packages.
PACKAGE_DEPS := lintian

# What only `make bench` needs, kept apart so that `make test` stays lean: Google
# Benchmark, the libraries it compares against, GNU time for peak memory, python3 for
# the summary, gnuplot for the plot.
BENCH_DEPS := libbenchmark-dev uuid-dev libpugixml-dev time gnuplot-nox python3

.PHONY: all help deps configure build test demo install uninstall package clean bench

all: build  ## the same as make build

# One line per target: the text after "##" on the target's line.
help:  ## this list
	@awk -F ':[^#]*## ' '/^[a-z-]+:.*## / { printf "  make %-12s %s\n", $$1, $$2 }' $(MAKEFILE_LIST)

deps:  ## install the missing Debian packages of the build and the tests
	@missing=""; for p in $(DEPS); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  SUDO=""; [ "$$(id -u)" = 0 ] || SUDO=sudo; \
	  $$SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq $$missing; \
	fi

# CMake's errors and warnings go to standard error; its progress lines are dropped.
configure: deps
	@cmake --preset $(PRESET) --log-level=WARNING >/dev/null

build: configure  ## build korvane, the simulator and the tests in build/PRESET
	cmake --build --preset $(PRESET)

# Builds, then runs the tests, quietly when all pass (scripts/test.sh): a progress
# line while building, one line per failing test as it fails, and CTest's summary.
# The build's output is in BUILD_DIR/build.log (shown only when the build fails), the
# whole test run in BUILD_DIR/ctest.log. T=REGEX and L=LABEL pick tests as ctest -R and
# -L do (make test T='^id_list\.' L=unit; ctest --print-labels lists the labels) in
# the same build tree, building only what those tests need. SHOW_FAILURES=yes prints
# the failing tests' output too (CI does).
SHOW_FAILURES ?= no
T ?=
L ?=
test: configure  ## build and run the tests (T=REGEX, L=LABEL: only those)
	@$(MAKE) --no-print-directory deps DEPS="$(DEPS) $(PACKAGE_DEPS)"
	@bash scripts/test.sh $(PRESET) $(BUILD_DIR) $(SHOW_FAILURES) '$(T)' '$(L)'

# Only korvane and the simulator, not the tests.
demo: configure  ## build korvane and zapisim only, and run them against a simulated system
	cmake --build --preset $(PRESET) --target korvane zapisim
	bash scripts/demo.sh $(BUILD_DIR)

# korvane into PREFIX/sbin, zapisim into PREFIX/libexec/zapisim (PREFIX/bin links to
# it), the manual pages into PREFIX/share/man, the bash completions into
# PREFIX/share/bash-completion/completions; everything under DESTDIR when given. Only
# what is installed is built, not the tests. The binaries are stripped, as in the
# packages. Each destination (PREFIX and DESTDIR) keeps its own record of what was
# installed there, in BUILD_DIR/installs/, and make uninstall with the same PREFIX and
# DESTDIR removes exactly that (see scripts/install.sh).
INSTALLED_TARGETS := korvane zapisim korvane_manual_page zapisim_manual_page korvane_changelog
install: configure  ## install into PREFIX (/usr/local), under DESTDIR when given; stripped
	cmake --build --preset $(PRESET) --target $(INSTALLED_TARGETS)
	@bash scripts/install.sh install $(BUILD_DIR) $(BUILD_DIR)/installs "$(PREFIX)" "$(DESTDIR)"

uninstall:  ## remove what make install put at the same PREFIX and DESTDIR
	@bash scripts/install.sh uninstall $(BUILD_DIR)/installs "$(PREFIX)" "$(DESTDIR)"

# The Debian packages korvane_VERSION_ARCH.deb and zapisim_VERSION_ARCH.deb (and their
# -dbgsym packages), built from debian/ by dpkg-buildpackage, which builds and runs
# the test suite too unless DEB_BUILD_OPTIONS=nocheck. It leaves its results beside
# the source tree; they are moved to build/packages and checked by lintian, every
# tag shown (-I --pedantic); any tag not overridden in debian/ fails.
package:  ## the Debian packages, in build/packages, checked by lintian
	@$(MAKE) --no-print-directory deps DEPS="$(DEPS) $(PACKAGE_DEPS)"
	dpkg-buildpackage -us -uc -b
	@mkdir -p build/packages && rm -f build/packages/*
	@changes=korvane_$$(dpkg-parsechangelog -S Version)_$$(dpkg --print-architecture).changes; \
	  for file in $$(cut -d ' ' -f 1 debian/files) $$changes; do mv -- ../$$file build/packages/; done
	@out=$$(lintian -I --pedantic --fail-on error,warning,info,pedantic build/packages/*.changes 2>&1); \
	  status=$$?; grep -v '^running with root privileges is not recommended!$$' <<< "$$out" || true; \
	  [ $$status = 0 ] || { echo "lintian: tags in the packages above"; exit 1; }
	@ls -1 build/packages/*.deb

# The committed tree built into Debian packages twice, in two directories, without
# the test suite: the packages must be the same byte for byte (scripts/reproducible.sh).
.PHONY: reproducible
reproducible: deps  ## the Debian packages built twice must be byte for byte the same
	bash scripts/reproducible.sh

# Benchmarks in build/bench, then whole runs against the simulated system; the
# results and the plot go to build/bench/results (see docs/performance.md).
bench:  ## benchmarks and whole runs; results in build/bench/results
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
fuzz:  ## each fuzz target for FUZZ_SECONDS (60)
	@$(MAKE) --no-print-directory deps DEPS="$(DEPS) $(FUZZ_DEPS)"
	bash scripts/fuzz.sh --seconds $(FUZZ_SECONDS)

fuzz-ci:  ## each fuzz target for FUZZ_CI_SECONDS (25), as CI runs them
	@$(MAKE) --no-print-directory deps DEPS="$(DEPS) $(FUZZ_DEPS)"
	bash scripts/fuzz.sh --seconds $(FUZZ_CI_SECONDS)

# The whole test suite built with AddressSanitizer and UndefinedBehaviorSanitizer
# (preset asan, build/asan), the end-to-end runs of korvane under zapisim included.
.PHONY: test-asan
test-asan:  ## the test suite built with AddressSanitizer and UBSan, in build/asan
	@$(MAKE) --no-print-directory test PRESET=asan

# clang-tidy (.clang-tidy) and cppcheck over src/ and sim/; any finding fails. Only
# the configure step is needed: the compile commands come from it.
LINT_DEPS := clang-tidy cppcheck

.PHONY: lint
lint:  ## clang-format, clang-tidy and cppcheck; any finding fails
	@$(MAKE) --no-print-directory deps DEPS="$(DEPS) $(LINT_DEPS)"
	cmake --preset $(PRESET) >/dev/null
	bash scripts/lint.sh $(BUILD_DIR)

# valgrind memcheck over every korvane run of the end-to-end, fault-sweep and
# bad-input tests (an uninstrumented build: the default preset). Logs go to
# BUILD_DIR/memcheck; any error or lost block fails (see scripts/memcheck.sh).
MEMCHECK_DEPS := valgrind

.PHONY: memcheck
memcheck:  ## valgrind memcheck over every korvane run of the end-to-end tests
	@$(MAKE) --no-print-directory deps DEPS="$(DEPS) $(MEMCHECK_DEPS)"
	@$(MAKE) --no-print-directory build
	bash scripts/memcheck.sh $(BUILD_DIR)

clean:  ## remove build/
	rm -rf build
