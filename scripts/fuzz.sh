#!/usr/bin/env bash
# Builds the readers' fuzz targets with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer (build-fuzz/) and runs each for N seconds
# (default 60) from its kept corpus and reproducers:
#   bash scripts/fuzz.sh [seconds] [target...]
# New inputs collect in build-fuzz/corpus/<target>/, findings in
# build-fuzz/findings/<target>/ (keep one in tests/fuzz/regressions/<target>/
# once its fault is fixed). Each run's log is build-fuzz/fuzz-<target>.log.
# Fails when any target found something.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
bash scripts/install-deps.sh clang

build=build-fuzz
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DSONRAKE_FUZZ=ON -DSONRAKE_SANITIZE=address,undefined -DSONRAKE_WERROR=OFF \
  -DSONRAKE_BUILD_TESTS=OFF -DSONRAKE_BUILD_BENCH=OFF >/dev/null
if (($#)); then targets=("$@"); else mapfile -t targets <"$build/fuzz_targets.txt"; fi
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/#/fuzz_}"

failed=()
for t in "${targets[@]}"; do
  mkdir -p "$build/corpus/$t" "$build/findings/$t"
  inputs=(tests/fuzz/corpus/"$t")
  [ -d tests/fuzz/regressions/"$t" ] && inputs+=(tests/fuzz/regressions/"$t")
  # The configuration file is 16326 bytes; the other inputs stay small.
  max_len=4096
  [ "$t" = config_file ] && max_len=17000
  echo "== $t: ${seconds} s"
  if ! "$build/tests/fuzz/fuzz_$t" -max_total_time="$seconds" -max_len="$max_len" \
      -timeout=10 -print_final_stats=1 -artifact_prefix="$build/findings/$t/" \
      "$build/corpus/$t" "${inputs[@]}" >"$build/fuzz-$t.log" 2>&1; then
    failed+=("$t")
  fi
  # The figures of the last status line and the final statistics.
  grep -E '^#[0-9]+' "$build/fuzz-$t.log" | tail -1
  grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$build/fuzz-$t.log" | tr '\n' ' '
  echo
  ls "$build/findings/$t"
done

if ((${#failed[@]})); then
  echo "Findings in: ${failed[*]} (see $build/fuzz-<target>.log and $build/findings/)" >&2
  exit 1
fi
echo "No findings in ${#targets[@]} targets."
