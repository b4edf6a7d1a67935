#!/usr/bin/env bash
# Runs as root inside a booted Debian container (see package_test.sh), whose
# root is a throw-away overlay: installs the package at /srv/package.deb and
# checks, under the real systemd, that
#   - its maintainer scripts make the group and enable and start the socket;
#   - members of the group are served with no prompt; others only when
#     polkit allows it (a rule of the administrator's), and a refused user is
#     told what to do; one user's prompt that nobody answers holds nobody
#     else, and that user's next request is told to ask again in a moment
#     (exit 5); with polkit masked, members and root are still served,
#     everyone else refused, and the journal says why; copies of the client
#     are refused;
#   - the unit's restrictions are in effect on the running helper, and the
#     helper's operations, the name-cache commands included, work under them;
#   - each capability the unit keeps is needed, and the unit's exposure
#     score is at most 1.8;
#   - `systemctl stop` during a large apply lets the apply finish, and the
#     next connection starts the helper again;
#   - with the desktop application's package at /srv/desktop.deb: it
#     installs, a member switches a set on in its window and applies the
#     change, driven over AT-SPI as a person would; a copy of it is refused;
#   - removing the package stops the socket and leaves /etc/hosts and the
#     store alone.
set -euo pipefail

# From package_test.sh: what the package's units say.
SOCKET=${LWK_SOCKET:?}
GROUP=${LWK_GROUP:?}
CAPABILITY_MASK=${LWK_CAPABILITY_MASK:?}
STORE=/var/db/lantern-wharf-kit
UNIT=lantern-wharf-helper.service
failures=0

pass() { echo "ok: $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# expect DESCRIPTION EXPECTED ACTUAL
expect() {
  if [ "$2" = "$3" ]; then pass "$1"; else fail "$1: expected [$2], got [$3]"; fi
}
as_user() { local user=$1; shift; runuser -u "$user" -- "$@"; }
# The status and output of a command, as "STATUS OUTPUT".
outcome() { local out status=0; out=$("$@" 2>&1) || status=$?; echo "$status $out"; }
main_pid() { systemctl show -p MainPID --value "$UNIT"; }
helper_journal() { journalctl -u "$UNIT" -o cat --no-pager; }

# --- Installing ------------------------------------------------------------
expect "the package installs" "0" "$(dpkg -i /srv/package.deb >/srv/dpkg.log 2>&1; echo $?)"
expect "the group exists" "$GROUP" "$(getent group "$GROUP" | cut -d: -f1)"
expect "the socket is enabled" "enabled" "$(systemctl is-enabled lantern-wharf-helper.socket)"
expect "the socket is listening" "active" "$(systemctl is-active lantern-wharf-helper.socket)"
expect "the socket's owner, group and mode" "root $GROUP 666" "$(stat -c '%U %G %a' "$SOCKET")"
expect "the helper is not running before it is needed" "inactive" "$(systemctl is-active "$UNIT")"
expect "/var/db exists" "yes" "$([ -d /var/db ] && echo yes)"
DESKTOP_DEB=/srv/desktop.deb
if [ -e "$DESKTOP_DEB" ]; then
  expect "the desktop package installs" "0" "$(dpkg -i "$DESKTOP_DEB" >>/srv/dpkg.log 2>&1; echo $?)"
fi

printf '127.0.0.1\tlocalhost\n::1\tlocalhost\n' >/etc/hosts
cp /etc/hosts /srv/original
useradd --no-create-home --groups "$GROUP" alice
useradd --no-create-home bob
useradd --no-create-home carol
useradd --no-create-home dave
# An administrator, whose password polkit asks for where a rule wants one.
useradd --no-create-home --groups sudo admin
cat >/srv/work.json <<'EOF'
{"sets": [{"name": "work", "lines": ["10.0.0.5 intranet.test", "10.0.0.6 wiki.test"]}]}
EOF
awk 'BEGIN { printf "{\"sets\": [{\"name\": \"big\", \"lines\": [";
             for (i = 0; i < 30000; i++)
               printf "%s\"10.%d.%d.%d big-%d.example.test\"", (i ? ", " : ""),
                      int(i / 65536) % 256, int(i / 256) % 256, i % 256, i;
             print "]}]}" }' >/srv/big.json
