# Drives CMake. `make test` and `make demo` do all the set-up on a fresh Debian machine.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
PREFIX     ?= /usr/local
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
FUZZ_SECONDS ?= 30

.PHONY: all deps release test test-duplicates bench demo pictures install fuzz clean

all: release

# Building and running need fewer packages than testing: each target installs what it needs.
deps:
	@scripts/deps.sh build

define build_release
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DTELVAR_TESTS=OFF -DCMAKE_INSTALL_PREFIX=$(PREFIX) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)
endef

release: deps
	$(build_release)

# Sanitizer build (AddressSanitizer + UndefinedBehaviorSanitizer) in its own folder, then every test.
test:
	@scripts/deps.sh test
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTELVAR_SANITIZE=ON >/dev/null
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

# Every read command of the tool 20 times against a fabric that sends every answer twice (the
# test suite runs each 3 times).
test-duplicates:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTELVAR_SANITIZE=ON >/dev/null
	cmake --build $(ASAN_BUILD) -j $(JOBS) --target fault_schedule_test
	TELVAR_DUPLICATE_RUNS=20 $(ASAN_BUILD)/bin/fault_schedule_test --gtest_filter='duplicated_answers.*'

bench: release
	$(BUILD)/bin/telvar_bench

# The release build, and tshark to decode the demo's capture.
demo:
	@scripts/deps.sh demo
	$(build_release)
	scripts/demo.sh $(BUILD)/bin

# The README's pictures (docs/pictures), drawn from the default simulated fabric, whose three
# switches take PICTURES_BASE and the two addresses after it. A test checks that they are current.
PICTURES_BASE ?= 127.0.0.2
pictures: release
	scripts/pictures.sh $(BUILD)/bin docs/pictures $(PICTURES_BASE)

install: release
	cmake --install $(BUILD) --prefix $(PREFIX)

# Coverage-guided fuzzing with libFuzzer (clang): each harness for FUZZ_SECONDS seconds or 10
# million executions, with executions and coverage over time per harness (scripts/fuzz.sh);
# `make test` replays the corpora without it.
fuzz:
	@scripts/deps.sh fuzz
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTELVAR_LIBFUZZER=ON -DTELVAR_TESTS=OFF -DTELVAR_BENCH=OFF >/dev/null
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers
	FUZZ_SECONDS=$(FUZZ_SECONDS) scripts/fuzz.sh $(FUZZ_BUILD)/bin

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
