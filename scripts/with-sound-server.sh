#!/bin/sh
# Runs a command with a private sound server, for the mixer back-end tests:
#   with-sound-server.sh pulseaudio|pipewire COMMAND [ARG...]
# pulseaudio: a PulseAudio daemon; pipewire: PipeWire with WirePlumber and
# pipewire-pulse. Either way the server speaks the PulseAudio protocol in a
# runtime folder of its own and has a null sink "vantrel_out" (the default
# sink) and two null sources "vantrel_in_a" (the default source) and
# "vantrel_in_b". Needs a session bus for PipeWire (run it inside
# with-test-services.sh). The server is stopped afterwards, whatever the
# command did.
set -u

kind=${1:-}
[ $# -ge 2 ] || { echo "usage: with-sound-server.sh pulseaudio|pipewire COMMAND..." >&2; exit 2; }
shift

work=$(mktemp -d "${TMPDIR:-/tmp}/vantrel-sound.XXXXXX")
pids=""
cleanup() {
  for pid in $pids; do kill "$pid" 2>/dev/null; done
  for pid in $pids; do wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# wait_for WHAT COMMAND...: runs COMMAND every 50 ms until it succeeds; after
# 200 tries (10 s) gives up, saying what it waited for, the command's last
# words and the servers' logs.
wait_for() {
  what=$1
  shift
  tries=0
  until out=$("$@" 2>&1); do
    tries=$((tries + 1))
    if [ "$tries" -gt 200 ]; then
      echo "with-sound-server.sh: gave up waiting for $what: $out" >&2
      cat "$work"/*.log >&2
      exit 1
    fi
    sleep 0.05
  done
}

export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_RUNTIME_DIR" "$work/home"
chmod 700 "$XDG_RUNTIME_DIR"
export PULSE_SERVER="unix:$XDG_RUNTIME_DIR/pulse/native"
# The server's own files (cookie, stream memory) stay in the throw-away folder.
export PULSE_COOKIE="$work/cookie"
export PULSE_STATE_PATH="$work/pulse-state"
export PULSE_RUNTIME_PATH="$XDG_RUNTIME_DIR/pulse"

case "$kind" in
pulseaudio)
  HOME="$work/home" pulseaudio -n -F /dev/null --exit-idle-time=-1 --daemonize=no \
    --use-pid-file=no --disallow-exit=no -L module-native-protocol-unix \
    -L "module-null-sink sink_name=vantrel_out" \
    -L "module-null-source source_name=vantrel_in_a" \
    -L "module-null-source source_name=vantrel_in_b" >"$work/server.log" 2>&1 &
  pids="$!"
  ;;
pipewire)
  # As root and without a desktop: no realtime portal, no logind, no D-Bus
  # activation beyond the private session bus.
  export PIPEWIRE_RUNTIME_DIR="$XDG_RUNTIME_DIR"
  HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" \
    pipewire >"$work/server.log" 2>&1 &
  pids="$!"
  # WirePlumber and pipewire-pulse give up when PipeWire is not there yet.
  wait_for "PipeWire to start" test -S "$XDG_RUNTIME_DIR/pipewire-0"
  HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" \
    wireplumber >"$work/wireplumber.log" 2>&1 &
  pids="$pids $!"
  HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" \
    pipewire-pulse >"$work/pipewire-pulse.log" 2>&1 &
  pids="$pids $!"
  ;;
*)
  echo "with-sound-server.sh: unknown server \"$kind\" (pulseaudio or pipewire)" >&2
  exit 2
  ;;
esac

wait_for "the private $kind server to answer" pactl info

# A server that has just started to answer may still refuse a request for a
# moment ("Not supported" while PipeWire sets up): each step is tried again.
retry() {
  wait_for "\"$*\" to succeed" "$@"
}

if [ "$kind" = pipewire ]; then
  retry pactl load-module module-null-sink sink_name=vantrel_out
  retry pactl load-module module-null-sink sink_name=vantrel_in_a media.class=Audio/Source/Virtual
  retry pactl load-module module-null-sink sink_name=vantrel_in_b media.class=Audio/Source/Virtual
  # The devices appear asynchronously in PipeWire.
  retry sh -c 'pactl list short sources | grep -q vantrel_in_b'
fi
retry pactl set-default-sink vantrel_out
retry pactl set-default-source vantrel_in_a
export VANTREL_TEST_SOUND_SERVER="$kind"

"$@"
status=$?
# A failure may come from the servers: whether each still ran, and the end
# of what each said.
if [ "$status" -ne 0 ]; then
  for pid in $pids; do
    kill -0 "$pid" 2>/dev/null || echo "with-sound-server.sh: server process $pid had ended" >&2
  done
  for log in "$work"/*.log; do
    echo "--- end of $(basename "$log")" >&2
    tail -n 30 "$log" >&2
  done
fi
exit "$status"
