#!/usr/bin/env bash
# Runs the decoder's concurrency test under ThreadSanitizer (build-tsan/), then builds the
# library and every unit test with AddressSanitizer and UndefinedBehaviorSanitizer
# (build-asan/) and runs them all under CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="$(nproc)"

# ThreadSanitizer needs a build of its own: only the decoder's concurrency test runs there
# (parameter updates, beam queries and the channel test from a second thread while processing).
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOX_TSAN=ON -DOX_BUILD_BENCH=OFF >/dev/null
cmake --build build-tsan -j"$jobs" --target test_decoder_abdec_levels_test
TSAN_OPTIONS=halt_on_error=1 ./build-tsan/tests/test_decoder_abdec_levels_test \
    --gtest_filter='AbdecRobustness.UpdatesFromAnotherThreadWhileProcessing'

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOX_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build-asan --output-on-failure -j"$jobs"
