#!/usr/bin/env bash
# Builds the benchmarks and runs the service's (bench/service_bench.cpp) in
# the sandbox, installed at the client's trusted path so that the helper
# serves it. Arguments go to Google Benchmark. Needs root.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset bench
cmake --build --preset bench
client_path=$(sed -n 's/^LANTERN_WHARF_CLIENT_PATH:STRING=//p' build/bench/CMakeCache.txt)
LWK_SANDBOX_CLIENT=build/bench/bench/service_bench \
  ./scripts/sandbox.sh build/bench "$client_path" "$@"
