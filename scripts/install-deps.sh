#!/bin/sh
# Installs the Debian packages that building, running and testing need.
# Idempotent: does nothing when every package is already present.
set -eu

PACKAGES="cmake g++ make pkg-config clang-tidy-14 git clang-14 libclang-rt-14-dev \
  qt6-base-dev libgl1-mesa-dev \
  librtmidi-dev \
  libsdbus-c++-dev libsystemd-dev \
  libjack-jackd2-dev jackd2 \
  libpulse-dev libasound2-dev \
  pulseaudio pulseaudio-utils libasound2-plugins \
  pipewire pipewire-bin pipewire-pulse wireplumber \
  googletest libgtest-dev libgmock-dev libbenchmark-dev \
  dbus dbus-bin dbus-daemon time \
  scdoc appstream desktop-file-utils dpkg-dev file systemd \
  xvfb xauth"

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
[ -z "$missing" ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing:$missing" >&2
$SUDO apt-get update -qq
# jackd2 asks about realtime priority; the default answer is fine.
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing
