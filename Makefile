# lumenfrost: `make render` writes the track, `make test` runs the test suite.
BUILD ?= build
JOBS  ?= $(shell nproc)
WAV   := [lumenfrost_32k].exe.wav

# In CI a warning is an error.
ifneq ($(CI),)
CMAKE_ARGS += -DLUMENFROST_WERROR=ON
endif

.PHONY: all deps configure build render test bench clean

all: build

deps:
	@./scripts/deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release $(CMAKE_ARGS)

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The renderer writes its file into the current directory: run it from the root.
render: build
	@$(BUILD)/renderer/wavrender
	@ls -l "$(WAV)"

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: build
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

clean:
	@rm -rf $(BUILD)
