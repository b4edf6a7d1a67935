#!/usr/bin/env bash
# The Debian package, checked two ways, neither touching this machine's
# system:
#   1. its files, extracted into a throw-away directory: where they should
#      be, with their modes; the units verified by systemd-analyze, their
#      exposure scored; the man pages; lintian; and so the desktop
#      application's package, when it is given: its files, what it depends
#      on, lintian;
#   2. installed and used under a real systemd: a Debian root made once by
#      debootstrap (kept in build/system-root, or LWK_SYSTEM_ROOT) is booted
#      with systemd-nspawn on a throw-away overlay, so that it stays as it was
#      made, and tests/system/in_container.sh runs inside, with the desktop
#      application's package beside the core one when it is given.
#
# usage: tests/system/package_test.sh PACKAGE.deb [DESKTOP.deb]
# Needs root; exits 77 (skipped) without it.
set -euo pipefail

if [ "$#" -lt 1 ] || [ "$#" -gt 2 ]; then
  echo "usage: $0 PACKAGE.deb [DESKTOP.deb]" >&2
  exit 2
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "$0: needs root (dpkg-deb ownership, systemd-nspawn)" >&2
  exit 77
fi
here=$(cd "$(dirname "$0")" && pwd)
deb=$(realpath "$1")
desktop_deb=${2:+$(realpath "$2")}
scratch=$(mktemp -d /var/tmp/lwk-package-XXXXXX)
nspawn_pid=
cleanup() {
  if [ -n "$nspawn_pid" ] && kill -0 "$nspawn_pid" 2>/dev/null; then
    kill "$nspawn_pid" 2>/dev/null || true
    wait "$nspawn_pid" 2>/dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT
failures=0
pass() { echo "ok: $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect() {
  if [ "$2" = "$3" ]; then pass "$1"; else fail "$1: expected [$2], got [$3]"; fi
}

# --- 1. The files --------------------------------------------------------------
root=$scratch/root
dpkg-deb -x "$deb" "$root"
expected="644 root root lib/systemd/system/lantern-wharf-helper.service
644 root root lib/systemd/system/lantern-wharf-helper.socket
755 root root usr/bin/lantern-wharf
644 root root usr/lib/sysusers.d/lantern-wharf.conf
644 root root usr/lib/tmpfiles.d/lantern-wharf.conf
755 root root usr/libexec/lantern-wharf-helper
644 root root usr/share/bash-completion/completions/lantern-wharf
644 root root usr/share/doc/lantern-wharf-kit/changelog.Debian.gz
644 root root usr/share/doc/lantern-wharf-kit/copyright
644 root root usr/share/man/man1/lantern-wharf.1.gz
644 root root usr/share/man/man1/lantern-wharf-add.1.gz
644 root root usr/share/man/man1/lantern-wharf-apply.1.gz
644 root root usr/share/man/man1/lantern-wharf-check.1.gz
644 root root usr/share/man/man1/lantern-wharf-decode.1.gz
644 root root usr/share/man/man1/lantern-wharf-disable.1.gz
644 root root usr/share/man/man1/lantern-wharf-enable.1.gz
644 root root usr/share/man/man1/lantern-wharf-encode.1.gz
644 root root usr/share/man/man1/lantern-wharf-export.1.gz
644 root root usr/share/man/man1/lantern-wharf-find.1.gz
644 root root usr/share/man/man1/lantern-wharf-flush.1.gz
644 root root usr/share/man/man1/lantern-wharf-history.1.gz
644 root root usr/share/man/man1/lantern-wharf-import.1.gz
644 root root usr/share/man/man1/lantern-wharf-list.1.gz
644 root root usr/share/man/man1/lantern-wharf-preview.1.gz
644 root root usr/share/man/man1/lantern-wharf-redo.1.gz
644 root root usr/share/man/man1/lantern-wharf-remove.1.gz
644 root root usr/share/man/man1/lantern-wharf-remove-everything.1.gz
644 root root usr/share/man/man1/lantern-wharf-rename.1.gz
644 root root usr/share/man/man1/lantern-wharf-send.1.gz
644 root root usr/share/man/man1/lantern-wharf-show.1.gz
644 root root usr/share/man/man1/lantern-wharf-undo.1.gz
644 root root usr/share/man/man8/lantern-wharf-helper.8.gz
644 root root usr/share/polkit-1/actions/org.lanternwharf.kit.policy"
expect "the package's files, owners and modes" "$(printf '%s\n' "$expected" | sort -k4)" \
  "$(cd "$root" && find . -type f -printf '%m %u %g %P\n' | sort -k4)"

unit_value() { sed -n "s/^$2=//p" "$root/lib/systemd/system/lantern-wharf-helper.$1" | tail -1; }
socket=$(unit_value socket ListenStream)
group=$(unit_value socket SocketGroup)
expect "the service starts the installed helper" "/usr/libexec/lantern-wharf-helper" \
  "$(unit_value service ExecStart)"
# The client names the socket it looks for when nothing answers there (this
# machine has no helper at that path: it only tries to connect).
if [ ! -e "$socket" ]; then
  expect "the client looks where the socket unit listens" \
    "lantern-wharf: cannot reach the helper at $socket: No such file or directory (os error 2)" \
    "$("$root/usr/bin/lantern-wharf" flush 2>&1 || true)"
fi
expect "the group in sysusers.d is the socket's" "g $group -" \
  "$(grep -v '^#' "$root/usr/lib/sysusers.d/lantern-wharf.conf")"

# systemd-analyze resolves the units' dependencies in the root it is given:
# this machine's units stand in for an installed system's.
mkdir -p "$root/lib/systemd/system"
cp -an /lib/systemd/system/. "$root/lib/systemd/system/"
units=("$root/lib/systemd/system/lantern-wharf-helper.socket"
       "$root/lib/systemd/system/lantern-wharf-helper.service")
if out=$(systemd-analyze verify --man=no --root="$root" "${units[@]}" 2>&1) && [ -z "$out" ]; then
  pass "systemd-analyze verify"
else
  fail "systemd-analyze verify: $out"
fi
exposure=$(systemd-analyze security --offline=true --root="$root" --no-pager \
           lantern-wharf-helper.service 2>/dev/null | tail -1)
echo "$exposure"
if systemd-analyze security --offline=true --root="$root" --threshold=30 \
     lantern-wharf-helper.service >/dev/null 2>&1; then
  pass "exposure at most 3.0"
else
  fail "exposure above 3.0"
fi

# --- The desktop application's package ---------------------------------------
desktop_root=$scratch/desktop
if [ -n "$desktop_deb" ]; then
  dpkg-deb -x "$desktop_deb" "$desktop_root"
  app=usr/bin/lantern-wharf-desktop
  desktop_expected="755 root root $app
644 root root usr/share/applications/org.lanternwharf.kit.desktop
644 root root usr/share/doc/lantern-wharf-desktop/changelog.Debian.gz
644 root root usr/share/doc/lantern-wharf-desktop/copyright
644 root root usr/share/icons/hicolor/scalable/apps/org.lanternwharf.kit.svg
644 root root usr/share/man/man1/lantern-wharf-desktop.1.gz
644 root root usr/share/metainfo/org.lanternwharf.kit.metainfo.xml"
  expect "the desktop package's files, owners and modes" "$(printf '%s\n' "$desktop_expected" | sort -k4)" \
    "$(cd "$desktop_root" && find . -type f -printf '%m %u %g %P\n' | sort -k4)"
  depends=$(dpkg-deb -f "$desktop_deb" Depends | tr ',' '\n' | sed 's/^ *//')
  expect "the desktop package needs the core package of its very version" \
    "lantern-wharf-kit (= $(dpkg-deb -f "$deb" Version))" "$(grep '^lantern-wharf-kit' <<<"$depends")"
  # The Qt libraries the program links, by the packages that hold them on
  # this machine, which built it.
  linked=$(objdump -p "$desktop_root/$app" | awk '$1 == "NEEDED" && $2 ~ /^libQt6/ { print "*/" $2 }' |
           xargs -r dpkg -S | cut -d: -f1 | sort -u)
  expect "the desktop package needs each Qt library it links" "$linked" \
    "$(grep -o '^libqt6[^ ]*' <<<"$depends" | sort -u)"
  expect "the desktop package recommends what draws its icon, and nothing of the helper's" \
    "libqt6svg6" "$(dpkg-deb -f "$desktop_deb" Recommends)"
fi

for page in "$root"/usr/share/man/man*/*.gz "$desktop_root"/usr/share/man/man*/*.gz; do
  [ -e "$page" ] || continue
  expect "man page $(basename "$page") renders without warnings" "" \
    "$(man --warnings -l "$page" 2>&1 >/dev/null)"
done
packages=("$deb" ${desktop_deb:+"$desktop_deb"})
for package in "${packages[@]}"; do
  lint=$(lintian --pedantic "$package" 2>&1 | grep -v '^running with root privileges' || true)
  echo "lintian: ${lint:-nothing to say}"
  expect "lintian reports no error on $(basename "$package")" "" "$(grep '^E:' <<<"$lint" || true)"
done

# --- 2. Under a real systemd ---------------------------------------------------------
system_root=$("$here/system_root.sh")
capability_mask=$(python3 - "$(unit_value service CapabilityBoundingSet)" <<'EOF'
import re, sys
numbers = dict(re.findall(r"#define (CAP_\w+)\s+(\d+)\b", open("/usr/include/linux/capability.h").read()))
print("%016x" % sum(1 << int(numbers[name]) for name in sys.argv[1].split()))
EOF
)
cp "$deb" "$scratch/package.deb"
cp "$here/in_container.sh" "$scratch/in_container.sh"
binds=(--bind-ro="$scratch/package.deb:/srv/package.deb"
       --bind-ro="$scratch/in_container.sh:/srv/in_container.sh")
if [ -n "$desktop_deb" ]; then
  cp "$desktop_deb" "$scratch/desktop.deb"
  binds+=(--bind-ro="$scratch/desktop.deb:/srv/desktop.deb")
fi
systemd-nspawn --quiet --directory="$system_root" --volatile=overlay --register=no --keep-unit \
  --boot --console=passive "${binds[@]}" >"$scratch/boot.log" 2>&1 &
nspawn_pid=$!
leader=
for _ in $(seq 1 100); do
  leader=$(pgrep -P "$nspawn_pid" -x systemd || true)
  [ -n "$leader" ] && break
  sleep 0.1
done
[ -n "$leader" ] || { cat "$scratch/boot.log"; echo "FAIL: the container did not boot"; exit 1; }
inside() { nsenter --target "$leader" --all "$@"; }
# Until its manager answers, and then until it has finished starting.
state=
for _ in $(seq 1 600); do
  state=$(inside systemctl is-system-running 2>/dev/null || true)
  case "$state" in running | degraded) break ;; esac
  sleep 0.1
done
echo "the container's system is ${state:-not answering}"
[ "$state" = running ] || inside systemctl --failed --no-pager || true
status=0
inside env LWK_SOCKET="$socket" LWK_GROUP="$group" LWK_CAPABILITY_MASK="$capability_mask" \
  bash /srv/in_container.sh || status=$?
inside systemctl poweroff || true
wait "$nspawn_pid" 2>/dev/null || true
nspawn_pid=
[ "$status" -eq 0 ] || failures=$((failures + 1))

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all package checks passed"
