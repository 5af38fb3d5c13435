#!/bin/sh
# Installs what is missing, builds the program and the mixer server, and
# starts Vantrel. Arguments go to the program (see --help).
set -eu
cd "$(dirname "$0")/.."
# Only what building and running need: no sound server, JACK server or test tool.
./scripts/install-deps.sh build
cmake -S . -B build -DVANTREL_BUILD_TESTS=OFF -DVANTREL_BUILD_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)" --target vantrel vantrel-mixerd vantrel-mixerctl
# Without a display the window cannot open; say how to run the bridge anyway.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  case " $* " in
    *" --headless "*) ;;
    *) echo "No display found: starting the bridge without a window (--headless)." >&2
       set -- --headless "$@" ;;
  esac
fi
# The session bus carries the mixer service; start a private one if there is none.
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ] && [ ! -S "${XDG_RUNTIME_DIR:-/nonexistent}/bus" ]; then
  ./scripts/install-deps.sh session-bus
  exec dbus-run-session -- ./build/bin/vantrel "$@"
fi
exec ./build/bin/vantrel "$@"
