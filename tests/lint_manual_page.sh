#!/bin/sh
# Lints a manual page with groff and mandoc: any warning fails.
set -u
page=$1
status=0
for tool in groff mandoc; do
  command -v "$tool" >/dev/null 2>&1 || { echo "$tool not found"; exit 1; }
done
out=$(groff -man -ww -z "$page" 2>&1) || status=1
[ -z "$out" ] || { echo "groff: $out"; status=1; }
out=$(mandoc -Tlint -W warning "$page" 2>&1) || status=1
[ -z "$out" ] || { echo "mandoc: $out"; status=1; }
[ $status -eq 0 ] && echo "manual page clean: $page"
exit $status
