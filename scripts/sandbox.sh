#!/usr/bin/env bash
# Runs a command as root in a sandbox where the real helper and the real
# client can do their work without touching this machine: a private mount
# namespace in which
#   - a copy of /etc is bound over /etc (so /etc/hosts is the copy's),
#   - fresh tmpfs mounts cover /var/db (or /var, where /var/db does not
#     exist) and /run,
#   - a tmpfs covers the directory of the trusted client path, with the built
#     client installed at that path (or the program LWK_SANDBOX_CLIENT names,
#     for a benchmark that plays the client), so that the helper serves it as
#     it serves an installed client;
#   - likewise the desktop application's trusted path, with the built
#     application there when it was built (or the program LWK_SANDBOX_DESKTOP
#     names: the window's tests and benchmarks, served as the signed app is on
#     macOS).
# Nothing outside the sandbox changes; the copy of /etc is deleted at the end.
#
# usage: scripts/sandbox.sh BUILD_DIR COMMAND [ARGUMENT...]
# The command finds the built programs in LWK_HELPER and LWK_CLIENT, the
# desktop application's trusted path in LWK_DESKTOP, the helper's group in
# LWK_GROUP, and
# the sandbox's own files (its /etc copy's origin, a scratch directory) in
# LWK_SANDBOX_SCRATCH.
set -euo pipefail

if [ "$#" -lt 2 ]; then
  echo "usage: $0 BUILD_DIR COMMAND [ARGUMENT...]" >&2
  exit 2
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "$0: the sandbox needs root (a private mount namespace)" >&2
  exit 77  # what CTest takes for a skipped test
fi
build=$(cd "$1" && pwd)
shift

if [ -z "${LWK_IN_SANDBOX:-}" ]; then
  scratch=$(mktemp -d /tmp/lwk-sandbox-XXXXXX)
  trap 'rm -rf "$scratch"' EXIT
  status=0
  LWK_IN_SANDBOX=1 LWK_SANDBOX_SCRATCH="$scratch" \
    unshare --mount --propagation private "$0" "$build" "$@" || status=$?
  exit "$status"
fi

# From here on, inside the namespace: mounts stay in it.
client_path=$(sed -n 's/^LANTERN_WHARF_CLIENT_PATH:STRING=//p' "$build/CMakeCache.txt")
[ -n "$client_path" ] || { echo "$0: no LANTERN_WHARF_CLIENT_PATH in $build" >&2; exit 2; }
client_dir=$(dirname "$client_path")
[ -d "$client_dir" ] || { echo "$0: $client_dir does not exist" >&2; exit 2; }

cp -a /etc "$LWK_SANDBOX_SCRATCH/etc"
mount --bind "$LWK_SANDBOX_SCRATCH/etc" /etc
if [ -d /var/db ]; then
  mount -t tmpfs -o mode=0755 tmpfs /var/db
else
  mount -t tmpfs -o mode=0755 tmpfs /var
  mkdir -m 0755 /var/db
fi
mount -t tmpfs -o mode=0755 tmpfs /run
mount -t tmpfs -o mode=0755 tmpfs "$client_dir"
install -m 0755 -o root -g root "${LWK_SANDBOX_CLIENT:-$build/tools/lantern-wharf/lantern-wharf}" \
  "$client_path"
desktop_path=$(sed -n 's/^LANTERN_WHARF_DESKTOP_PATH:STRING=//p' "$build/CMakeCache.txt")
desktop_program=${LWK_SANDBOX_DESKTOP:-$build/apps/desktop/lantern-wharf-desktop}
if [ -n "$desktop_path" ] && [ -f "$desktop_program" ]; then
  desktop_dir=$(dirname "$desktop_path")
  [ -d "$desktop_dir" ] || { echo "$0: $desktop_dir does not exist" >&2; exit 2; }
  [ "$desktop_dir" = "$client_dir" ] || mount -t tmpfs -o mode=0755 tmpfs "$desktop_dir"
  install -m 0755 -o root -g root "$desktop_program" "$desktop_path"
fi

export LWK_GROUP=$(sed -n 's/^LANTERN_WHARF_GROUP:STRING=//p' "$build/CMakeCache.txt")
export LWK_HELPER="$build/src/lantern-wharf-helper"
export LWK_CLIENT="$client_path"
export LWK_DESKTOP="$desktop_path"
export LWK_EXAMPLE="$build/tests/lantern_wharf_example"  # the library's example program in C
exec "$@"
