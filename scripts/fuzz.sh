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
  # A target with a memory limit of its own gets a small ASan quarantine, so
  # that memory freed by earlier runs does not count against that limit.
  rss=2048
  asan_options=${ASAN_OPTIONS:-}
  if [ -f "fuzz/corpus/$name/.rss_limit_mb" ]; then
    rss=$(cat "fuzz/corpus/$name/.rss_limit_mb")
    asan_options="quarantine_size_mb=4${asan_options:+:$asan_options}"
  fi
  echo "fuzzing $name for ${seconds}s (rss limit ${rss} MB)"
  status=0
  ASAN_OPTIONS=$asan_options "$target" -max_total_time="$seconds" -rss_limit_mb="$rss" \
    -print_final_stats=1 -artifact_prefix=fuzz/artifacts/ "$scratch/$name" "fuzz/corpus/$name" \
    >"$scratch/$name.log" 2>&1 || status=$?
  grep -E '^stat::number_of_executed_units' "$scratch/$name.log" || true
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$scratch/$name.log"
    echo "fuzz target $name failed (exit $status); the input is in fuzz/artifacts/"
    exit 1
  fi
done
