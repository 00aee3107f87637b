# Kelvra's two entry points for a fresh Debian machine are `make run` and `make test`;
# everything else here is for developers.
PRESET ?= release
BUILD := build/$(PRESET)
JOBS ?= $(shell nproc)

.PHONY: all deps configure build run test test-asan bench fuzz format clean package

all: build

deps:
	@bash tools/install-deps.sh

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@bash tools/run-kelvra.sh $(BUILD) "$(ARGS)"

test: build
	@bash tools/run-tests.sh $(BUILD)

test-asan:
	@$(MAKE) --no-print-directory test PRESET=asan

bench: build
	@bash tools/run-bench.sh $(BUILD)

fuzz: deps
	@cmake --preset fuzz >/dev/null && cmake --build build/fuzz --target kelvra_fuzzers -j $(JOBS)
	@bash tools/run-fuzz.sh build/fuzz $${FUZZ_SECONDS:-300}

# A Debian package of the installation (cmake --install installs the same files).
package: build
	@cd $(BUILD) && cpack -G DEB

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf build
