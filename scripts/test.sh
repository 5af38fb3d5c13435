#!/bin/sh
# Installs what is missing for the tests, builds everything, checks the naming rules of
# .clang-tidy on the files changed since main (scripts/tidy-changed.sh) and
# runs every test with a private D-Bus bus and JACK server. In CI (CI=true) or with
# VANTREL_SANITIZERS=1 it also builds and runs the core tests under
# AddressSanitizer with UndefinedBehaviorSanitizer, the concurrency tests
# under ThreadSanitizer, and each fuzzer for a bounded time (scripts/fuzz.sh).
# In CI it also builds the Debian package, installs it and checks the
# installed programs (scripts/install-test.sh).
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh test

jobs=$(nproc 2>/dev/null || echo 2)
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON

cmake -S . -B build -DVANTREL_WERROR=$werror >/dev/null
cmake --build build -j"$jobs"
./scripts/tidy-changed.sh build
./scripts/with-test-services.sh ctest --test-dir build --output-on-failure -j"$jobs" --timeout 300

if [ "${CI:-}" = "true" ]; then
  ./scripts/install-test.sh build
fi

if [ "${CI:-}" = "true" ] || [ "${VANTREL_SANITIZERS:-}" = "1" ]; then
  cmake -S . -B build-asan -DVANTREL_SANITIZE=address,undefined -DVANTREL_BUILD_UI=OFF \
    -DVANTREL_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug -DVANTREL_WERROR=$werror >/dev/null
  cmake --build build-asan -j"$jobs"
  ./scripts/with-test-services.sh ctest --test-dir build-asan --output-on-failure -j"$jobs" --timeout 300

  cmake -S . -B build-tsan -DVANTREL_SANITIZE=thread -DVANTREL_BUILD_UI=OFF \
    -DVANTREL_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug -DVANTREL_WERROR=$werror >/dev/null
  cmake --build build-tsan -j"$jobs" --target test_midi
  TSAN_OPTIONS="suppressions=$(pwd)/scripts/tsan.supp" \
    ./scripts/with-test-services.sh ctest --test-dir build-tsan --output-on-failure -L midi --timeout 300

  # Each fuzzer for a bounded time; a finding fails the run.
  ./scripts/fuzz.sh
fi
