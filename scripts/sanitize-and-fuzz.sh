#!/usr/bin/env bash
# The hostile-input check of CI (called at the end of ./test.sh):
#  1. builds the model library, its tests, morvane-cli and the fuzz targets with clang,
#     AddressSanitizer and UndefinedBehaviorSanitizer (one build serves both);
#  2. runs the model tests (ctest label "model": test_core, test_formats, test_cli);
#  3. runs every fuzz target (tests/fuzz) for a bounded time on seeds made from the
#     broken-file corpus, two at a time.
# Any sanitizer report, failing test or fuzz finding fails the script; findings are kept
# under <build>/fuzz-findings with the log of their target.
#
# Environment:
#   MORVANE_FUZZ_SECONDS   seconds per fuzz target (default 60; 0 skips fuzzing)
#   MORVANE_SANITIZE_DIR   build directory (default build-sanitize)
#   MORVANE_JOBS           build jobs and fuzz targets run at once (default: cores, at most 2)
#   MORVANE_FUZZ_SEED      libFuzzer's random seed (default 1, so that a run can be repeated;
#                          0 lets libFuzzer choose one)
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

FUZZ_SECONDS=${MORVANE_FUZZ_SECONDS:-60}
FUZZ_SEED=${MORVANE_FUZZ_SEED:-1}
BUILD=${MORVANE_SANITIZE_DIR:-build-sanitize}
case "$BUILD" in /*) ;; *) BUILD="$ROOT/$BUILD" ;; esac
JOBS=${MORVANE_JOBS:-$(nproc 2>/dev/null || echo 2)}
[ "$JOBS" -gt 2 ] && [ -z "${MORVANE_JOBS:-}" ] && JOBS=2
[ "$JOBS" -lt 1 ] && JOBS=1

for tool in clang clang++ cmake ninja; do
  command -v "$tool" >/dev/null || { echo "sanitize-and-fuzz: $tool is missing (run scripts/install-deps.sh)" >&2; exit 1; }
done

# ---------------------------------------------------------------- build
# a build directory configured with another compiler cannot be switched: start afresh
if [ -f "$BUILD/CMakeCache.txt" ] && ! grep -q '^CMAKE_CXX_COMPILER:.*clang++' "$BUILD/CMakeCache.txt"; then
  rm -rf "$BUILD"
fi
echo "sanitize-and-fuzz: building in $BUILD (clang, ASan + UBSan, fuzz targets)"
CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMORVANE_SANITIZE=ON -DMORVANE_FUZZ=ON -DMORVANE_GUI=OFF -DMORVANE_BENCH=OFF >/dev/null
cmake --build "$BUILD" -j "$JOBS"

# ---------------------------------------------------------------- model tests
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export MORVANE_INI="$BUILD/test-morvane.ini"   # never touch a real settings file
echo "sanitize-and-fuzz: model tests under the sanitizers"
ctest --test-dir "$BUILD" -L model --output-on-failure -j "$JOBS" --timeout 900

# ---------------------------------------------------------------- fuzzing
if [ "$FUZZ_SECONDS" -le 0 ]; then
  echo "sanitize-and-fuzz: fuzzing skipped (MORVANE_FUZZ_SECONDS=$FUZZ_SECONDS)"
  exit 0
fi

SEEDS="$BUILD/fuzz-seeds"; CORPUS="$BUILD/fuzz-corpus"; FINDINGS="$BUILD/fuzz-findings"
LOGS="$BUILD/fuzz-logs"; SCRATCH="$BUILD/fuzz-tmp"
rm -rf "$SEEDS" "$FINDINGS" "$LOGS" "$SCRATCH"
mkdir -p "$CORPUS" "$FINDINGS" "$LOGS" "$SCRATCH"
scripts/make-fuzz-seeds.sh "$SEEDS" >/dev/null

max_len() {  # the two-file inputs carry a parameter text and several data files
  case "$1" in native) echo 32768 ;; omicron) echo 16384 ;; gwy) echo 8192 ;; *) echo 4096 ;; esac
}

run_target() {
  local name=$1 rc=0
  mkdir -p "$CORPUS/$name"
  TMPDIR="$SCRATCH" "$BUILD/tests/fuzz/fuzz_$name" "$CORPUS/$name" "$SEEDS/$name" \
    -dict="$ROOT/tests/fuzz/fuzz_$name.dict" -max_total_time="$FUZZ_SECONDS" \
    -max_len="$(max_len "$name")" -rss_limit_mb=2048 -timeout=10 \
    -seed="$FUZZ_SEED" -artifact_prefix="$FINDINGS/$name-" -print_final_stats=1 >"$LOGS/$name.log" 2>&1 || rc=$?
  echo "$rc" >"$LOGS/$name.rc"
}

targets=()
for exe in "$BUILD"/tests/fuzz/fuzz_*; do
  [ -x "$exe" ] && targets+=("${exe##*/fuzz_}")
done
[ ${#targets[@]} -gt 0 ] || { echo "sanitize-and-fuzz: no fuzz targets were built" >&2; exit 1; }
echo "sanitize-and-fuzz: fuzzing ${targets[*]} for ${FUZZ_SECONDS} s each, $JOBS at a time"
for name in "${targets[@]}"; do
  run_target "$name" &
  while [ "$(jobs -rp | wc -l)" -ge "$JOBS" ]; do wait -n || true; done
done
wait

passed=0; failed=0
for name in "${targets[@]}"; do
  rc=$(cat "$LOGS/$name.rc" 2>/dev/null || echo 1)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$LOGS/$name.log" | tail -n 1)
  secs=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$LOGS/$name.log" | tail -n 1)
  found=$(find "$FINDINGS" -name "$name-*" -type f | head -n 5)
  if [ "$rc" = 0 ] && [ -z "$found" ]; then
    echo "fuzz_$name: ${runs:-?} executions (${secs:-?}/s), no finding"
    passed=$((passed + 1))
  else
    echo "fuzz_$name: FINDING (exit $rc) after ${runs:-?} executions" >&2
    [ -n "$found" ] && echo "$found" | sed "s|^|  replay: $BUILD/tests/fuzz/fuzz_$name |" >&2
    grep -E -A 30 '^==[0-9]+==ERROR|runtime error|==morvane==|deadly signal|timeout|out-of-memory' \
      "$LOGS/$name.log" | head -n 60 >&2 || tail -n 40 "$LOGS/$name.log" >&2
    failed=$((failed + 1))
  fi
done
rm -rf "$SCRATCH"
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
