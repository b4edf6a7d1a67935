#!/usr/bin/env bash
# Builds the default preset (g++, warnings as errors) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default
cmake --build --preset default
ctest --preset default
