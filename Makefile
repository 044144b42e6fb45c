# Quick start:  make run        (build and open Tavrel under Wine, with demo printers and sample jobs;
#                               make run PRINTERS=system: with this machine's CUPS printers instead)
#               make test       (build every preset and run every test but the large ones)
#               make test-large (a ZIP member over 4 GiB: over 4 GiB of disk, about a minute)
#               make bench      (speed and memory against baselines; see docs/PERFORMANCE.md)
PRESETS := native windows-x64 windows-i686-release

.PHONY: all setup build test test-large run bench clean

all: build

setup:
	@scripts/setup

build: setup
	@set -e; for p in $(PRESETS); do \
	  cmake --preset $$p >/dev/null; \
	  cmake --build --preset $$p; \
	done

test: build
	@scripts/run-tests

test-large: build
	@scripts/run-tests -L large

# The shipped 32-bit program where this machine runs 32-bit programs, else the x64 build.
RUN_PRESET = $(shell scripts/can-run-32bit && echo windows-i686-release || echo windows-x64)

run: setup
	@cmake --preset $(RUN_PRESET) >/dev/null
	@cmake --build --preset $(RUN_PRESET) --target Tavrel
	@cmake --preset windows-x64 >/dev/null
	@cmake --build --preset windows-x64 --target tavrel_demo
	@TAVREL_PRINTERS=$(PRINTERS) scripts/run-tavrel

bench: setup
	@cmake --preset windows-x64 >/dev/null
	@cmake --preset windows-i686-release >/dev/null
	@bench/run --output build/bench-table.md

clean:
	rm -rf build
