#!/usr/bin/env bash
# Unit tests under ASan + UBSan, worker tests under TSan, then the fuzzers
# (scripts/fuzz.sh). Any report fails.
set -euo pipefail
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=offscreen

VEXA_BUILD_DIR=build-asan VEXA_BUILD_TYPE=Debug VEXA_TEST_LABEL=unit bash scripts/build.sh -DVEXA_SANITIZE=address
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1 \
LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -L unit -j2

VEXA_BUILD_DIR=build-tsan VEXA_BUILD_TYPE=Debug VEXA_TEST_LABEL=worker bash scripts/build.sh -DVEXA_SANITIZE=thread
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp \
  ctest --test-dir build-tsan --output-on-failure -L worker -j1

bash scripts/fuzz.sh
