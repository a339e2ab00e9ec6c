#!/usr/bin/env bash
# Unit tests under ASan + UBSan, worker tests under TSan, then the fuzzers
# (scripts/fuzz.sh, 15 s a target unless FUZZ_SECONDS says otherwise). Each
# sanitizer build compiles only the test programs of its label and what they
# link. Any report fails.
set -euo pipefail
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=offscreen
source scripts/steps.sh

step asan-build env VEXA_BUILD_DIR=build-asan VEXA_BUILD_TYPE=Debug VEXA_TEST_LABEL=unit \
  bash scripts/build.sh -DVEXA_SANITIZE=address
step asan-tests env ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1 \
  LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -L unit -j2

step tsan-build env VEXA_BUILD_DIR=build-tsan VEXA_BUILD_TYPE=Debug VEXA_TEST_LABEL=worker \
  bash scripts/build.sh -DVEXA_SANITIZE=thread
step tsan-tests env TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp \
  ctest --test-dir build-tsan --output-on-failure -L worker -j1

step fuzz env FUZZ_SECONDS="${FUZZ_SECONDS:-15}" bash scripts/fuzz.sh
