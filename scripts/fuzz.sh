#!/usr/bin/env bash
# Builds the fuzz preset and runs every libFuzzer target for a bounded time
# (seconds, default 30) on a scratch copy of its committed seed corpus, as
# many targets at once as there are processors.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p fuzz/artifacts

# fuzz TARGET: runs one target; prints its figures, or its log's end and why
# it failed, and exits non-zero on a finding.
fuzz() {
  local target=$1 name=${1##*/fuzz_} status=0
  mkdir -p "$scratch/$name"
  # A target with a memory limit of its own gets a small ASan quarantine, so
  # that memory freed by earlier runs does not count against that limit.
  local rss=2048 asan_options=${ASAN_OPTIONS:-}
  if [ -f "fuzz/corpus/$name/.rss_limit_mb" ]; then
    rss=$(cat "fuzz/corpus/$name/.rss_limit_mb")
    asan_options="quarantine_size_mb=4${asan_options:+:$asan_options}"
  fi
  ASAN_OPTIONS=$asan_options "$target" -max_total_time="$seconds" -rss_limit_mb="$rss" \
    -print_final_stats=1 -artifact_prefix=fuzz/artifacts/ "$scratch/$name" "fuzz/corpus/$name" \
    >"$scratch/$name.log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$scratch/$name.log"
    echo "fuzz target $name failed (exit $status); the input is in fuzz/artifacts/"
    return 1
  fi
  echo "fuzzed $name for ${seconds}s (rss limit ${rss} MB):" \
    "$(grep -E '^stat::number_of_executed_units' "$scratch/$name.log" || true)"
}
export -f fuzz
export scratch seconds

# xargs exits non-zero when any target failed.
printf '%s\n' build/fuzz/fuzz/fuzz_* | xargs -P "$(nproc)" -I{} bash -c 'fuzz "$1"' _ {}
