#!/bin/sh
# Runs a helper whose start must fail: its standard output must be exactly the
# one line "ERROR TEXT", and its exit status 1.
#   expect_one_error.sh TEXT COMMAND [ARGUMENT...]
set -u
expected=$1
shift
out=$(mktemp) || exit 2
trap 'rm -f "$out"' EXIT
"$@" >"$out" 2>/dev/null
status=$?
if [ "$status" -ne 1 ]; then
  echo "exit status $status, not 1" >&2
  exit 1
fi
if ! printf 'ERROR %s\n' "$expected" | cmp -s - "$out"; then
  echo "standard output is not the one line \"ERROR $expected\" but:" >&2
  cat "$out" >&2
  exit 1
fi
