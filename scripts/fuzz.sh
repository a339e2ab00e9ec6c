#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang and runs each for
# FUZZ_SECONDS (default 15) on a copy of its seed corpus; the repository's
# corpus is never changed. Prints executions and coverage per target. A crash,
# a broken invariant or a sanitizer report fails the run; the inputs that
# caused it are kept in $FUZZ_BUILD_DIR/findings/<target>/.
#   FUZZ_SECONDS=300 bash scripts/fuzz.sh            # all targets
#   bash scripts/fuzz.sh fuzz_transport fuzz_numbers   # some of them
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-15}"
build_dir="${FUZZ_BUILD_DIR:-build-fuzz}"

if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: SKIPPED, clang++ is not installed (scripts/install-deps.sh installs it)"
  exit 0
fi

launcher=()
if command -v ccache >/dev/null 2>&1; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
# Paths inside the checkout hash as relative ones, so a fresh clone elsewhere (a CI run) finds the cache warm.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
cmake -S tests/fuzz -B "$build_dir" -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" >/dev/null
if [ $# -gt 0 ]; then
  targets=("$@")
else
  mapfile -t targets < <(sed -n 's/^vexa_add_fuzzer(\(fuzz_[a-z_]*\).*/\1/p' tests/fuzz/CMakeLists.txt)
fi
cmake --build "$build_dir" -j"$(nproc)" --target "${targets[@]}" >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:symbolize=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/fuzz/lsan.supp:print_suppressions=0"

failed=()
printf '%-18s %10s %9s %7s %7s %7s  %s\n' target executions exec/s cov ft corpus result
for target in "${targets[@]}"; do
  corpus="$work/$target/corpus"
  log="$work/$target/log"
  mkdir -p "$corpus" "$work/$target/artifacts"
  cp -R "tests/fuzz/corpus/${target#fuzz_}/." "$corpus/"
  status=0
  "$build_dir/$target" "$corpus" -max_total_time="$seconds" -timeout=60 -print_final_stats=1 \
    -artifact_prefix="$work/$target/artifacts/" >"$log" 2>&1 || status=$?

  executions="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
  rate="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")"
  last="$(grep -E '^#[0-9]+' "$log" | grep -E 'cov: ' | tail -1 || true)"
  cov="$(sed -n 's/.*cov: \([0-9]*\).*/\1/p' <<<"$last")"
  ft="$(sed -n 's/.*ft: \([0-9]*\).*/\1/p' <<<"$last")"
  units="$(sed -n 's/.*corp: \([0-9]*\)\/.*/\1/p' <<<"$last")"
  result=ok
  if [ "$status" -ne 0 ] || grep -qE 'ERROR: (libFuzzer|AddressSanitizer|LeakSanitizer)|runtime error:|invariant broken' "$log"; then
    result=FAILED
    failed+=("$target")
  fi
  printf '%-18s %10s %9s %7s %7s %7s  %s\n' "$target" "${executions:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}" \
    "${units:-?}" "$result"

  if [ "$result" = FAILED ]; then
    findings="$build_dir/findings/$target"
    mkdir -p "$findings"
    cp "$log" "$findings/log.txt"
    cp -R "$work/$target/artifacts/." "$findings/"
    echo "---- $target: report (full log and inputs in $findings)"
    grep -E -A30 'invariant broken|ERROR: |runtime error:' "$log" | head -60
    for input in "$work/$target/artifacts/"*; do
      [ -f "$input" ] || continue
      echo "input $(basename "$input"):"
      od -An -tx1 -v "$input" | head -8
    done
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: FAILED: ${failed[*]}"
  exit 1
fi
echo "fuzz: all targets ran ${seconds} s without a finding"
