# The whole set-up is two commands: `make run` and `make test` (see README.md).
SHELL := /bin/bash
JOBS ?= $(shell nproc)
TEST_ARCH := $(shell tools/wine-arch.sh)
# The product is always the 32-bit build; window and end-to-end tests run on the build whose
# code this machine can execute under Wine.
ifeq ($(TEST_ARCH),i686)
  TEST_PRESET := windows
  TEST_DIR := build/windows
  PRODUCT_TESTS := ON
else
  TEST_PRESET := windows64
  TEST_DIR := build/windows64
  PRODUCT_TESTS := OFF
endif
CMAKE_ARGS ?=

.PHONY: all setup build host windows test test-host test-windows run clean

all: build

setup:
	@tools/setup-debian.sh

host: setup
	@[ -f build/host/CMakeCache.txt ] || cmake --preset host $(CMAKE_ARGS) >/dev/null
	cmake --build build/host -j $(JOBS)

windows: host
	@[ -f build/windows/CMakeCache.txt ] || cmake --preset windows -DKAVORIN_BUILD_TESTS=$(PRODUCT_TESTS) $(CMAKE_ARGS) >/dev/null
	cmake --build build/windows -j $(JOBS)
ifeq ($(TEST_ARCH),x86_64)
	@[ -f build/windows64/CMakeCache.txt ] || cmake --preset windows64 $(CMAKE_ARGS) >/dev/null
	cmake --build build/windows64 -j $(JOBS)
endif

build: windows
	@echo "Installer: build/windows/KavorinInstaller.exe"

test-host: host
	cd build/host && ctest --output-on-failure -j $(JOBS)

test-windows: windows
ifeq ($(TEST_ARCH),x86_64)
	cd build/windows && ctest --output-on-failure
endif
	tools/wine-prefix.sh $(TEST_DIR) $(TEST_ARCH)
	cd $(TEST_DIR) && KAVORIN_WINEPREFIX=$(CURDIR)/$(TEST_DIR)/wineprefix xvfb-run -a -s "-screen 0 1920x1400x24" ctest --output-on-failure

test: build
	@$(MAKE) --no-print-directory test-host
	@$(MAKE) --no-print-directory test-windows

run: build
	@tools/run-installer.sh $(TEST_DIR) $(TEST_ARCH)

clean:
	rm -rf build
