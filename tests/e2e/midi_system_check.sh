#!/bin/sh
# The MIDI system on a PipeWire desktop, with the real program and a real
# PipeWire (scripts/with-sound-server.sh pipewire): with no JACK server and
# no ALSA sequencer, the bridge uses PipeWire's JACK library by itself and
# lists and opens a JACK peer's port; without PipeWire, each system it tried
# is named with the reason, and no device is promised to appear.
#   midi_system_check.sh PROGRAM
# Exit 77 (skipped) where the machine lacks the parts.
set -u
program=$1
# The program starts a mixer server where none runs; on the suite's shared bus
# that server would outlive this check and hold the name the next tests take.
# A bus of its own ends with the check, and its server with it.
if [ -z "${VANTREL_CHECK_OWN_BUS:-}" ] && command -v dbus-run-session >/dev/null; then
  VANTREL_CHECK_OWN_BUS=1 exec dbus-run-session -- sh "$0" "$@"
fi
[ "${VANTREL_TEST_SOUND_SERVER:-}" = pipewire ] || { echo "needs with-sound-server.sh pipewire"; exit 77; }
[ -e /dev/snd/seq ] && { echo "this machine has an ALSA sequencer, which the bridge prefers"; exit 77; }
command -v pw-jack >/dev/null && command -v jack_midiseq >/dev/null ||
  { echo "needs pw-jack (pipewire-jack) and jack_midiseq (jackd2)"; exit 77; }

work=$(mktemp -d "${TMPDIR:-/tmp}/vantrel-midi-system.XXXXXX")
peer=""
bridge=""
cleanup() {
  for pid in $bridge $peer; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
# Waits up to 20 s for a pattern in a file.
wait_for() {
  tries=0
  until grep -qs "$1" "$2"; do
    tries=$((tries + 1))
    [ "$tries" -le 400 ] || fail "no \"$1\" in $2: $(cat "$2")"
    sleep 0.05
  done
}

# No JACK server under this name: only PipeWire can serve JACK clients.
export JACK_DEFAULT_SERVER="vantrel-absent-$$"
pw-jack jack_midiseq VantrelPeer 24000 0 60 8000 >"$work/peer.log" 2>&1 &
peer=$!
tries=0
until pw-jack jack_lsp 2>/dev/null | grep -qx "VantrelPeer:out"; do
  tries=$((tries + 1))
  [ "$tries" -le 400 ] || fail "the PipeWire JACK peer did not appear: $(cat "$work/peer.log")"
  sleep 0.05
done

"$program" --list-midi >"$work/list" 2>"$work/list.err" || fail "--list-midi failed: $(cat "$work/list.err")"
grep -qx "MIDI system: jack, served by PipeWire through its JACK library" "$work/list" ||
  fail "--list-midi did not use PipeWire's JACK library: $(cat "$work/list")"
grep -qx "  0  VantrelPeer:out" "$work/list" || fail "--list-midi did not list the peer: $(cat "$work/list")"
echo "ok: --list-midi without pw-jack lists the peer through PipeWire"

cat >"$work/profile.INI" <<PROFILE
[Midi Options]
DefaultMidiIn=0
DefaultMidiInName=VantrelPeer:out
PROFILE
"$program" --headless --profile "$work/profile.INI" >"$work/headless" 2>&1 &
bridge=$!
wait_for "^Running" "$work/headless"
grep -qx "MIDI system: jack, served by PipeWire through its JACK library" "$work/headless" ||
  fail "headless did not use PipeWire's JACK library: $(cat "$work/headless")"
grep -qx "MIDI input: opened device 0 (VantrelPeer:out)" "$work/headless" ||
  fail "headless did not open the peer: $(cat "$work/headless")"
kill "$bridge"
wait "$bridge"
bridge=""
echo "ok: headless without pw-jack opens the peer through PipeWire"

# Neither PipeWire nor a JACK server nor a sequencer: every system is named
# with its reason, and the saved device is not promised.
for forced in "" "--midi-api jack"; do
  # The last run's "Running" must not answer for this one before it starts.
  rm -f "$work/none.out" "$work/none.err"
  PIPEWIRE_RUNTIME_DIR="$work/none" XDG_RUNTIME_DIR="$work/none" \
    "$program" --headless $forced --profile "$work/profile.INI" >"$work/none.out" 2>"$work/none.err" &
  bridge=$!
  wait_for "^Running" "$work/none.out"
  kill "$bridge"
  wait "$bridge"
  bridge=""
  if [ -z "$forced" ]; then
    grep -q "^MIDI system alsa: unavailable, /dev/snd/seq cannot be opened" "$work/none.out" ||
      fail "no reason for ALSA: $(cat "$work/none.out")"
  fi
  grep -qx "MIDI system jack: unavailable, no JACK server runs." "$work/none.out" ||
    fail "no reason for JACK ($forced): $(cat "$work/none.out")"
  grep -qx "MIDI system: none" "$work/none.out" || fail "no system line ($forced): $(cat "$work/none.out")"
  grep -q "^MIDI input: cannot open device 0" "$work/none.out" ||
    fail "no input line ($forced): $(cat "$work/none.out")"
  grep -q "when it appears" "$work/none.out" &&
    fail "a device is promised without a MIDI system ($forced): $(cat "$work/none.out")"
  grep -qi "jack" "$work/none.err" && fail "JACK is explained on stderr ($forced): $(cat "$work/none.err")"
done
echo "ok: without any MIDI system each one tried is named with its reason"
