#!/bin/sh
# Checks that scripts/run.sh installs no sound server, no JACK server and no
# test tool: every install-deps.sh kind that run.sh asks for is listed, and
# where apt has package lists, the packages with every dependency apt would
# add on an empty system are checked too.
#   run_deps_check.sh SOURCE_DIR
set -u
cd "$1" || exit 1

kinds=$(grep -o 'install-deps\.sh [a-z -]*' scripts/run.sh | sed 's/install-deps\.sh//' | tr ' ' '\n' |
  grep -v '^$' | sort -u)
[ -n "$kinds" ] || { echo "run.sh calls install-deps.sh with no kind" >&2; exit 1; }
packages=$(./scripts/install-deps.sh --list $kinds) || exit 1
echo "run.sh installs ($(echo $kinds)):" $packages

# Servers, and what only tests, benchmarks and checks use.
forbidden='^(pulseaudio|pulseaudio-utils|pipewire|pipewire-pulse|pipewire-jack|pipewire-audio|wireplumber|jackd|jackd1|jackd2|qjackctl|googletest|libgtest-dev|libgmock-dev|libbenchmark-dev|clang-tidy.*|clang-format.*|clang-[0-9]+|libclang-rt-.*|xvfb|xauth|swh-plugins|tap-plugins|appstream|desktop-file-utils|time)$'

status=0
bad=$(printf '%s\n' $packages | grep -E "$forbidden" || true)
if [ -n "$bad" ]; then
  echo "run.sh would install servers or test tools:" $bad >&2
  status=1
fi

# apt's view of an empty system: the dependencies an install would add.
sim=$(mktemp)
if apt-get -s -o Dir::State::status=/dev/null install $packages >"$sim" 2>&1; then
  all=$(awk '/^Inst / {print $2}' "$sim")
  echo "with their dependencies: $(echo "$all" | wc -l) packages"
  bad=$(printf '%s\n' $all | grep -E "$forbidden" || true)
  if [ -n "$bad" ]; then
    echo "run.sh's packages pull in servers or test tools:" $bad >&2
    status=1
  fi
else
  echo "apt cannot resolve the packages here (no package lists?); dependencies not checked:" >&2
  tail -n 3 "$sim" >&2
fi
rm -f "$sim"
exit "$status"
