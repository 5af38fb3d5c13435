#!/bin/sh
# Builds the Debian package: ./scripts/package.sh [BUILD_DIR]
# A new BUILD_DIR (default build-package) is configured for the programs
# alone, without tests and benchmarks (the package's binaries are stripped);
# an existing one is used as it is configured. Prints the path of the .deb
# on its last line.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh package
build=${1:-build-package}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DVANTREL_BUILD_TESTS=OFF -DVANTREL_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j"$(nproc 2>/dev/null || echo 2)" >/dev/null
rm -f "$build"/vantrel_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/vantrel_*.deb)
echo "$deb"
