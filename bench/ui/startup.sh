#!/bin/sh
# Start-up time and peak memory of vantrel's window (bench_ui_startup: the
# program with a main that closes it once its first page is on screen)
# against a minimal Qt Widgets program, both on the offscreen platform, N
# runs each (default 15), interleaved. Prints the median time, the median
# peak RSS and the ratios. Runs inside the test services, so a mixer server
# and a JACK server are there as on a desktop:
#   scripts/with-test-services.sh bench/ui/startup.sh [BUILD_DIR] [N] [VANTREL_OPTIONS...]
# (for example --midi-api alsa on a machine without an ALSA sequencer, to
# leave the MIDI system's own start-up cost out).
#
# As root, the numbers are not a desktop user's: libjack locks its shared
# memory when the process may lock memory without limit. For a user's view:
#   bench/ui/startup.sh --unprivileged [BUILD_DIR] [N] [VANTREL_OPTIONS...]
# runs the same, test services included, as the user vantrel-bench (created
# with useradd when missing: no home, no login shell). The build folder must
# be readable by that user.
set -eu
if [ "${1:-}" = "--unprivileged" ]; then
  shift
  [ "$(id -u)" -eq 0 ] || { echo "--unprivileged needs root (to switch to vantrel-bench)" >&2; exit 1; }
  id vantrel-bench >/dev/null 2>&1 ||
    useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin vantrel-bench
  root=$(cd "$(dirname "$0")/../.." && pwd)
  build=$(cd "${1:-build}" && pwd)
  [ $# -ge 1 ] && shift
  cd /
  exec runuser -u vantrel-bench -- "$root/scripts/with-test-services.sh" \
    "$root/bench/ui/startup.sh" "$build" "$@"
fi
build=${1:-build}
runs=${2:-15}
[ $# -ge 2 ] && shift 2 || shift $#
bin="$build/bin"
for p in "$bin/bench_ui_startup" "$bin/bench_ui_minimal"; do
  [ -x "$p" ] || { echo "missing $p: build the targets bench_ui_startup and bench_ui_minimal" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen

measure() { # name, then the command
  name=$1
  shift
  VANTREL_BENCH_START_NS=$(date +%s%N) /usr/bin/time -f "rss_kb %M" -o "$work/time" "$@" \
    >"$work/out" 2>"$work/err" || { cat "$work/err" >&2; exit 1; }
  ms=$(sed -n 's/^first page shown after \([0-9.]*\) ms$/\1/p' "$work/out")
  kb=$(sed -n 's/^rss_kb //p' "$work/time")
  echo "$ms" >>"$work/$name.ms"
  echo "$kb" >>"$work/$name.kb"
}

median() { sort -n "$1" | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

i=0
while [ "$i" -lt "$runs" ]; do
  measure minimal "$bin/bench_ui_minimal"
  measure fitted "$bin/bench_ui_minimal" --fit-text
  measure vantrel "$bin/bench_ui_startup" --no-mixer-warning --profile "$work/vantrel.INI" "$@"
  i=$((i + 1))
done

vm=$(median "$work/vantrel.ms"); mm=$(median "$work/minimal.ms"); fm=$(median "$work/fitted.ms")
vk=$(median "$work/vantrel.kb"); mk=$(median "$work/minimal.kb")
echo "runs: $runs each, as $(id -un)"
echo "minimal Qt window: first window shown after $mm ms (median), peak RSS $((mk / 1024)) MB"
echo "  sized from its text (fonts set up first): $fm ms"
echo "vantrel:           first page shown after $vm ms (median), peak RSS $((vk / 1024)) MB"
awk -v a="$vm" -v b="$mm" -v c="$vk" -v d="$mk" \
  'BEGIN {printf "ratio: time %.2fx, memory %.2fx (aim: time within 1.5x, memory under 60 MB)\n", a / b, c / d}'
