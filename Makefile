# Thin wrapper around CMake.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps configure test demo check-sanitize fuzz bench format clean

all: configure
	cmake --build $(BUILD) -j $(JOBS)

# Installs missing Debian packages when run as root; otherwise prints the
# apt-get line (traq and pelmox still build without them).
deps:
	@./tools/install-deps || echo "make: some packages are missing; see above"

configure: deps
	@test -f $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

test: all
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

demo: all
	./examples/run-demo $(BUILD)

check-sanitize: deps
	@test -f build-sanitize/CMakeCache.txt || cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DFTS_SANITIZE=ON -DFTS_BUILD_BENCH=OFF
	cmake --build build-sanitize -j $(JOBS)
	cd build-sanitize && LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan-suppressions.txt \
		ctest --output-on-failure -j $(JOBS)

bench: all
	./$(BUILD)/bench/bench_lbl 1 2000 1

# Fuzzes every input reader for FUZZ_SECONDS seconds each (needs clang).
fuzz:
	./fuzz/run-fuzz

format:
	clang-format -i $$(git ls-files '*.cpp' '*.hpp')

clean:
	rm -rf $(BUILD) build-sanitize build-fuzz
