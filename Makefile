# The project's commands. Each installs what is missing, configures, builds
# and runs; see README.md.
JOBS ?= $(shell nproc)
# Seconds each libFuzzer program runs in `make fuzz`.
FUZZ_SECONDS ?= 60

.PHONY: all deps deps-clang deps-format deps-win32 build-release test test-asan test-tsan \
	fuzz test-win32 bench demo mutation-probe format format-check clean

all: test

deps:
	@scripts/deps.sh linux

deps-clang:
	@scripts/deps.sh linux clang

deps-format:
	@scripts/deps.sh format

deps-win32:
	@scripts/deps.sh linux win32

test: build-release
	ctest --preset release -j $(JOBS)

test-asan: deps
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

test-tsan: deps-clang
	cmake --preset tsan
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan -j $(JOBS)

# Every fuzz target: its seeds and fixtures replayed under ASan+UBSan, then
# its libFuzzer program for FUZZ_SECONDS from that corpus.
fuzz: deps-clang
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)
	ctest --preset fuzz -j $(JOBS)
	scripts/fuzz.sh build/fuzz $(FUZZ_SECONDS)

# The Windows deliverable, its tests under Wine, and the check that both
# builds write the same bytes and read each other's caches (skipped, loudly,
# on a kernel that cannot run 32-bit programs: see scripts/win32-tests.sh).
test-win32: deps-win32 build-release
	cmake --preset win32
	cmake --build --preset win32 -j $(JOBS)
	scripts/win32-tests.sh $(JOBS)

build-release: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS)

demo: build-release
	build/release/bin/velpo demo

bench: build-release
	@for b in build/release/bin/bench_*; do echo "== $$b"; $$b || exit 1; done

mutation-probe: deps
	scripts/mutation-probe.sh

format: deps-format
	scripts/format.sh fix

format-check: deps-format
	scripts/format.sh check

clean:
	rm -rf build