chmod 0644 /srv/*.json
cp /usr/bin/lantern-wharf /srv/lantern-wharf-copy

# --- Who is served ---------------------------------------------------------
expect "a member's apply is done" "0 done" "$(outcome as_user alice lantern-wharf apply /srv/work.json)"
expect "the hosts file is the preview's" "same" \
  "$(lantern-wharf preview --hosts /srv/original /srv/work.json | cmp -s - /etc/hosts && echo same)"
expect "the socket started the helper" "active" "$(systemctl is-active "$UNIT")"
refused="3 lantern-wharf: the helper refused to serve this program"
# The first words of an outcome, as far as the refusal's.
first_words() { head -c "${#refused}"; }
# Anyone may connect; polkit decides about those outside the group. bob has
# no session and no agent: polkit says no, and the client says what to do.
bob=$(outcome as_user bob lantern-wharf flush)
expect "a non-member with no agent is refused" "$refused" "$(first_words <<<"$bob")"
expect "the refused non-member is told what to do" "yes" \
  "$(grep -q "usermod -aG $GROUP" <<<"$bob" && echo yes)"
expect "the journal names polkit's refusal, the action and the uid" "yes" \
  "$(helper_journal | grep -q "refused to serve: polkit refused the action org.lanternwharf.kit.manage-hosts for uid $(id -u bob)" && echo yes)"
expect "a copy of the client is refused" "$refused" \
  "$(outcome as_user alice /srv/lantern-wharf-copy flush | first_words)"
# An administrator's rule of their own lets carol through, without a prompt.
mkdir -p /etc/polkit-1/rules.d
# dave, by the same rules, needs an administrator's password wherever he is.
cat >/etc/polkit-1/rules.d/50-lantern-wharf-test.rules <<'RULES'
polkit.addRule(function(action, subject) {
  if (action.id == "org.lanternwharf.kit.manage-hosts" && subject.user == "carol") {
    return polkit.Result.YES;
  }
  if (action.id == "org.lanternwharf.kit.manage-hosts" && subject.user == "dave") {
    return polkit.Result.AUTH_ADMIN;
  }
});
RULES
carol=
for _ in $(seq 1 50); do  # polkitd reads a new rules file within a moment
  carol=$(outcome as_user carol lantern-wharf flush)
  [ "$carol" = "0 done" ] && break
  sleep 0.2
done
expect "a non-member whom a rule allows is served" "0 done" "$carol"
# dave runs the client in a terminal that nobody types into: its text agent
# asks for the password, and the decision waits on it.
sleep 60 | script -qfec "runuser -u dave -- lantern-wharf flush" /srv/dave.typescript \
  >/dev/null 2>&1 &
held=$!
asked=no
for _ in $(seq 1 100); do
  if grep -q "Password" /srv/dave.typescript 2>/dev/null; then asked=yes; break; fi
  sleep 0.1
done
expect "dave's agent is asked for a password, and nobody answers" "yes" "$asked"
started=$(date +%s%N)
carol=$(outcome as_user carol lantern-wharf flush)
elapsed=$(( ($(date +%s%N) - started) / 1000000 ))
echo "carol served in $elapsed ms while dave's prompt waits"
expect "carol is served while dave's prompt waits" "0 done" "$carol"
expect "carol is served within two seconds" "yes" "$([ "$elapsed" -lt 2000 ] && echo yes || echo no)"
dave=$(outcome as_user dave lantern-wharf flush)
expect "dave's next request is told to ask again, not refused" "5" "${dave%% *}"
expect "and is told so in words of its own" "yes" \
  "$(grep -q "ask again in a moment" <<<"$dave" && echo yes)"
kill "$held" 2>/dev/null || true
pkill -u dave || true
wait "$held" 2>/dev/null || true
expect "bob is still refused" "$refused" "$(outcome as_user bob lantern-wharf flush | first_words)"
# With polkit gone, no one outside the group is served, and the journal says why.
systemctl mask --now polkit.service >/dev/null 2>&1
expect "polkit is stopped" "inactive" "$(systemctl is-active polkit.service)"
expect "without polkit a member is served" "0 done" "$(outcome as_user alice lantern-wharf flush)"
expect "without polkit root is served" "0 done" "$(outcome lantern-wharf flush)"
expect "without polkit the allowed non-member is refused" "$refused" \
  "$(outcome as_user carol lantern-wharf flush | first_words)"
expect "the journal says polkit could not be asked" "yes" \
  "$(helper_journal | grep -q "for uid $(id -u carol): polkit could not be asked: " && echo yes)"
systemctl unmask polkit.service >/dev/null 2>&1
# resolvectl reaches systemd-resolved over D-Bus, and nscd its own socket,
# from inside the unit's restrictions; a command that fails fails the flush.
expect "both name caches are running" "active active" \
  "$(systemctl is-active systemd-resolved nscd | tr '\n' ' ' | sed 's/ $//')"
expect "a member's flush is done" "0 done" "$(outcome as_user alice lantern-wharf flush)"
expect "the helper dropped the caches" "dropped the name caches" \
  "$(helper_journal | grep -o 'dropped the name caches' | tail -1)"

# --- The desktop application ----------------------------------------------------
if [ -e "$DESKTOP_DEB" ]; then
  cat >/srv/window.py <<'EOF'
# window.py PROGRAM SET: starts PROGRAM, the desktop application, and drives
# it over AT-SPI as a person would: chooses SET with a click, switches it on
# with Space, reviews the change and applies it. Prints "answered" once the
# helper has answered; at the first step that does not come in time, a FAIL
# line instead.
import subprocess, sys, time
import gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib

program, name = sys.argv[1:]
Role, State = Atspi.Role, Atspi.StateType

def nodes(node):  # every node but a table's cells, which grow with the lines
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is not None:
            yield child
            if child.get_role() != Role.TABLE:
                yield from nodes(child)

def wait(step, probe, seconds=5):
    end = time.monotonic() + seconds
    while True:
        try:
            found = probe()
        except GLib.Error:
            found = None
        if found:
            return found
        if time.monotonic() > end:
            print(f"FAIL: {step}, not within {seconds} s")
            sys.exit(1)
        time.sleep(0.1)

def find(role, start, state=State.SHOWING):
    return next((n for n in nodes(app) if n.get_role() == role and n.get_name().startswith(start)
                 and n.get_state_set().contains(state)), None)

def press(node):
    node.do_action([node.get_action_name(i) for i in range(node.get_n_actions())].index("Press"))

window = subprocess.Popen([program])
try:
    desktop = Atspi.get_desktop(0)
    app = wait("the window shows on the desktop", lambda: next(
        (a for a in map(desktop.get_child_at_index, range(desktop.get_child_count()))
         if a is not None and a.get_process_id() == window.pid), None), 10)
    row = wait(f"the set {name} is listed, off", lambda: find(Role.LIST_ITEM, f"{name}, off,"))
    box = row.get_extents(Atspi.CoordType.SCREEN)
    Atspi.generate_mouse_event(box.x + box.width // 3, box.y + box.height // 2, "b1c")
    wait(f"the set {name} is chosen", lambda: find(Role.LIST_ITEM, f"{name}, off,", State.SELECTED))
    Atspi.generate_keyboard_event(0x20, None, Atspi.KeySynthType.SYM)  # XK_space
    wait(f"the set {name} is switched on", lambda: find(Role.LIST_ITEM, f"{name}, on,"))
    press(wait("Review and apply is offered", lambda: find(
        Role.PUSH_BUTTON, "Review the change to /etc/hosts and apply it", State.ENABLED)))
    press(wait("the diff is shown with its Apply", lambda: find(Role.PUSH_BUTTON, "Apply the change")))
    # The diff closes as the window starts asking; it is busy until the answer.
    wait("the diff closes", lambda: not find(Role.PUSH_BUTTON, "Apply the change"))
    wait("the helper answers", lambda: not find(Role.PROGRESS_BAR, "Asking the helper"), 10)
    print("answered")
finally:
    window.terminate()
    window.wait(5)
EOF
  # window PROGRAM SET: alice switches SET on in PROGRAM's window and applies
  # it. The X server must not reset when its last client leaves: AT-SPI's
  # library connects and leaves while the window connects.
  window() {
    as_user alice env HOME=/tmp QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
      timeout 60 xvfb-run -a -s '-screen 0 1280x1024x24 -noreset' -e /dev/stderr \
      dbus-run-session -- /usr/bin/python3 /srv/window.py "$@" 2>>/srv/window.log | tail -1
  }
  install -o alice -m 0644 /dev/null /srv/window.log
  desk='^10\.0\.0\.9[[:space:]]+desk\.test$'
  expect "a set is added, switched off" "0 done" \
    "$(outcome as_user alice lantern-wharf add --off desk '10.0.0.9 desk.test')"
  expect "the window switches it on and applies the change" "answered" \
    "$(window /usr/bin/lantern-wharf-desktop desk)"
  expect "the line is on in /etc/hosts" "on" "$(grep -qE "$desk" /etc/hosts && echo on)"
  expect "the helper's newest backup records the window's change" 'changed "desk"' \
    "$(as_user alice lantern-wharf history | head -1 | cut -f3)"
  cp /usr/bin/lantern-wharf-desktop /srv/lantern-wharf-desktop-copy
  as_user alice lantern-wharf disable desk >/dev/null
  expect "a copy of the window asks the helper" "answered" "$(window /srv/lantern-wharf-desktop-copy desk)"
  expect "and is refused" "yes" \
    "$(helper_journal | grep -q 'runs /srv/lantern-wharf-desktop-copy, not the client' && echo yes)"
  expect "the line stays off" "off" "$(grep -qE "$desk" /etc/hosts && echo on || echo off)"
fi

# --- The restrictions, in effect on the running helper ----------------------
pid=$(main_pid)
status_of() { awk -v key="$1:" '$1 == key { print $2 }' "/proc/$pid/status"; }
expect "no new privileges" "1" "$(status_of NoNewPrivs)"
expect "a system-call filter" "2" "$(status_of Seccomp)"
expect "the capability bounding set" "$CAPABILITY_MASK" "$(status_of CapBnd)"
expect "effective capabilities" "$CAPABILITY_MASK" "$(status_of CapEff)"
mount_options() { awk -v at="$1" '$5 == at { split($6, o, ","); print o[1] }' "/proc/$pid/mountinfo" | tail -1; }
expect "/ is read-only" "ro" "$(mount_options /)"
expect "/etc is writable" "rw" "$(mount_options /etc)"
expect "/var/db is writable" "rw" "$(mount_options /var/db)"
expect "/run is read-only" "ro" "$(mount_options /run)"
expect "/home is hidden" "yes" "$([ -z "$(ls -A "/proc/$pid/root/home" 2>/dev/null)" ] && echo yes)"
expect "/tmp is private" "yes" \
  "$([ "$(stat -c %i "/proc/$pid/root/tmp")" != "$(stat -c %i /tmp)" ] && echo yes)"
expect "no real devices" "absent" "$([ -e "/proc/$pid/root/dev/net/tun" ] && echo present || echo absent)"
expect "/proc shows processes only" "absent" \
  "$([ -e "/proc/$pid/root/proc/sys/kernel" ] && echo present || echo absent)"
expect "remove-everything is done" "0 done" "$(outcome as_user alice lantern-wharf remove-everything)"
expect "the file is back as it was" "same" "$(cmp -s /srv/original /etc/hosts && echo same)"
expect "the store is gone" "gone" "$([ -e "$STORE" ] && echo there || echo gone)"

# --- Each capability kept is needed ------------------------------------------
mkdir -p "/run/systemd/system/$UNIT.d"
printf '[Service]\nCapabilityBoundingSet=\n' >"/run/systemd/system/$UNIT.d/no-capabilities.conf"
systemctl daemon-reload
systemctl stop "$UNIT"
expect "without CAP_SYS_PTRACE a member is refused" "$refused" \
  "$(outcome as_user alice lantern-wharf flush | first_words)"
expect "without CAP_SYS_PTRACE root is refused too" "$refused" \
  "$(outcome lantern-wharf flush | first_words)"
rm "/run/systemd/system/$UNIT.d/no-capabilities.conf"
systemctl daemon-reload
systemctl stop "$UNIT"

# --- A stop during a large apply ------------------------------------------------
expect "the helper is stopped" "inactive" "$(systemctl is-active "$UNIT")"
as_user alice lantern-wharf apply /srv/big.json >/srv/big.out 2>&1 &
client=$!
caught=no
for _ in $(seq 1 200000); do
  if compgen -G "/etc/hosts.lantern-wharf-*" >/dev/null; then caught=yes; break; fi
  kill -0 "$client" 2>/dev/null || break
done
systemctl stop "$UNIT"
client_status=0
wait "$client" || client_status=$?
echo "stopped while writing: $caught"
expect "the apply under way when the stop came is done" "0 done" "$client_status $(cat /srv/big.out)"
expect "the helper ended with status 0" "success 0" \
  "$(systemctl show -p Result --value "$UNIT") $(systemctl show -p ExecMainStatus --value "$UNIT")"
expect "the hosts file is the large set's" "same" \
  "$(lantern-wharf preview --hosts /srv/original /srv/big.json | cmp -s - /etc/hosts && echo same)"
expect "no temporary file is left" "" "$(compgen -G '/etc/hosts.*' || true)"
expect "the socket listens on" "active" "$(systemctl is-active lantern-wharf-helper.socket)"
expect "the next connection starts the helper again" "0 done" \
  "$(outcome as_user alice lantern-wharf flush)"

exposure=$(systemd-analyze security --no-pager "$UNIT" 2>/dev/null | tail -1)
echo "exposure: $exposure"
score=$(grep -oE '[0-9]+\.[0-9]+' <<<"$exposure" | head -1)
expect "the exposure score is at most 1.8" "yes" \
  "$(awk -v s="${score:-99}" 'BEGIN { print (s <= 1.8 ? "yes" : "no") }')"

# --- Removing the package ------------------------------------------------------
cp /etc/hosts /srv/before-removal
if [ -e "$DESKTOP_DEB" ]; then
  expect "the desktop package is removed" "0" "$(dpkg -r lantern-wharf-desktop >>/srv/dpkg.log 2>&1; echo $?)"
fi
expect "the package is removed" "0" "$(dpkg -r lantern-wharf-kit >>/srv/dpkg.log 2>&1; echo $?)"
expect "the socket is stopped" "inactive" "$(systemctl is-active lantern-wharf-helper.socket)"
expect "the helper is stopped" "inactive" "$(systemctl is-active "$UNIT")"
expect "the hosts file is untouched" "same" "$(cmp -s /srv/before-removal /etc/hosts && echo same)"
expect "the store is kept" "there" "$([ -e "$STORE/before-first-apply" ] && echo there)"
expect "the package is purged" "0" "$(dpkg --purge lantern-wharf-kit >>/srv/dpkg.log 2>&1; echo $?)"
expect "nothing is left enabled" "" \
  "$(find /etc/systemd/system -name 'lantern-wharf-helper*' 2>/dev/null)"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed; dpkg said:"
  cat /srv/dpkg.log
  helper_journal | tail -20
  [ ! -e /srv/window.log ] || tail -20 /srv/window.log
  exit 1
fi
