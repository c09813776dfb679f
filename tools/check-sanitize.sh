#!/bin/sh
# Builds the game and every test with AddressSanitizer, LeakSanitizer and
# UndefinedBehaviorSanitizer, runs the whole test suite so built, and fails if
# a test fails or a sanitizer reports anything, in a test or in a program that
# a test starts.
#   tools/check-sanitize.sh [build-dir]        (default: build-sanitize)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-sanitize}
jobs=$(nproc 2>/dev/null || echo 2)
started=$(date +%s)

cmake -S "$root" -B "$build" -DCARROWMERE_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --parallel "$jobs"

# AddressSanitizer's and LeakSanitizer's reports go to files, one per process:
# a program that a test starts (the game in tst_session) has its stderr
# swallowed, and its report must count too. UndefinedBehaviorSanitizer,
# running inside AddressSanitizer's runtime, writes to stderr whatever its
# log_path; it ends the program, so the test fails and ctest shows the report.
reports="$build/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"

# halt_on_error: the first error ends the program, so it cannot go unnoticed.
# allow_user_segv_handler=0: Qt Test installs a crash handler of its own; this
# keeps AddressSanitizer's, which says what the bad address was.
# detect_stack_use_after_return: also catches pointers to locals that outlive
# them (a QPainter or an event kept past its call).
# check_initialization_order, strict_init_order: a global whose initialiser
# reads another file's global (the tuning values, the grid sizes) before that
# one is initialised.
export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:allow_user_segv_handler=0:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:log_path=$reports/asan:log_exe_name=1"
export LSAN_OPTIONS="suppressions=$root/tools/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# Instrumented code runs four times slower: the soak test's half hour would
# take 2.5 minutes instead of 35 s. A quarter of it (15000 physics steps,
# about 17 s) still takes the world to the agent cap (reached at step 12833)
# and through every kind of input.
export CARROWMERE_SOAK_STEPS="${CARROWMERE_SOAK_STEPS:-15000}"

status=0
sh "$root/tools/with-display.sh" sh "$root/tools/with-sound.sh" ctest --test-dir "$build" --output-on-failure --timeout 900 --parallel "$jobs" || status=$?

for report in "$reports"/*; do
    [ -e "$report" ] || continue
    echo "==== sanitizer report: ${report##*/}"
    cat "$report"
    status=1
done

echo "check-sanitize: $(( $(date +%s) - started )) s in all (build and tests)"
exit $status
