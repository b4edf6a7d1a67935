#!/usr/bin/env bash
# The client's library as an application finds it once installed: the
# development component installed under a fresh prefix, and the example
# program in C built against it twice, with pkg-config and with a CMake
# project in C alone that finds the package. Each build must run (it prints
# its usage and exits 2 without arguments).
#   usage: library_install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --component development --prefix "$work/prefix" >/dev/null
libdir=$(dirname "$(find "$work/prefix" -name liblantern-wharf-client.a)")

expect_usage() {
  local status=0
  "$1" >/dev/null 2>"$work/err" || status=$?
  if [ "$status" -ne 2 ] || ! grep -q '^usage: lantern_wharf_example' "$work/err"; then
    echo "$1: exit $status, expected the usage and 2:" >&2
    cat "$work/err" >&2
    exit 1
  fi
}

# shellcheck disable=SC2046  # pkg-config's words are meant to split
cc -o "$work/with-pkg-config" "$source/examples/lantern_wharf_example.c" \
  $(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs lantern-wharf-client)
expect_usage "$work/with-pkg-config"

mkdir "$work/app"
cat >"$work/app/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(app C)
find_package(lantern-wharf-client REQUIRED)
add_executable(app "$source/examples/lantern_wharf_example.c")
target_link_libraries(app PRIVATE lantern_wharf::client)
CMAKE
cmake -S "$work/app" -B "$work/app/build" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/app/build" >/dev/null
expect_usage "$work/app/build/app"
echo "installed: the example builds with pkg-config and with find_package, and runs"
