#!/bin/sh
# The real program's window on a real X server (Xvfb): its title is the
# template's caption alone, and it carries the program's icon
# (_NET_WM_ICON), which a desktop shows in its task bar and title bar.
#   window_x11_check.sh PROGRAM
# Exit 77 (skipped) without xvfb-run, xwininfo and xprop.
set -u
program=$1
for tool in xvfb-run xwininfo xprop; do
  command -v "$tool" >/dev/null || { echo "needs $tool"; exit 77; }
done
if [ "${1:-}" != "--in-x" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" sh "$0" --in-x "$program"
fi
program=$2

work=$(mktemp -d "${TMPDIR:-/tmp}/vantrel-x11.XXXXXX")
bridge=""
cleanup() {
  [ -n "$bridge" ] && kill "$bridge" 2>/dev/null && wait "$bridge" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
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
  kill -0 "$bridge" 2>/dev/null || fail "the program ended: $(cat "$work/out")"
  sleep 0.05
  # The top-level window of class vantrel (Qt's helper windows have none).
  window=$(xwininfo -root -children 2>/dev/null | awk '/\("vantrel" "vantrel"\)/ {print $1; exit}')
done

name=$(xprop -id "$window" _NET_WM_NAME | sed 's/^[^=]*= //')
[ "$name" = '"Vantrel v0.5a"' ] || fail "the window's title is $name, not \"Vantrel v0.5a\""
echo "ok: the title is $name"
icon=$(xprop -id "$window" _NET_WM_ICON | head -c 200)
case "$icon" in
*"not found"* | "") fail "the window has no icon: $icon" ;;
esac
echo "ok: the window has an icon (_NET_WM_ICON)"
