#!/bin/sh
# Runs a command with a private D-Bus session bus and a private JACK server
# (dummy driver, unique name), and with throw-away config and state folders,
# so tests never touch the user's own profile, bus or JACK server. Both
# services are stopped afterwards, whatever the command did.
set -u

work=$(mktemp -d "${TMPDIR:-/tmp}/vantrel-test.XXXXXX")
dbus_pid=""
jack_pid=""
cleanup() {
  [ -n "$jack_pid" ] && kill "$jack_pid" 2>/dev/null
  [ -n "$dbus_pid" ] && kill "$dbus_pid" 2>/dev/null
  # Any mixer server the tests started on the private bus goes with it.
  [ -n "$jack_pid" ] && wait "$jack_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

export HOME="$work/home"
export XDG_CONFIG_HOME="$work/config"
export XDG_STATE_HOME="$work/state"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_STATE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# Private session bus. Its service folder lets tests check bus activation.
mkdir -p "$work/dbus-services"
cat > "$work/session.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$work</listen>
  <servicedir>$work/dbus-services</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
out=$(dbus-daemon --config-file="$work/session.conf" --fork --print-address=1 --print-pid=1) || {
  echo "with-test-services: cannot start a private D-Bus session bus" >&2; exit 1; }
DBUS_SESSION_BUS_ADDRESS=$(echo "$out" | sed -n 1p)
dbus_pid=$(echo "$out" | sed -n 2p)
export DBUS_SESSION_BUS_ADDRESS
# Tests that stop the bus for a while (SIGSTOP) to try a stalled bus.
export VANTREL_TEST_DBUS_PID="$dbus_pid"
export VANTREL_TEST_DBUS_SERVICE_DIR="$work/dbus-services"

# Private JACK server on the dummy driver; nothing here has sound hardware.
# Synchronous (-S), with a long client timeout: on a busy machine a late
# client then delays the period instead of making other clients read a
# period's events twice or not at all (docs/midi.md), so tests stay exact.
export JACK_DEFAULT_SERVER="vantrel-test-$$"
export JACK_NO_AUDIO_RESERVATION=1
jackd --no-realtime -S -t 5000 -n "$JACK_DEFAULT_SERVER" -d dummy -r 48000 -p 128 \
  >"$work/jackd.log" 2>&1 &
jack_pid=$!
if ! jack_wait -s "$JACK_DEFAULT_SERVER" -w -t 20 >/dev/null 2>&1; then
  echo "with-test-services: the private JACK server did not start:" >&2
  cat "$work/jackd.log" >&2
  exit 1
fi

"$@"
