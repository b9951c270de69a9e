# The whole set-up is two commands: `make run` and `make test` (see README.md).
SHELL := /bin/bash
JOBS ?= $(shell nproc)
CMAKE_ARGS ?=
# Every Wine program runs where 32-bit code can start: natively, or under qemu-i386 in a private
# namespace on kernels without 32-bit support (tools/i386-run.sh).
I386 := $(CURDIR)/tools/i386-run.sh
# Tests and the simulated TV run in a private network namespace: loopback and nothing else, so no
# packet of theirs leaves the machine (tools/netns-run.sh).
# The Windows tiers and `make run` give it a LAN of its own, so the window shows this PC's address
# as at home and the TV can be told to hold it.
NETNS := $(CURDIR)/tools/netns-run.sh
NETNS_LAN := $(NETNS) --lan 192.168.77.1/24
WIN := build/windows

.PHONY: all setup build host windows test test-host test-windows run bench clean

all: build

setup:
	@tools/setup-debian.sh

host: setup
	@[ -f build/host/CMakeCache.txt ] || cmake --preset host $(CMAKE_ARGS) >/dev/null
	cmake --build build/host -j $(JOBS)

# The product, build/windows/KavorinInstaller.exe, and the test programs beside it.
windows: host
	@[ -f $(WIN)/CMakeCache.txt ] || cmake --preset windows $(CMAKE_ARGS) >/dev/null
	cmake --build $(WIN) -j $(JOBS)

build: windows
	@echo "Installer: $(WIN)/KavorinInstaller.exe"

test-host: host
	cd build/host && $(NETNS) ctest --output-on-failure -j $(JOBS)

# The window, bridge-under-Wine and end-to-end tiers, all on the 32-bit build.
test-windows: windows
	tools/wine-prefix.sh $(WIN)
	cd $(WIN) && KAVORIN_WINEPREFIX=$(CURDIR)/$(WIN)/wineprefix \
	  $(NETNS_LAN) $(I386) xvfb-run -a -s "-screen 0 1920x1400x24" ctest --output-on-failure -j $(JOBS)

test: build
	@$(MAKE) --no-print-directory test-host
	@$(MAKE) --no-print-directory test-windows

# make run [TV=<address>] [SCENARIO=<name>] [AUTO=1]: see README.md. Only a real TV (TV=) is
# reached on the machine's own network.
run: build
	@$(if $(TV),,$(NETNS_LAN)) $(I386) /usr/bin/python3 tools/run-installer.py $(if $(TV),--tv '$(TV)') \
	  $(if $(SCENARIO),--scenario '$(SCENARIO)') $(if $(AUTO),--auto)

# Every benchmark, built without sanitizers (preset bench) and on the shipped 32-bit build; one
# table in build/bench/report.md (README, Benchmarks). Figures only: nothing fails on a figure.
bench: windows
	@[ -f build/bench/CMakeCache.txt ] || cmake --preset bench $(CMAKE_ARGS) >/dev/null
	cmake --build build/bench -j $(JOBS) --target bench_bridge linkemu kavorin_bridge
	cmake --build $(WIN) -j $(JOBS) --target install_bench probe_bench startup_bench minimal_window controls_window
	tools/wine-prefix.sh $(WIN)
	/usr/bin/python3 bench/report.py

clean:
	rm -rf build
