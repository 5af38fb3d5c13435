#!/bin/sh
# The real program's window on a real X server (Xvfb): its title is the
# template's caption alone, and it carries the program's icon
# (_NET_WM_ICON), which a desktop shows in its task bar and title bar.
#   window_x11_check.sh PROGRAM
# Exit 77 (skipped) without Xvfb, xwininfo and xprop.
set -u
program=$1
for tool in Xvfb xwininfo xprop; do
  command -v "$tool" >/dev/null || { echo "needs $tool"; exit 77; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/vantrel-x11.XXXXXX")
bridge=""
xvfb=""
cleanup() {
  [ -n "$bridge" ] && kill "$bridge" 2>/dev/null && wait "$bridge" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The X server picks a free display itself and names it once it takes
# connections (xvfb-run -a guesses one, and two runs at once can both
# take the same).
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
read -r number <"$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$number"

# A property of the window once it is set and says what `wanted` (a case
# pattern) says, else as it is after 20 s.
property() {
  tries=0
  while :; do
    value=$(xprop -id "$window" "$1" 2>/dev/null)
    # shellcheck disable=SC2254
    case "$value" in
    *"not found"* | "") ;;
    $2) break ;;
    esac
    tries=$((tries + 1))
    [ "$tries" -le 400 ] || break
    sleep 0.05
  done
  echo "$value"
}

# No bus: no mixer server is started on anyone's behalf.
QT_QPA_PLATFORM=xcb DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent \
  "$program" --no-mixer-warning --midi-api alsa --profile "$work/vantrel.INI" \
  >"$work/out" 2>&1 &
bridge=$!
tries=0
window=""
while [ -z "$window" ]; do
  tries=$((tries + 1))
  [ "$tries" -le 400 ] || fail "no window appeared: $(cat "$work/out")"
  kill -0 "$bridge" 2>/dev/null || fail "the program ended: $(cat "$work/out") (X server on $DISPLAY, $(kill -0 "$xvfb" 2>/dev/null && echo running || echo gone): $(cat "$work/xvfb.log"))"
  sleep 0.05
  # The top-level window of class vantrel (Qt's helper windows have none).
  window=$(xwininfo -root -children 2>/dev/null | awk '/\("vantrel" "vantrel"\)/ {print $1; exit}')
done

# The window may be listed before its title and icon are set on it.
name=$(property _NET_WM_NAME '*"Vantrel v0.5a"' | sed 's/^[^=]*= //')
[ "$name" = '"Vantrel v0.5a"' ] || fail "the window's title is $name, not \"Vantrel v0.5a\""
echo "ok: the title is $name"
icon=$(property _NET_WM_ICON '*' | head -c 200)
case "$icon" in
*"not found"* | "") fail "the window has no icon: $icon" ;;
esac
echo "ok: the window has an icon (_NET_WM_ICON)"
