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
# are none; the test that types into whole programs has an X server and a
# sound server of its own, and the one that records the sound server runs
# alone.
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

# Builds tst_game in the folder $(1) with CMake options $(2), and replays
# the recorded trace of a seeded game and a kept replay there.
replay-trace = cmake -S . -B $(1) $(2) > /dev/null \
	&& cmake --build $(1) --parallel $(JOBS) --target tst_game \
	&& sh tools/with-display.sh $(1)/tests/tst_game seededGamesReplayTheirRecordedTrace replaysKeptPlayBackInEveryBuild

# The trace in a Debug build: what the optimiser inlines or keeps in
# registers must not change how a seeded game plays.
# (The other builds replay it in `make test` and `make check-sanitize`.)
check-debug: deps
	@$(call replay-trace,build-debug,-DCMAKE_BUILD_TYPE=Debug)

# The trace in a build for this very processor: the instructions it offers
# beyond the baseline, fused multiply-add among them, must not change how a
# seeded game plays either.
check-native: deps
	@$(call replay-trace,build-native,-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS=-march=native)

clean:
	@rm -rf $(BUILD_DIR) build-sanitize build-debug build-native
