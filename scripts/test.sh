#!/usr/bin/env bash
# Builds the default preset (g++, warnings as errors) and runs every test;
# the macOS sources' tests with clang; then builds everything at -O3, the
# Debian packages from it, and checks them, on their own and installed under
# a real systemd in a throw-away container (tests/system).
set -euo pipefail
cd "$(dirname "$0")/.."

# The system test's Debian root is made while the code builds: downloading
# and unpacking, not compiling. The system test waits for it; so does an
# early exit, which leaves no debootstrap running behind it.
if [ "$(id -u)" -eq 0 ]; then
  mkdir -p build
  tests/system/system_root.sh >build/system-root.log 2>&1 &
  root_maker=$!
  trap 'wait "$root_maker" 2>/dev/null || true' EXIT
fi

cmake --preset default
cmake --build --preset default
ctest --preset default

# The macOS sources, against the doubles of Apple's calls: they need clang's
# blocks, so they build in the clang preset.
cmake --preset clang
cmake --build --preset clang --target macos_test
ctest --preset clang -R '^(Xpc|Served|SignatureMacos|HelperLinkMacos)\.'

cmake --preset package
cmake --build --preset package
cpack --preset package
packages=("$(ls -t build/package/lantern-wharf-kit_*.deb | head -1)")
# The desktop application's package, where the build made one.
if compgen -G 'build/package/lantern-wharf-desktop_*.deb' >/dev/null; then
  packages+=("$(ls -t build/package/lantern-wharf-desktop_*.deb | head -1)")
fi
status=0
tests/system/package_test.sh "${packages[@]}" || status=$?
# 77: skipped, without root.
[ "$status" -eq 0 ] || [ "$status" -eq 77 ] || exit "$status"
