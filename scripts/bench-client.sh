#!/usr/bin/env bash
# Builds the client's benchmarks and runs them: reading the sets back from a
# 1 MiB block (bench/client_bench.cpp), what refusing inputs over the
# client's bounds costs in time and memory (bench/client_bounds_bench.cpp),
# then switching one set of such a block
# end to end with the real client and helper in the sandbox, next to the plain
# apply of the same sets (bench/client_end_to_end.py). Needs root.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset bench >/dev/null
cmake --build --preset bench --target client_bench client_bounds_bench lantern-wharf \
  lantern-wharf-helper
build/bench/bench/client_bench "$@"
build/bench/bench/client_bounds_bench
./scripts/sandbox.sh build/bench python3 bench/client_end_to_end.py
