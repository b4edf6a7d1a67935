#!/usr/bin/env bash
# The main job: builds the helper and the client, and shows them at work on
# a sandboxed copy of this machine's /etc (scripts/sandbox.sh), as a person
# uses them: add a set, see it, switch it off, import a small list, look at
# the history, undo; then an apply of a sets file, the name resolving, the
# store, a repeated apply, a refused caller and the journal, and
# remove-everything putting the file back byte for byte; and, where Xvfb is
# installed, the desktop window driven through a short session of its tests
# against the same helper, saving its screenshots. Nothing outside the
# sandbox changes. Needs root, for the private mount namespace.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" != "--inside" ]; then
  { cmake --preset default && cmake --build --preset default --target lantern-wharf-helper lantern-wharf lantern-wharf-desktop desktop_test; } >/dev/null
  # The window's tests are installed as the desktop application, so that the
  # helper serves their session as it serves the window.
  LWK_SANDBOX_DESKTOP=build/default/tests/desktop_test \
    exec scripts/sandbox.sh build/default "$0" --inside "$(pwd)/examples/sets.json"
fi

sets=$2
store=/var/db/lantern-wharf-kit
step() { printf '\n\033[1m== %s\033[0m\n' "$*"; }
show() { printf '$ %s\n' "$*"; "$@"; }

before=$(mktemp)
cp /etc/hosts "$before"
helper_log=$(mktemp)
"$LWK_HELPER" 2>"$helper_log" &
helper=$!
trap 'kill -TERM "$helper" 2>/dev/null || true; rm -f "$before" "$helper_log"' EXIT
for _ in $(seq 100); do [ -S /run/org.lanternwharf.kit.helper.sock ] && break; sleep 0.05; done

step "1. add a set, and see it"
show lantern-wharf add work "10.0.0.5 intranet.test" "10.0.0.6 wiki.test"
show lantern-wharf list
show lantern-wharf show work

step "2. switch one line off: look first, then do it"
show lantern-wharf disable --diff work 2
show lantern-wharf disable work 2
show lantern-wharf list

step "3. import a small published list; the line the helper would refuse is named"
list=$(mktemp)
printf '# a small blocklist\n0.0.0.0 ads.example\n0.0.0.0 tracker_1.example\n0.0.0.0 metrics.example\n' >"$list"
show lantern-wharf import blocklist "$list" || echo "(exit status $?: nothing was sent)"
show lantern-wharf import --skip-refused blocklist "$list"
rm -f "$list"
show lantern-wharf show blocklist

step "4. the history of the file, and undo of the last change"
show lantern-wharf history
show lantern-wharf undo
show lantern-wharf list

step "5. export the sets, as a file apply takes"
show lantern-wharf export

step "6. remove everything, then apply the example sets file; the new /etc/hosts"
show lantern-wharf remove-everything
show lantern-wharf apply "$sets"
show cat /etc/hosts

step "7. the system resolves a name of the block"
show getent hosts intranet.test

step "8. the store: the snapshot and one backup (an apply writes no journal line)"
show ls -lR "$store"
show cat "$store/before-first-apply"

step "9. the same apply again changes nothing"
show lantern-wharf apply "$sets"

step "10. a copy of the client at another path is refused"
copy=$(mktemp -d)
cp "$LWK_CLIENT" "$copy/lantern-wharf"
show "$copy/lantern-wharf" apply "$sets" || echo "(exit status $?)"
rm -rf "$copy"
step "   the journal: refusals, flushes and removals"
show cat "$store/helper.log"

step "11. remove everything: the file as it was, the store gone"
show lantern-wharf remove-everything
if cmp -s "$before" /etc/hosts; then echo "/etc/hosts is byte for byte as before the first apply"; else echo "/etc/hosts differs!"; exit 1; fi
show ls -la /var/db

step "12. the desktop window, under Xvfb: a short session through its real widgets"
if command -v xvfb-run >/dev/null; then
  shots=$(pwd)/build/demo-window
  echo "(sets added by the command; a bad line typed, its issue shown and Apply withheld;"
  echo " the diff reviewed; the history; the tray menu; light and dark)"
  LWK_SCREENSHOTS=$shots dbus-run-session -- xvfb-run -a -s "-screen 0 1280x900x24" \
    "$LWK_DESKTOP" -platform xcb \
    screenshots 2>&1 | grep -E '^(PASS|FAIL|Totals)' | grep -v 'TestCase()'
  echo "screenshots: $(cd "$shots" && ls *.png | tr '\n' ' ')in $shots"
  show lantern-wharf list
else
  echo "(xvfb-run is not installed: ./scripts/setup-debian.sh installs it)"
fi
echo "To start the window on a desktop: install the two Debian packages (README,"
echo "'Installing it on Linux'), then run lantern-wharf-desktop, or choose Lantern"
echo "Wharf in the desktop's menu. The packaged helper serves the window at"
echo "/usr/bin/lantern-wharf-desktop only; the helper built here, at $LWK_DESKTOP."

kill -TERM "$helper"
wait "$helper" || true
step "the helper's standard error"
cat "$helper_log"
