#!/bin/sh
# Runs one test program under Wine, as ctest's emulator:
#   start_test.sh WINE PROGRAM ARGS...
# Under load Wine now and then fails to start a process at all: it exits
# at once, nonzero, having printed nothing. A test program always prints
# (GoogleTest names what it runs), so a silent failure is Wine's, and the
# program is started again, at most twice. Anything the program printed
# means it ran, and its exit code stands.
out=$(mktemp) && err=$(mktemp) || exit 125
trap 'rm -f "$out" "$err"' EXIT
attempt=1
while :; do
  "$@" >"$out" 2>"$err"
  status=$?
  if [ "$status" -eq 0 ] || [ -s "$out" ] || [ -s "$err" ] || [ "$attempt" -ge 3 ]; then
    break
  fi
  echo "Wine did not start '$2' (exit $status, nothing printed); starting it again." >&2
  attempt=$((attempt + 1))
  sleep 1
done
cat "$out"
cat "$err" >&2
exit "$status"
