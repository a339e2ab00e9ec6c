#!/usr/bin/env bash
# Builds and runs every test. Under CI (CI=true) it also runs a short soak of
# polling under injected faults, the unit tests once with AddressSanitizer +
# UndefinedBehaviorSanitizer, the worker tests once with ThreadSanitizer and
# the fuzzers (scripts/sanitizers.sh); any report fails the run. Each step
# prints how long it took.
set -euo pipefail
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=offscreen
source scripts/steps.sh
step build bash scripts/build.sh
step tests ctest --test-dir build --output-on-failure -j2
if [ "${CI:-}" = "true" ]; then step soak build/bench/bench_soak "${VEXA_SOAK_SECONDS:-20}"; fi

if [ "${CI:-}" = "true" ] || [ "${VEXA_SANITIZERS:-}" = "1" ]; then
  step sanitizers bash scripts/sanitizers.sh
fi
