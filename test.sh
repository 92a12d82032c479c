#!/usr/bin/env bash
# Installs dependencies, builds the test suite with AddressSanitizer and
# UndefinedBehaviorSanitizer, the render-state, preview, rack-publishing and recording input
# tests with ThreadSanitizer, and the Release benchmark program (its commands are
# smoke-tested), and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUAR_SANITIZE=ON
cmake --build build/test
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUAR_TESTS=OFF
cmake --build build/release --target quar-bench
cmake -S tests/tsan -B build/tsan -G Ninja
cmake --build build/tsan
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd build/test
ctest --output-on-failure -j "$(nproc)" "$@"
ctest --test-dir ../tsan --output-on-failure -j "$(nproc)" "$@"
