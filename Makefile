# The two set-up commands: `make run` and `make test`. Both install what is missing first.
BUILD_DIR ?= build
TEST_DIR ?= build-asan
CMAKE_FLAGS ?=

.PHONY: deps test-deps build run package test test-build clean format lab lab-down

# Running needs only the three programs and their files; tests and their packages come with
# `make test`.
deps:
	@tools/install-deps run

test-deps:
	@tools/install-deps test

# Optimised as Debian optimises its packages, without debug information: the compiler's debug
# output would cost a first start about a third more time, and a technician has no use for it.
$(BUILD_DIR)/build.ninja: | deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	    -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DQUILLET_TESTS=OFF -DQUILLET_BENCHMARKS=OFF \
	    $(CMAKE_FLAGS)

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

# Every test once, in the sanitizer build; any failure makes the target fail, and so does a
# run that created or changed anything in the home folder, /usr/local/share or /etc.
test: test-build
	cd $(TEST_DIR) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	    LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan.supp \
	    $(CURDIR)/tools/untouched -- ctest --output-on-failure --no-tests=error -j2

# A test LAN with three simulated devices, and Quillet started inside it (needs root).
# The simulator is built with the tests.
lab: build $(TEST_DIR)/build.ninja
	cmake --build $(TEST_DIR) --target devsim
	tools/netlab up --devices 3 --devsim $(TEST_DIR)/tools/devsim
	tools/netlab exec pc -- $(BUILD_DIR)/bin/quillet

lab-down:
	tools/netlab down

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD_DIR) $(TEST_DIR)
