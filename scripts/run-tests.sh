#!/usr/bin/env bash
# Builds the library and its unit tests with AddressSanitizer and
# UndefinedBehaviorSanitizer into build-asan/ and runs every test under CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="$(nproc)"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOX_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build-asan --output-on-failure -j"$jobs"
