#!/usr/bin/env bash
# Installs what is missing, then configures and builds into build/ (or $VEXA_BUILD_DIR).
# With VEXA_TEST_LABEL set, builds only the test programs of that CTest label;
# with VEXA_BUILD_TARGETS set (names separated by blanks), only those targets.
# Compiles through ccache when it is installed; a machine without it (or with
# a cold cache) builds the same, only slower. Under CI (CI=true) the libraries
# build as unity builds, more than twice as fast from a cold start; a name
# clash between two files of one library then shows there first.
# VEXA_QT=6 builds with Qt 6 (installed on demand) instead of Qt 5; give such
# a build its own VEXA_BUILD_DIR.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build_dir="${VEXA_BUILD_DIR:-build}"
launcher=()
if command -v ccache >/dev/null 2>&1; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
# Paths inside the checkout hash as relative ones, so a fresh clone elsewhere (a CI run) finds the cache warm.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
unity=OFF
if [ "${CI:-}" = "true" ]; then unity=ON; fi
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE="${VEXA_BUILD_TYPE:-RelWithDebInfo}" -DCMAKE_UNITY_BUILD="$unity" \
  -DVEXA_QT="${VEXA_QT:-5}" "${launcher[@]}" "$@" >/dev/null
targets=()
if [ -n "${VEXA_TEST_LABEL:-}" ]; then
  # Test programs are named after their tests; CTest knows them once configured.
  mapfile -t names < <(ctest --test-dir "$build_dir" -N -L "$VEXA_TEST_LABEL" | sed -n 's/^ *Test *#[0-9]*: //p')
  for name in "${names[@]}"; do targets+=(--target "$name"); done
fi
for name in ${VEXA_BUILD_TARGETS:-}; do targets+=(--target "$name"); done
cmake --build "$build_dir" -j"$(nproc)" "${targets[@]}"
