#!/bin/sh
# Installs the Debian package on this machine and checks the installed
# result: the validators pass on the installed metadata, the programs run
# from /usr/bin, the session bus starts the mixer server from the installed
# service file, the bridge without a window starts and stops on SIGTERM, and
# removing the package leaves none of its files behind.
#   ./scripts/install-test.sh [BUILD_DIR]      (as root; CI runs it)
# BUILD_DIR (default build) is packaged as it is configured and built.
# The package must not be installed already: the test removes it again.
set -eu
cd "$(dirname "$0")/.."

fail() {
  echo "install-test: $*" >&2
  exit 1
}

# The checks that need the session bus run inside dbus-run-session, on a bus
# with the standard session configuration, whose service folders include
# /usr/share/dbus-1/services.
if [ "${1:-}" = "--in-session" ]; then
  work=$2
  [ "$(command -v vantrel)" = /usr/bin/vantrel ] || fail "vantrel is not the installed /usr/bin/vantrel"
  vantrel --help | grep -q "^Usage: vantrel" || fail "vantrel --help printed no usage"
  vantrel-mixerd --help | grep -q "^Usage: vantrel-mixerd" || fail "vantrel-mixerd --help printed no usage"

  vantrel-mixerctl dump >"$work/dump" || fail "vantrel-mixerctl dump failed"
  grep -q "^master left " "$work/dump" || fail "the dump has no master line: $(cat "$work/dump")"
  server=$(dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.GetConnectionUnixProcessID string:org.vantrel.Mixer | awk '/uint32/ {print $2}')
  [ -n "$server" ] || fail "nobody owns org.vantrel.Mixer after the dump"
  [ "$(readlink "/proc/$server/exe")" = /usr/bin/vantrel-mixerd ] ||
    fail "the bus started $(readlink "/proc/$server/exe"), not /usr/bin/vantrel-mixerd"

  # No MIDI system is needed: the bridge then passes nothing through but runs.
  vantrel --headless >"$work/headless" 2>&1 &
  bridge=$!
  tries=0
  until grep -q "^Running" "$work/headless"; do
    tries=$((tries + 1))
    [ "$tries" -le 200 ] || { kill "$bridge"; fail "vantrel --headless did not start: $(cat "$work/headless")"; }
    kill -0 "$bridge" 2>/dev/null || fail "vantrel --headless ended at start: $(cat "$work/headless")"
    sleep 0.1
  done
  grep -q "^Mixer: connected" "$work/headless" || fail "the bridge found no mixer: $(cat "$work/headless")"
  kill -TERM "$bridge"
  status=0
  wait "$bridge" || status=$?
  [ "$status" -eq 0 ] || fail "vantrel --headless ended with $status on SIGTERM: $(cat "$work/headless")"
  grep -q "^Stopped." "$work/headless" || fail "the bridge did not stop in order: $(cat "$work/headless")"

  kill -TERM "$server"
  while kill -0 "$server" 2>/dev/null; do sleep 0.1; done
  exit 0
fi

[ "$(id -u)" -eq 0 ] || fail "run it as root: it installs and removes a package"
if dpkg-query -W -f='${Status}' vantrel 2>/dev/null | grep -q "ok installed"; then
  fail "the vantrel package is installed already; remove it first"
fi

deb=$(./scripts/package.sh "${1:-build}" | tail -n 1)
work=$(mktemp -d "${TMPDIR:-/tmp}/vantrel-install.XXXXXX")
installed=no
cleanup() {
  [ "$installed" = yes ] && dpkg -r vantrel >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

echo "install-test: installing $deb"
env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$(realpath "$deb")" \
  >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; fail "apt-get install failed"; }
installed=yes
dpkg -L vantrel >"$work/files"

desktop-file-validate /usr/share/applications/vantrel.desktop || fail "desktop-file-validate failed"
appstreamcli validate --no-net /usr/share/metainfo/org.vantrel.Vantrel.metainfo.xml >"$work/as.log" 2>&1 ||
  { cat "$work/as.log" >&2; fail "appstreamcli validate failed"; }
grep -qx "Exec=/usr/bin/vantrel-mixerd" /usr/share/dbus-1/services/org.vantrel.Mixer.service ||
  fail "the D-Bus service file does not name /usr/bin/vantrel-mixerd"
grep -qx "ExecStart=/usr/bin/vantrel --headless" /usr/lib/systemd/user/vantrel-headless.service ||
  fail "the user service does not run /usr/bin/vantrel --headless"
# Unit syntax, and that the program it names exists (man pages may be left
# out of minimal systems, so their look-up is not checked).
systemd-analyze verify --man=no /usr/lib/systemd/user/vantrel-headless.service ||
  fail "systemd-analyze verify found faults in the user service"

mkdir -p "$work/home" "$work/config" "$work/state" "$work/runtime"
chmod 700 "$work/runtime"
# A clean session: its own folders, the standard data folders (so the bus
# reads /usr/share/dbus-1/services), no display, and no JACK server started
# on the bridge's behalf.
env -u DISPLAY -u WAYLAND_DISPLAY -u DBUS_SESSION_BUS_ADDRESS -u JACK_DEFAULT_SERVER \
  -u XDG_DATA_DIRS -u XDG_DATA_HOME \
  HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" \
  XDG_RUNTIME_DIR="$work/runtime" JACK_NO_START_SERVER=1 \
  dbus-run-session -- "$0" --in-session "$work" || fail "the installed programs failed (see above)"

dpkg -r vantrel >"$work/remove.log" 2>&1 || { cat "$work/remove.log" >&2; fail "dpkg -r failed"; }
installed=no
left=""
while IFS= read -r path; do
  if [ -d "$path" ]; then
    # A folder may stay only while another package owns it.
    dpkg -S "$path" >/dev/null 2>&1 || left="$left $path"
  elif [ -e "$path" ] || [ -L "$path" ]; then
    left="$left $path"
  fi
done <"$work/files"
[ -z "$left" ] || fail "left behind after dpkg -r:$left"
echo "install-test: the package installs, runs from /usr/bin, activates the mixer server and removes cleanly"
