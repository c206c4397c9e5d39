#!/bin/sh
# Packs the sample messages with /s /p and shows what was written.
set -u
bin=$1
out=$2
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$out"
mkdir -p "$out/tmp"
TMPDIR="$out/tmp/" "$bin" "$here/mail/*.eml" "$out/mbox" /s /p
code=$?
echo "quillpack exit code: $code"
echo "mbox files written:"
find "$out/mbox" -type f | sort | while read -r f; do
  printf '  %s (%s bytes)\n' "$f" "$(wc -c < "$f" | tr -d ' ')"
done
echo "log ($out/tmp/quillpack.log):"
sed 's/^/  /' "$out/tmp/quillpack.log"
