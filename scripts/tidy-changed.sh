#!/bin/sh
# Runs clang-tidy with the repository's .clang-tidy (the naming rules) on the
# C++ files changed since this branch left main, or by the last commit when
# the branch is main itself; uncommitted edits count as changed. Files nobody
# touched are not checked, so an old file never fails a new change.
# Usage: scripts/tidy-changed.sh [build folder with compile_commands.json]
# TIDY_BASE=<commit> compares against that commit instead.
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}

if ! git rev-parse --git-dir >/dev/null 2>&1; then
  echo "tidy-changed: not a git checkout, nothing to compare; skipped" >&2
  exit 0
fi
head=$(git rev-parse HEAD)
base=${TIDY_BASE:-$(git merge-base HEAD main 2>/dev/null || true)}
if [ -z "$base" ] || [ "$base" = "$head" ]; then
  base=$(git rev-parse -q --verify HEAD~1 || true)
fi
[ -n "$base" ] || exit 0

changed=$(git diff --name-only --diff-filter=d "$base" -- src tests bench |
  grep -E '\.(cpp|h)$' || true)
[ -n "$changed" ] || exit 0

# A changed header is checked through its own .cpp, or else through the first
# compiled file that includes it; only the changed headers report findings.
sources=""
headers=""
for f in $changed; do
  case "$f" in
  *.cpp) sources="$sources $f" ;;
  *.h)
    # Matched by folder and name: the build reaches the core's headers
    # through a folder of links per area.
    headers="$headers|$(basename "$(dirname "$f")")/$(basename "$f" | sed 's/[.]/[.]/g')"
    own="${f%.h}.cpp"
    if [ -f "$own" ]; then
      sources="$sources $own"
    else
      user=$(grep -rl --include='*.cpp' "$(basename "$f")\"" src tests bench | head -n 1 || true)
      [ -n "$user" ] && sources="$sources $user"
    fi
    ;;
  esac
done

# Only files the build compiles have flags to check with.
checked=""
for f in $(printf '%s\n' $sources | sort -u); do
  if grep -q "\"file\": \"$PWD/$f\"" "$build/compile_commands.json"; then
    checked="$checked $f"
  fi
done
[ -n "$checked" ] || exit 0

filter='a^'
[ -n "$headers" ] && filter="/(${headers#|})\$"
echo "tidy-changed:$checked" >&2
clang-tidy-14 -p "$build" --quiet --header-filter="$filter" $checked
