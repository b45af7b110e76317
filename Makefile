# Halvex build entry points. Each target installs what it needs first.
#   make run        build, then serve the demonstration databases (in memory) on 127.0.0.1:7475
#   make test       build and run every test
#   make test-asan  the same under AddressSanitizer + UndefinedBehaviorSanitizer
#   make bench      the build benchmark (1,000,000 persons, 400,000 papers)
#   make fuzz       build the libFuzzer targets (clang), not part of make test
#   make tck        run the openCypher conformance scenarios and rewrite tests/tck/passing.txt
JOBS ?= $(shell nproc)
# Warnings are errors in the test builds only (make test, make test-asan, CI):
# a user's own build with another compiler must not fail on a new warning.
CMAKE_FLAGS ?=
BUILD ?= build
ASAN_BUILD ?= build-asan

.PHONY: deps build run test test-asan bench fuzz tck clean

deps:
	./scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

# The demonstration databases, in memory: nothing is saved, and the background
# service's graph is never opened. PORT=N and BOLT_PORT=N when the service
# holds 7475 and 7687.
PORT ?= 7475
BOLT_PORT ?= 7687
run: build
	./$(BUILD)/orvane serve --ephemeral --people 2000 --papers 800 --port $(PORT) --bolt-port $(BOLT_PORT)

test:
	$(MAKE) build CMAKE_FLAGS=-DORVANE_WERROR=ON
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVANE_SANITIZE=ON -DORVANE_WERROR=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

bench: build
	./scripts/bench-build.sh $(BUILD)

# The conformance measure: every scenario of ../shared/opencypher-tck, with
# the passing ones written to tests/tck/passing.txt (commit it with the
# change that made them pass; the `tck` test fails when a listed one stops
# passing). One scenario or folder, with the reason it fails:
#   ./build/tests/tck_runner --only clauses/match/Match1.feature
tck: build
	./$(BUILD)/tests/tck_runner --jobs $(JOBS) --update tests/tck/passing.txt

fuzz:
	EXTRA_PACKAGES="clang libclang-rt-14-dev" ./scripts/install-deps.sh
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DORVANE_FUZZ=ON -DORVANE_TESTS=OFF
	cmake --build build-fuzz -j $(JOBS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-fuzz
