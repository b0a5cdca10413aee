# Drives CMake. `make test` and `make demo` do all the set-up on a fresh Debian machine.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
DEB_BUILD  ?= build-deb
PREFIX     ?= /usr/local
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
FUZZ_SECONDS ?= 30

.PHONY: all deps release test test-duplicates test-loss bench demo pictures install deb test-packages fuzz clean

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

# 50 runs of `zone_apply -s` against a fabric that loses 30 % of its answers, each run's report
# held against what the switch holds, and every failed run run again until it converges (the
# test suite makes 4).
test-loss:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTELVAR_SANITIZE=ON >/dev/null
	cmake --build $(ASAN_BUILD) -j $(JOBS) --target changes_under_loss_test
	TELVAR_LOSS_RUNS=50 scripts/in-netns.sh $(CURDIR)/$(ASAN_BUILD)/bin/changes_under_loss_test --gtest_filter='zone_apply_under_loss.*'

bench: release
	$(BUILD)/bin/telvar_bench

# The release build, and tshark to decode the demo's capture.
demo:
	@scripts/deps.sh demo
	$(build_release)
	scripts/demo.sh $(BUILD)/bin

# The README's pictures (docs/pictures), drawn from the default simulated fabric, whose three
# switches take PICTURES_BASE and the two addresses after it, and from a generated ring whose
# first switch takes PICTURES_RING. A test checks that they are current.
PICTURES_BASE ?= 127.0.0.2
PICTURES_RING ?= 127.0.0.5
pictures: release
	scripts/pictures.sh $(BUILD)/bin docs/pictures $(PICTURES_BASE) $(PICTURES_RING)

install: release
	cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian packages (CPack, docs/packaging.md), from a release build for /usr, in $(DEB_BUILD)/debs.
deb:
	@scripts/deps.sh packages
	cmake -S . -B $(DEB_BUILD) -DCMAKE_BUILD_TYPE=Release -DTELVAR_TESTS=OFF -DTELVAR_BENCH=OFF -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
	cmake --build $(DEB_BUILD) -j $(JOBS)
	rm -rf $(DEB_BUILD)/debs
	cd $(DEB_BUILD) && cpack -G DEB -B $(CURDIR)/$(DEB_BUILD)/debs >/dev/null
	rm -rf $(DEB_BUILD)/debs/_CPack_Packages
	ls $(DEB_BUILD)/debs/*.deb

# The packages on a bare Debian (as root): lintian, then install, use and purge them in a
# debootstrap chroot, cached under /var/cache/telvar-ci.
test-packages: deb
	scripts/package_check.sh $(DEB_BUILD)/debs

# Coverage-guided fuzzing with libFuzzer (clang): each harness for FUZZ_SECONDS seconds or 10
# million executions, with executions and coverage over time per harness (scripts/fuzz.sh);
# `make test` replays the corpora without it.
fuzz:
	@scripts/deps.sh fuzz
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTELVAR_LIBFUZZER=ON -DTELVAR_TESTS=OFF -DTELVAR_BENCH=OFF >/dev/null
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers
	FUZZ_SECONDS=$(FUZZ_SECONDS) scripts/fuzz.sh $(FUZZ_BUILD)/bin

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(DEB_BUILD)
