# The two set-up commands: `make run` and `make test`. Both install what is missing first.
BUILD_DIR ?= build
TEST_DIR ?= build-asan
CMAKE_FLAGS ?=

.PHONY: deps build run test test-build clean format lab lab-down

deps:
	@tools/install-deps

$(BUILD_DIR)/build.ninja: | deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: deps $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR)

run: build
	$(BUILD_DIR)/bin/quillet

$(TEST_DIR)/build.ninja: | deps
	cmake -S . -B $(TEST_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLET_SANITIZE=ON \
	    -DQUILLET_BENCHMARKS=OFF $(CMAKE_FLAGS)

test-build: deps $(TEST_DIR)/build.ninja
	cmake --build $(TEST_DIR)

# Every test once, in the sanitizer build; any failure makes the target fail, and so does a
# run that created or changed anything in the home folder, /usr/local/share or /etc.
test: test-build
	cd $(TEST_DIR) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	    LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan.supp \
	    $(CURDIR)/tools/untouched -- ctest --output-on-failure --no-tests=error -j2

# A test LAN with three simulated devices, and Quillet started inside it (needs root).
lab: build
	tools/netlab up --devices 3 --devsim $(BUILD_DIR)/tools/devsim
	tools/netlab exec pc -- $(BUILD_DIR)/bin/quillet

lab-down:
	tools/netlab down

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD_DIR) $(TEST_DIR)
