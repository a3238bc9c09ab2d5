# Thin wrapper: set-up, build and test in one command each.
BUILD ?= build
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
JOBS ?= $(shell nproc)

.PHONY: run test build bootstrap configure bench clean

bootstrap:
	@if [ ! -f $(BUILD)/.bootstrapped ]; then $(SUDO) scripts/bootstrap && mkdir -p $(BUILD) && touch $(BUILD)/.bootstrapped; fi

configure: bootstrap
	@[ -f $(BUILD)/build.ninja ] || cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ -x $(BUILD)/src/ui/quorvel ]; then $(BUILD)/src/ui/quorvel $(ARGS); else $(BUILD)/quorvel-cli --help; fi

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: configure
	cmake --build $(BUILD) --target benchmarks -j $(JOBS)

clean:
	rm -rf $(BUILD)
