#!/usr/bin/env bash
# Builds the fuzz preset and runs every libFuzzer target for a bounded time
# (seconds, default 30) on a scratch copy of its committed seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p fuzz/artifacts
for target in build/fuzz/fuzz/fuzz_*; do
  name=${target##*/fuzz_}
  mkdir -p "$scratch/$name"
  rss=2048
  [ -f "fuzz/corpus/$name/.rss_limit_mb" ] && rss=$(cat "fuzz/corpus/$name/.rss_limit_mb")
  echo "fuzzing $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -rss_limit_mb="$rss" -print_final_stats=1 \
    -artifact_prefix=fuzz/artifacts/ "$scratch/$name" "fuzz/corpus/$name" 2>&1 |
    grep -E '^(stat::number_of_executed_units|==|SUMMARY|internal fault)' || true
  [ "${PIPESTATUS[0]}" -eq 0 ] || { echo "fuzz target $name failed"; exit 1; }
done
