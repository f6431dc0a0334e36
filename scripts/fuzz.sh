#!/usr/bin/env bash
# Builds the readers' fuzz targets with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer (build-fuzz/) and runs each for N seconds
# (default 60) from its kept corpus and reproducers, as many at once as the
# machine has cores:
#   bash scripts/fuzz.sh [seconds] [target...]
# With SONRAKE_FUZZ_BUILD=DIR the targets of an existing fuzzing build are
# used instead (scripts/sanitize.sh makes one in build-asan/).
# New inputs collect in <build>/corpus/<target>/, findings in
# <build>/findings/<target>/ (keep one in tests/fuzz/regressions/<target>/
# once its fault is fixed). Each run's log is <build>/fuzz-<target>.log.
# Fails when any target found something.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
bash scripts/install-deps.sh clang

build=${SONRAKE_FUZZ_BUILD:-build-fuzz}
if [ -z "${SONRAKE_FUZZ_BUILD:-}" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DSONRAKE_FUZZ=ON -DSONRAKE_SANITIZE=address,undefined -DSONRAKE_WERROR=OFF \
    -DSONRAKE_BUILD_TESTS=OFF -DSONRAKE_BUILD_BENCH=OFF >/dev/null
fi
if (($#)); then targets=("$@"); else mapfile -t targets <"$build/fuzz_targets.txt"; fi
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# One target's run; its exit status says whether it found anything.
fuzz_one() {
  local t=$1
  mkdir -p "$build/corpus/$t" "$build/findings/$t"
  local inputs=(tests/fuzz/corpus/"$t")
  [ -d tests/fuzz/regressions/"$t" ] && inputs+=(tests/fuzz/regressions/"$t")
  # The configuration file is 16326 bytes and a session some 300 kB; the
  # other inputs stay small.
  local max_len=4096
  [ "$t" = config_file ] && max_len=17000
  [ "$t" = session_file ] && max_len=1048576
  "$build/tests/fuzz/fuzz_$t" -max_total_time="$seconds" -max_len="$max_len" \
    -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$build/findings/$t/" \
    "$build/corpus/$t" "${inputs[@]}" >"$build/fuzz-$t.log" 2>&1
}

running=0
for t in "${targets[@]}"; do
  if ((running >= $(nproc))); then
    wait -n || true
    running=$((running - 1))
  fi
  running=$((running + 1))
  echo "== $t: ${seconds} s"
  rm -f "$build/fuzz-$t.status"
  ( if fuzz_one "$t"; then echo 0; else echo 1; fi >"$build/fuzz-$t.status" ) &
done
wait

failed=()
for t in "${targets[@]}"; do
  [ "$(cat "$build/fuzz-$t.status" 2>/dev/null)" = 0 ] || failed+=("$t")
  # The figures of the last status line and the final statistics.
  echo "== $t"
  grep -E '^#[0-9]+' "$build/fuzz-$t.log" | tail -1 || true
  grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$build/fuzz-$t.log" | tr '\n' ' ' || true
  echo
  ls "$build/findings/$t"
done

if ((${#failed[@]})); then
  echo "Findings in: ${failed[*]} (see $build/fuzz-<target>.log and $build/findings/)" >&2
  exit 1
fi
echo "No findings in ${#targets[@]} targets."
