# Quick start: `make demo` shows the toolbar at work, `make test` installs
# what is missing, builds and runs every test under Wine. TESTS=regex runs
# only the ctest tests it matches (x86.Suite.en, x64.Suite.de, ...).
BUILD ?= build
JOBS ?= 2
export JOBS

.PHONY: all deps build package test demo bench clean

all: build

deps:
	@sh tools/install-deps.sh

build: deps
	@sh tools/build.sh $(BUILD) x64
	@sh tools/build.sh $(BUILD) x86

# The installers, each with its own build's binaries: build/x86/velmora-setup-x86.exe
# (shipped) and build/x64/velmora-setup-x64.exe.
package: deps
	@sh tools/build.sh $(BUILD) x64 installer
	@sh tools/build.sh $(BUILD) x86 installer

test: deps
	@sh tools/test.sh $(BUILD) '$(TESTS)'

# The toolbar at work in the stand-in browser; FEEDS=live for the built-in feed list.
demo:
	@sh tools/install-deps.sh
	@sh tools/demo.sh $(BUILD) $(FEEDS)

# FRAMES frames of the real renderer and of the floor program, then REFRESHES
# refreshes; prints frame rate, CPU, the ratio to the floor and memory.
bench: build
	@sh tools/bench.sh $(BUILD) $(or $(FRAMES),10000) $(or $(REFRESHES),1000)

clean:
	rm -rf $(BUILD)
