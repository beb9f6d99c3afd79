#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a bounded time (default 15 s) over a scratch
# copy of its committed seeds, so the committed corpus never grows. Fails on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-15}
command -v clang++ >/dev/null || { echo "fuzz: clang++ missing; run scripts/setup.sh" >&2; exit 1; }

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" >/dev/null

run=build/fuzz/run
rm -rf "$run"
export UBSAN_OPTIONS=print_stacktrace=1
failed=()
for seeds in tests/fuzz/corpus/*/; do
  target=$(basename "$seeds")
  mkdir -p "$run/$target/corpus"
  cp "$seeds"* "$run/$target/corpus/"
  log=$run/$target/log
  if build/fuzz/tests/fuzz/fuzz_"$target" -max_total_time="$seconds" -timeout=10 \
       -rss_limit_mb=2048 -artifact_prefix="$run/$target/" "$run/$target/corpus" >"$log" 2>&1; then
    echo "fuzz: $target: $(grep -o 'Done [0-9]* runs' "$log" | cut -d' ' -f2) runs, no finding"
  else
    failed+=("$target")
    echo "fuzz: $target: FINDING (log: $log)"
    grep -E 'ERROR|invariant broken|runtime error|Failure|deadly signal' "$log" | head -n 5 || true
    for artifact in "$run/$target"/{crash,leak,timeout,oom,slow-unit}-*; do
      [ -e "$artifact" ] || continue
      echo "  reproduce: build/fuzz/tests/fuzz/fuzz_$target $artifact"
    done
  fi
done
[ ${#failed[@]} -eq 0 ] || { echo "fuzz: findings in ${failed[*]}" >&2; exit 1; }
