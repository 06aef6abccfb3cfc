#!/usr/bin/env bash
# The whole test run: missing packages, then every build and every test.
#   1. AddressSanitizer + UndefinedBehaviorSanitizer build, every test, and
#      the check that no folder includes a folder above it
#   2. ThreadSanitizer build, the tests of every area that starts threads
#      (link, media, session, gui, app, frontend, cli, e2e, tools, bridge;
#      not the browser's, label web, whose threads are Chromium's and
#      GStreamer's)
#   3. libFuzzer build of the fuzz targets with clang, each for a fixed
#      number of runs over its seed corpus
#   4. an optimised build without the GUI for the checks of memory use that
#      the sanitizers' allocators hide (labels soak and recording)
#   5. with ORVIX_BENCH=1, the benchmarks of bench/run.sh on a full optimised
#      build (printed only)
# A plain optimised build of everything is left out: every test runs in the
# sanitizer builds, and one more build of the whole tree would cost a
# quarter of the run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/install-deps.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export CTEST_OUTPUT_ON_FAILURE=1

build() {  # build <dir> <cmake args...>
  local dir=$1; shift
  cmake -S "$root" -B "$dir" -DORVIX_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

echo "== address and undefined-behaviour sanitizer build and every test"
build build/asan -DCMAKE_BUILD_TYPE=Debug -DORVIX_SANITIZE=address,undefined
# No folder includes a folder above it, and no product links a test tool.
cmake --graphviz=build/asan/graph/targets.dot build/asan >/dev/null
python3 scripts/check_layers.py --graph build/asan/graph/targets.dot
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
LSAN_OPTIONS=suppressions=$root/tests/sanitizer/lsan.supp:print_suppressions=0 \
  ctest --test-dir build/asan -j "$jobs" --timeout 900

echo "== thread sanitizer build and the tests that start threads"
build build/tsan -DCMAKE_BUILD_TYPE=Debug -DORVIX_SANITIZE=thread
# Qt, glib and the graphics libraries are not built with the sanitizer: what
# they do inside the calls it intercepts is not checked (their own threads
# hand work over through locks it cannot see); the project's code is. The
# window-titles check runs no thread of the project's; under xcb Qt starts
# its own D-Bus thread there, so it is left out. GLib's slice allocator
# hands memory from thread to thread unseen (a GstBuffer freed on one thread
# and made again on another looks like a race): with G_SLICE=always-malloc
# it uses malloc, which the sanitizer follows.
G_SLICE=always-malloc TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1:suppressions=$root/tests/sanitizer/tsan.supp \
  ctest --test-dir build/tsan -L 'link|media|session|gui|app|cli|e2e|tools|bridge|soak' -E 'main_dialog_titles_under_xvfb' \
    -j "$jobs" --timeout 900

echo "== fuzz targets"
# Only the fuzz targets and what they link: the rest was built and tested above.
CC=clang CXX=clang++ cmake -S "$root" -B build/fuzz -DORVIX_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORVIX_GUI=OFF -DORVIX_FUZZ=ON >/dev/null
cmake --build build/fuzz -j "$jobs" --target fuzz_recorder_stream fuzz_ddns_stream fuzz_command_decode
ctest --test-dir build/fuzz -L fuzz --timeout 600

echo "== optimised build: memory use of long runs"
cmake -S "$root" -B build/plain -DORVIX_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVIX_GUI=OFF >/dev/null
cmake --build build/plain -j "$jobs" --target soak_tests recording_tests
ctest --test-dir build/plain -L 'soak|recording' -j "$jobs" --timeout 600

echo "== all tests passed"

# The benchmarks take minutes and only print their ratios (they never fail
# the run): on request, ORVIX_BENCH=1.
if [ "${ORVIX_BENCH:-0}" = 1 ]; then
  build build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
  bash bench/run.sh build/release || true
fi
