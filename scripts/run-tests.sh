#!/usr/bin/env bash
# Runs the concurrency tests under ThreadSanitizer (build-tsan/), then builds the library, the
# plug-in, its console test host and every test with AddressSanitizer and
# UndefinedBehaviorSanitizer (build-asan/) and runs them all under CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="$(nproc)"
started=$SECONDS

# Tests that open the plug-in's editor in a real window need a display: a private Xvfb unless
# one is given.
if [ -z "${DISPLAY:-}" ] && command -v Xvfb >/dev/null; then
    Xvfb :99 -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    trap 'kill "$xvfb_pid" 2>/dev/null || true' EXIT
    export DISPLAY=:99
    for _ in $(seq 50); do [ -e /tmp/.X11-unix/X99 ] && break; sleep 0.1; done
fi

# ThreadSanitizer needs a build of its own: the decoder's concurrency test (parameter updates,
# beam queries and the channel test from a second thread while processing) and the bundle's
# stress test (audio, host automation, state and editor on four threads).
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOX_TSAN=ON -DOX_BUILD_BENCH=OFF >/dev/null
cmake --build build-tsan -j"$jobs" --target test_decoder_abdec_levels_test test_tools
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
./build-tsan/tests/test_decoder_abdec_levels_test \
    --gtest_filter='AbdecRobustness.UpdatesFromAnotherThreadWhileProcessing'
QF_STRESS_SECONDS=10 ./build-tsan/tests/tools/test_tools --gtest_filter='BundleStress.*'
unset TSAN_OPTIONS

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOX_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build-asan --output-on-failure -j"$jobs"
echo "run-tests: $((SECONDS - started)) s"
