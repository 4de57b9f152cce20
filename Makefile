# The project's commands. Each installs what is missing, configures, builds
# and runs; see README.md.
JOBS ?= $(shell nproc)

.PHONY: all deps deps-win32 build-release test test-asan test-tsan test-win32 bench demo format format-check clean

all: test

deps:
	@scripts/deps.sh linux

deps-win32:
	@scripts/deps.sh win32

test: build-release
	ctest --preset release -j $(JOBS)

test-asan: deps
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

test-tsan: deps
	cmake --preset tsan
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan -j $(JOBS)

# The Windows deliverable, its tests under Wine, and the check that both
# builds write the same bytes and read each other's caches.
test-win32: deps-win32 build-release
	cmake --preset win32
	cmake --build --preset win32 -j $(JOBS)
	ctest --preset win32 -j $(JOBS)
	scripts/exchange-check.sh build/release/bin build/win32/bin

build-release: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS)

demo: build-release
	build/release/bin/velpo demo

bench: build-release
	@for b in build/release/bin/bench_*; do echo "== $$b"; $$b || exit 1; done

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check: deps
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

clean:
	rm -rf build
