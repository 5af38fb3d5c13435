#!/bin/sh
# Builds the libFuzzer harnesses (fuzz/) with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz/ and runs each one for
# FUZZ_SECONDS seconds (default 25), starting from the seed corpus in
# fuzz/corpus/ plus what earlier runs found (build-fuzz/corpus/). Stops with
# an error at the first finding; its input is kept as
# build-fuzz/findings/<harness>-crash-*. A longer run:
#   FUZZ_SECONDS=3600 scripts/fuzz.sh
# or one harness on every core: see docs/fuzzing.md.
set -eu
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-25}
jobs=$(nproc 2>/dev/null || echo 2)
harnesses="profile midi_event state_file dbus_args mapping"

cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++-14 -DVANTREL_BUILD_FUZZERS=ON \
  -DVANTREL_BUILD_UI=OFF -DVANTREL_BUILD_TESTS=OFF -DVANTREL_BUILD_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=""
for name in $harnesses; do
  targets="$targets fuzz_$name"
done
# shellcheck disable=SC2086
cmake --build build-fuzz -j"$jobs" --target $targets

mkdir -p build-fuzz/findings
for name in $harnesses; do
  mkdir -p "build-fuzz/corpus/$name"
  echo "fuzz_$name: $seconds s" >&2
  ./build-fuzz/bin/fuzz_"$name" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="build-fuzz/findings/$name-" \
    "build-fuzz/corpus/$name" "fuzz/corpus/$name" 2>"build-fuzz/fuzz_$name.log" || {
    tail -n 40 "build-fuzz/fuzz_$name.log" >&2
    exit 1
  }
  grep -E '^stat::(number_of_executed_units|new_units_added|peak_rss_mb)' \
    "build-fuzz/fuzz_$name.log" >&2
done
