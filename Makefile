# The two commands a new player or developer needs: `make run` and `make test`.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps configure build run test bench package check-sanitize clean

all: build

deps:
	@sh tools/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) > /dev/null

build: configure
	@cmake --build $(BUILD_DIR) --parallel $(JOBS)

run: build
	@sh tools/with-display.sh $(BUILD_DIR)/carrowmere

test: build
	@sh tools/with-display.sh ctest --test-dir $(BUILD_DIR) --output-on-failure --timeout 300

bench: build
	@sh tools/with-display.sh $(BUILD_DIR)/carrowmere-bench

# The Debian package, carrowmere_<version>_<arch>.deb in the build folder.
package: build
	@cd $(BUILD_DIR) && cpack -G DEB

# The whole test suite built with AddressSanitizer and UndefinedBehaviorSanitizer.
check-sanitize: deps
	@sh tools/check-sanitize.sh

clean:
	@rm -rf $(BUILD_DIR) build-sanitize
