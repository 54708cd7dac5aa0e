#!/usr/bin/env bash
# Sets up the machine, builds the station with AddressSanitizer and
# UndefinedBehaviorSanitizer (leak checking on) and runs every test with ctest.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

build=build-test
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVA_SANITIZE=ON -DORVA_BUILD_TESTS=ON -DORVA_BUILD_BENCH=ON
cmake --build "$build" --parallel "$(nproc)"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
# No display is needed by any test; keep Qt from looking for one.
export QT_QPA_PLATFORM=offscreen

ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)" --timeout 300
