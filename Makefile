# The two commands a new player or developer needs: `make run` and `make test`.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps configure build run test bench package check-sanitize check-debug check-native clean

all: build

deps:
	@sh tools/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) > /dev/null

build: configure
	@cmake --build $(BUILD_DIR) --parallel $(JOBS)

# Only the game: a first start need not wait for the tests and the benchmark.
run: configure
	@cmake --build $(BUILD_DIR) --parallel $(JOBS) --target carrowmere
	@sh tools/with-display.sh $(BUILD_DIR)/carrowmere

# On every core, with a display and a sound server of their own when there
# are none; the tests that drive the one X server run alone.
test: build
	@sh tools/with-display.sh sh tools/with-sound.sh ctest --test-dir $(BUILD_DIR) --output-on-failure --timeout 300 --parallel $(JOBS)

bench: build
	@sh tools/with-display.sh $(BUILD_DIR)/carrowmere-bench

# The Debian package, carrowmere_<version>_<arch>.deb in the build folder.
package: build
	@cd $(BUILD_DIR) && cpack -G DEB

# The whole test suite built with AddressSanitizer and UndefinedBehaviorSanitizer.
check-sanitize: deps
	@sh tools/check-sanitize.sh

# The recorded trace of a seeded game, and a kept replay, in a Debug build:
# what the optimiser inlines or keeps in registers must not change how a
# seeded game plays.
# (The other builds replay it in `make test` and `make check-sanitize`.)
check-debug: deps
	@cmake -S . -B build-debug -DCMAKE_BUILD_TYPE=Debug > /dev/null
	@cmake --build build-debug --parallel $(JOBS) --target tst_game
	@sh tools/with-display.sh build-debug/tests/tst_game seededGamesReplayTheirRecordedTrace replaysKeptPlayBackInEveryBuild

# The same in a build for this very processor (`build-native/`): the
# instructions it offers beyond the baseline, fused multiply-add among them,
# must not change how a seeded game plays either.
check-native: deps
	@cmake -S . -B build-native -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS=-march=native > /dev/null
	@cmake --build build-native --parallel $(JOBS) --target tst_game
	@sh tools/with-display.sh build-native/tests/tst_game seededGamesReplayTheirRecordedTrace replaysKeptPlayBackInEveryBuild

clean:
	@rm -rf $(BUILD_DIR) build-sanitize build-debug build-native
