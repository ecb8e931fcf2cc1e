# Quick start: `make test` installs what is missing, builds and runs every
# test under Wine. TESTS=regex runs only the ctest tests it matches.
BUILD ?= build
JOBS ?= 2

.PHONY: all deps build prefix test bench clean

all: build

deps:
	@sh tools/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

prefix: deps
	sh tests/support/make-prefix.sh $(BUILD)

test: build prefix
	sh tests/support/run-tests.sh $(BUILD) $(if $(TESTS),-R '$(TESTS)')

# FRAMES frames of the real renderer; prints frame rate, CPU and memory.
bench: build prefix
	sh tools/bench.sh $(BUILD) $(or $(FRAMES),10000)

clean:
	rm -rf $(BUILD)
