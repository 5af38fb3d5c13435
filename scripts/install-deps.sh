#!/bin/sh
# Installs the Debian packages one kind of work needs; idempotent (does
# nothing when every package is already present):
#   install-deps.sh [--list] [build|session-bus|package|test]...
# build (the default): the compiler, CMake, pkg-config, scdoc and the -dev
#   libraries, which bring their runtime libraries. Never a sound server, a
#   JACK server or a test tool: on a PipeWire desktop a second sound server
#   would fight pipewire-pulse at the next login.
# session-bus: dbus-daemon, for dbus-run-session where no session bus runs.
# package: build, plus what building the Debian package needs.
# test: package, plus the private servers and the tools the tests use.
# --list prints the packages, one a line, and installs nothing.
set -eu

BUILD="cmake g++ make pkg-config scdoc \
  qt6-base-dev libgl1-mesa-dev \
  librtmidi-dev libjack-jackd2-dev \
  libsdbus-c++-dev libsystemd-dev \
  libpulse-dev libasound2-dev libre2-dev"
SESSION_BUS="dbus-daemon"
PACKAGE="dpkg-dev file"
TEST="git clang-tidy-14 clang-14 clang-format-14 libclang-rt-14-dev \
  googletest libgtest-dev libgmock-dev libbenchmark-dev \
  jackd2 pulseaudio pulseaudio-utils libasound2-plugins \
  pipewire pipewire-bin pipewire-pulse pipewire-jack wireplumber \
  swh-plugins tap-plugins \
  dbus dbus-bin dbus-daemon time \
  appstream desktop-file-utils systemd \
  xvfb xauth x11-utils"

list=no
packages=""
recommends="--no-install-recommends"
[ "${1:-}" = "--list" ] && { list=yes; shift; }
[ $# -eq 0 ] && set -- build
for kind in "$@"; do
  case "$kind" in
  build) packages="$packages $BUILD" ;;
  session-bus) packages="$packages $SESSION_BUS" ;;
  package) packages="$packages $BUILD $PACKAGE" ;;
  test)
    packages="$packages $BUILD $PACKAGE $TEST"
    # The test servers want their usual companions.
    recommends=""
    ;;
  *)
    echo "install-deps.sh: unknown kind \"$kind\" (build, session-bus, package or test)" >&2
    exit 2
    ;;
  esac
done
packages=$(printf '%s\n' $packages | sort -u)

if [ "$list" = yes ]; then
  printf '%s\n' "$packages"
  exit 0
fi

missing=""
for p in $packages; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
[ -z "$missing" ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing:$missing" >&2
$SUDO apt-get update -qq
# Outside the test set recommends stay out: a library's recommends could pull
# in a server. jackd2 (tests only) asks about realtime priority; the default
# answer is fine.
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $recommends $missing
