# The two set-up commands: `make run` and `make test`. Both install what is missing first.
BUILD_DIR ?= build
TEST_DIR ?= build-asan
# CI only: the tree of `make run`, compiled file by file.
RELEASE_CHECK_DIR ?= build-release-check
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS = webfile mimetable commandline discoveryreply nethelpers
CMAKE_FLAGS ?=

.PHONY: deps test-deps fuzz-deps build run package test test-build release-check format-check \
    fuzz devsim clean format lab lab-down

# Running needs only the three programs and their files; tests and their packages come with
# `make test`.
deps:
	@tools/install-deps run

test-deps:
	@tools/install-deps test

fuzz-deps:
	@tools/install-deps fuzz

# Optimised as Debian optimises its packages, without debug information: the compiler's debug
# output would cost a first start about a third more time, and a technician has no use for it.
RELEASE_FLAGS = -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DQUILLET_TESTS=OFF -DQUILLET_BENCHMARKS=OFF

$(BUILD_DIR)/build.ninja: | deps
	cmake -S . -B $(BUILD_DIR) -G Ninja $(RELEASE_FLAGS) $(CMAKE_FLAGS)

build: deps $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR)

run: build
	$(BUILD_DIR)/bin/quillet

# The Debian package quillet_<version>_amd64.deb, in the build folder.
package: build
	@tools/install-deps package
	cd $(BUILD_DIR) && cpack -G DEB

$(TEST_DIR)/build.ninja: | test-deps
	cmake -S . -B $(TEST_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLET_SANITIZE=ON \
	    -DQUILLET_BENCHMARKS=OFF $(CMAKE_FLAGS)

test-build: test-deps $(TEST_DIR)/build.ninja
	cmake --build $(TEST_DIR)

# Every test once, in the sanitizer build (the fuzz corpora among them); any failure makes the
# target fail, and so does a run that created or changed anything in the home folder,
# /usr/local/share or /etc. Then the format check, and in CI (CI=true) also the release check.
test: test-build
	cd $(TEST_DIR) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	    LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan.supp \
	    $(CURDIR)/tools/untouched -- ctest --output-on-failure --no-tests=error -j2
	$(MAKE) --no-print-directory format-check
	@if [ "$${CI:-}" = true ]; then $(MAKE) --no-print-directory release-check; fi

# Every source as clang-format would write it.
format-check:
	clang-format --dry-run --Werror $$(git ls-files '*.cpp' '*.h')

# The build of `make run` with each source compiled on its own, so that a missing include or
# two files' clashing helpers hidden by the combined units show; a warning fails it. Takes the
# time of a second build, so it runs in CI, not in every developer's `make test`.
release-check: deps
	cmake -S . -B $(RELEASE_CHECK_DIR) -G Ninja $(RELEASE_FLAGS) -DQUILLET_UNITY_BUILD=OFF \
	    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON $(CMAKE_FLAGS)
	cmake --build $(RELEASE_CHECK_DIR)

# The fuzz targets with libFuzzer, each run for FUZZ_SECONDS from its seeds in fuzz/corpus/.
# Optimised a little for speed, with the assertions of a debug build kept.
$(FUZZ_DIR)/build.ninja: | fuzz-deps
	cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
	    -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DQUILLET_SANITIZE=ON -DQUILLET_FUZZ=ON \
	    -DQUILLET_TESTS=OFF -DQUILLET_BENCHMARKS=OFF $(CMAKE_FLAGS)

fuzz: fuzz-deps $(FUZZ_DIR)/build.ninja
	cmake --build $(FUZZ_DIR) --target $(FUZZ_TARGETS:%=fuzz_%)
	fuzz/run $(FUZZ_DIR) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# The device simulator, which is built with the tests: where tools/netlab looks for it.
devsim: $(TEST_DIR)/build.ninja
	cmake --build $(TEST_DIR) --target devsim

# A test LAN with three simulated devices, and Quillet started inside it (needs root).
lab: build devsim
	tools/netlab up --devices 3 --devsim $(TEST_DIR)/tools/devsim
	tools/netlab exec pc -- $(BUILD_DIR)/bin/quillet

lab-down:
	tools/netlab down

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD_DIR) $(TEST_DIR) $(RELEASE_CHECK_DIR) $(FUZZ_DIR)
