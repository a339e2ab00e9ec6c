#!/usr/bin/env bash
# Builds and runs every test. Under CI (CI=true) it also runs the unit tests
# once with AddressSanitizer + UndefinedBehaviorSanitizer and the worker
# tests once with ThreadSanitizer; any sanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=offscreen
bash scripts/build.sh
ctest --test-dir build --output-on-failure -j2
if [ "${CI:-}" = "true" ]; then build/bench/bench_soak 60; fi  # polling under injected faults

if [ "${CI:-}" = "true" ] || [ "${VEXA_SANITIZERS:-}" = "1" ]; then
  bash scripts/sanitizers.sh
fi
