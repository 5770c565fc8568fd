# Front door of the project: every target installs what it needs first.
SHELL := /bin/bash
PRESET ?= default
BUILD_DIR := build/$(PRESET)

# Debian packages the build and the test suite need.
DEPS := cmake make g++ gcc pkg-config libgtest-dev libgmock-dev

.PHONY: all deps build test demo clean

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

clean:
	rm -rf build
