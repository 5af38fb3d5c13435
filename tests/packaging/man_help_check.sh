#!/bin/sh
# Checks that a program's --help and its man page source name the same
# options, and the same commands when the program takes commands:
#   man_help_check.sh PROGRAM MAN_SOURCE
# Options are the --words of the help text and of the term lines of the
# page's OPTIONS section. Commands are the first word of each line of the
# help's "Commands:" list (and a word after " | " on such a line), and the
# first bold word of each comma-separated term of the page's COMMANDS
# section. The help option and command themselves need not be listed. Every
# option of the page's OPTIONS section also appears in its SYNOPSIS.
set -u
program=$1
page=$2

help=$("$program" --help) || { echo "$program --help failed" >&2; exit 1; }

# Term lines of one section of the scdoc source: unindented, starting bold.
terms() {
  awk -v want="# $1" '/^# / { on = ($0 == want); next } on && /^\*/' "$page"
}

help_options=$(printf '%s\n' "$help" | grep -o -- '--[a-z][a-z0-9-]*' | grep -vx -- '--help' | sort -u)
page_options=$(terms OPTIONS | grep -o -- '--[a-z][a-z0-9-]*' | grep -vx -- '--help' | sort -u)

synopsis_options=$(awk '/^# / { on = ($0 == "# SYNOPSIS"); next } on' "$page" |
  grep -o -- '--[a-z][a-z0-9-]*' | sort -u)

help_commands=$(printf '%s\n' "$help" | awk '
  /^Commands:/ { on = 1; next }
  on && /^$/ { on = 0 }
  on && /^  [a-z]/ {
    print $1
    n = split($0, parts, / \| /)
    for (i = 2; i <= n; i++) { split(parts[i], words, " "); print words[1] }
  }' | grep -vx help | sort -u)
page_commands=$(terms COMMANDS | awk '{
    n = split($0, parts, /, /)
    for (i = 1; i <= n; i++) {
      if (match(parts[i], /^\*[a-z][a-z0-9-]*\*/)) { print substr(parts[i], 2, RLENGTH - 2) }
    }
  }' | grep -vx help | sort -u)

status=0
compare() { # what, help list, page list
  missing_in_page=$(printf '%s\n' "$2" | grep -vxF -e "$3" -e '' || true)
  missing_in_help=$(printf '%s\n' "$3" | grep -vxF -e "$2" -e '' || true)
  if [ -n "$missing_in_page" ]; then
    echo "$1 in $(basename "$program") --help but not in $page:" $missing_in_page >&2
    status=1
  fi
  if [ -n "$missing_in_help" ]; then
    echo "$1 in $page but not in $(basename "$program") --help:" $missing_in_help >&2
    status=1
  fi
}
compare options "$help_options" "$page_options"
not_in_synopsis=$(printf '%s\n' "$page_options" | grep -vxF -e "$synopsis_options" -e '' || true)
if [ -n "$not_in_synopsis" ]; then
  echo "options in the OPTIONS section of $page but not in its SYNOPSIS:" $not_in_synopsis >&2
  status=1
fi
compare commands "$help_commands" "$page_commands"
[ "$status" -eq 0 ] && echo "$(basename "$program"): --help and $(basename "$page") agree"
exit "$status"
