#!/usr/bin/env bash
# Checks that every C++ file is formatted and passes clang-tidy. Needs the
# default preset configured (for compile_commands.json).
set -euo pipefail
cd "$(dirname "$0")/.."
files=$(git ls-files '*.cpp' '*.h')
clang-format-14 --dry-run -Werror $files
# clang-tidy reads the headers through the sources that include them.
git ls-files 'src/*.cpp' 'tools/*.cpp' 'apps/*.cpp' | grep -v '_macos\.cpp$' |
  xargs -P 2 -n 4 clang-tidy-14 -p build/default --quiet 2>&1 |
  { grep -E '(warning|error):' && exit 1 || true; }
