#!/usr/bin/env bash
# Builds and runs every test. Under CI (CI=true) it also runs a short soak of
# polling under injected faults, the unit tests once with AddressSanitizer +
# UndefinedBehaviorSanitizer, the worker tests once with ThreadSanitizer and
# the fuzzers (scripts/sanitizers.sh); any report fails the run. It also
# packages the build it tested and checks the package, and builds and runs the
# unit tests with Qt 6. Each step prints how long it took.
set -euo pipefail
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=offscreen
source scripts/steps.sh
step build bash scripts/build.sh
step tests ctest --test-dir build --output-on-failure -j2
if [ "${CI:-}" = "true" ]; then
  step soak build/bench/bench_soak "${VEXA_SOAK_SECONDS:-20}"
  step package bash scripts/package.sh
  step package-check bash scripts/check-package.sh
  # Only what the unit tests link; Debug compiles fastest, and the window is left out.
  step qt6-build env VEXA_QT=6 VEXA_BUILD_DIR=build-qt6 VEXA_BUILD_TYPE=Debug VEXA_TEST_LABEL=unit \
    bash scripts/build.sh
  step qt6-tests ctest --test-dir build-qt6 --output-on-failure -L unit -j2
fi

if [ "${CI:-}" = "true" ] || [ "${VEXA_SANITIZERS:-}" = "1" ]; then
  step sanitizers bash scripts/sanitizers.sh
fi
