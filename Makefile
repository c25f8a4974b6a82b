# lumenfrost: `make render` writes the track, `make test` runs the test suite.
BUILD ?= build
JOBS  ?= $(shell nproc)
WAV   := [lumenfrost_32k].exe.wav

# In CI a warning is an error.
ifneq ($(CI),)
CMAKE_ARGS += -DLUMENFROST_WERROR=ON
endif

# The sanitizer and fuzzing builds live in folders of their own.
SANITIZE_BUILD ?= build-sanitize
FUZZ_BUILD     ?= build-fuzz
FUZZ_SECONDS   ?= 60

.PHONY: all deps configure build render test test-portable test-aarch64 test-sanitize test-tsan fuzz bench clean

all: build

deps:
	@./scripts/deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release $(CMAKE_ARGS)

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Only what the WAV needs: the renderer (with the content, re-packed when a
# .score file changed), not the tests or the benchmarks. A configured build
# folder is reused as it is (its build re-runs CMake itself when a CMake file
# changed). The renderer writes its file into the current directory: run it
# from the root.
$(BUILD)/build.ninja:
	@$(MAKE) --no-print-directory configure

render: $(BUILD)/build.ninja
	@cmake --build $(BUILD) -j $(JOBS) --target wavrender
	@$(BUILD)/renderer/wavrender
	@ls -l "$(WAV)"

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The portable code (plain floats) against the SIMD build, both with the intel
# model of the reciprocal estimate, over the whole track (`make test` compares
# the first 20 s). A few minutes: the portable code is slow.
test-portable: configure
	@cmake --build $(BUILD) -j $(JOBS) --target trackhash_portable trackhash_intel
	@cmake -DFIRST=$(BUILD)/tools/trackhash/trackhash_portable \
	       -DSECOND=$(BUILD)/tools/trackhash/trackhash_intel -P tests/track/same_hash.cmake

# The portable build cross-compiled for 64-bit ARM and run under qemu: its first
# 10 s against the first 10 s of the x86 build with the intel model.
AARCH64_BUILD ?= build-aarch64
test-aarch64: configure
	@./scripts/deps.sh aarch64
	@cmake -S . -B $(AARCH64_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	       -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
	       -DLUMENFROST_PORTABLE=ON -DLUMENFROST_ENGINE_ONLY=ON >/dev/null
	@cmake --build $(AARCH64_BUILD) -j $(JOBS) --target trackhash
	@cmake --build $(BUILD) -j $(JOBS) --target trackhash_intel
	@cmake -DEMULATOR=qemu-aarch64 -DFIRST=$(AARCH64_BUILD)/tools/trackhash/trackhash \
	       -DSECOND=$(BUILD)/tools/trackhash/trackhash_intel -DSECONDS=10 \
	       -P tests/track/same_hash.cmake
	@echo "aarch64: the first 10 s are the intel build's bits"

# The suite with AddressSanitizer and UBSan, every report fatal. The tests that
# render the whole track are left to `make test`: instrumented they would take
# most of an hour. Warnings are the Release build's business (there they are
# errors in CI): GCC's object-size warnings misfire on the instrumented code.
test-sanitize: deps
	@cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DLUMENFROST_SANITIZE=ON -DCMAKE_CXX_FLAGS=-fno-sanitize-recover=all >/dev/null
	@cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	@cd $(SANITIZE_BUILD) && ctest --output-on-failure -j $(JOBS) -LE 'whole-track|long'

# The two-thread render under ThreadSanitizer: the render test's two-thread
# cases over the first second and a half (the pluck's gate opening included),
# every report fatal. A few minutes with the build, so `make test` leaves it out.
TSAN_BUILD ?= build-tsan
test-tsan: deps
	@cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMENFROST_TSAN=ON >/dev/null
	@cmake --build $(TSAN_BUILD) -j $(JOBS) --target test_render
	@TSAN_OPTIONS=halt_on_error=1 LUMENFROST_SHORT_RENDER=66150 \
	  $(TSAN_BUILD)/tests/test_render --gtest_filter='Sizes/TwoThreads.*'

# Each reader's fuzzer for FUZZ_SECONDS with a fixed seed, starting from a
# corpus made of content/ and the regression cases of tests/fuzz/regressions.
fuzz: deps
	@cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_CXX_COMPILER=clang++ -DLUMENFROST_FUZZ=ON >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_score fuzz_bundle fuzz_recipe
	@./scripts/fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

bench: build
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

clean:
	@rm -rf $(BUILD) $(AARCH64_BUILD) $(SANITIZE_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD)
