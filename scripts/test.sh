#!/usr/bin/env bash
# Sets up the machine, checks the style gates, builds the station with
# AddressSanitizer and UndefinedBehaviorSanitizer (leak checking on, the
# stricter warnings as errors), runs the Qt-free engine tests again under
# ThreadSanitizer and runs every test with ctest.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

failed=()

# Formatting: a few seconds.
bash scripts/check-format.sh || failed+=("format")

build=build-test
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVA_SANITIZE=ON -DORVA_STRICT=ON \
      -DORVA_BUILD_TESTS=ON -DORVA_BUILD_BENCH=ON
cmake --build "$build" --parallel "$(nproc)"

# clang-tidy over the engine folders, with the test build's compile database.
bash scripts/check-tidy.sh "$build" || failed+=("clang-tidy")

# The test programs of the Qt-free engine (worker threads, queues, handlers)
# under ThreadSanitizer. The real-time integration tests against the
# simulators are left to the main run.
# About two minutes of build and one of running on two cores.
if [ "${ORVA_SKIP_TSAN:-0}" != "1" ]; then
  tsan=build-tsan
  tsan_tests=(test_core_messages test_core_handler test_core_logfile test_core_utf8 test_messages
              test_tel_serialport test_tel_modemlink test_tel_handler
              test_protocols test_gsm_at test_gsm_handler test_gsm_mgr
              test_mail_smtp test_mail_handler test_mail_delivery test_mail_mgr test_mail_retry
              test_texts)
  cmake -S . -B "$tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVA_TSAN=ON -DORVA_BUILD_TESTS=ON -DORVA_BUILD_BENCH=OFF
  cmake --build "$tsan" --parallel "$(nproc)" --target "${tsan_tests[@]}"
  (
    export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
    # Each program runs from its own build folder, as ctest runs it.
    for t in "${tsan_tests[@]}"; do
      program=$(find "$tsan/tests" -type f -name "$t" -perm -u+x | head -n 1)
      (cd "$(dirname "$program")" && "./$t" --gtest_brief=1 > "$t.tsan.log" 2>&1) \
        || { cat "$(dirname "$program")/$t.tsan.log"; echo "thread-sanitizer: $t failed"; exit 1; }
    done
    echo "thread-sanitizer: ${#tsan_tests[@]} test programs passed"
  ) || failed+=("thread-sanitizer")
fi

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
# No display is needed by any test; keep Qt from looking for one.
export QT_QPA_PLATFORM=offscreen

if [ ${#failed[@]} -gt 0 ]; then
  echo "test.sh: style or thread gates failed: ${failed[*]}" >&2
  ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)" --timeout 300 || true
  exit 1
fi
ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)" --timeout 300
