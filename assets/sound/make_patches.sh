#!/usr/bin/env bash
# Writes the patch set index for Allegro's DIGMID synthesiser.
#
#   make_patches.sh SOURCE.cfg OUT.cfg
#
# SOURCE.cfg is a TiMidity-style index such as Debian's
# /etc/timidity/freepats.cfg: "dir" lines, "bank N" / "drumset N" lines and
# "PROGRAM file.pat [options]" lines. DIGMID looks patch files up relative
# to the folder of the index it is given and does not follow "dir", so the
# tune would stay silent with the index as it is. This rewrites every patch
# file name to an absolute path, using the most recent "dir" line, and drops
# the "dir" lines. "source" lines are not followed; none of the sets we use
# needs them.
set -euo pipefail
src=${1:?usage: make_patches.sh SOURCE.cfg OUT.cfg}
out=${2:?usage: make_patches.sh SOURCE.cfg OUT.cfg}
srcdir=$(cd "$(dirname "$src")" && pwd)

tmp="$out.tmp.$$"
awk -v srcdir="$srcdir" -v src="$src" '
  BEGIN {
    dir = srcdir
    print "# DIGMID patch set with absolute paths, made from " src
    print "# by make_patches.sh at build time. Do not edit."
  }
  /^[ \t]*#/ || /^[ \t]*$/ { next }
  $1 == "dir" { dir = $2; sub(/\/+$/, "", dir); next }
  $1 == "bank" || $1 == "drumset" { print $1, $2; next }
  $1 ~ /^[0-9]+$/ && NF >= 2 {
    file = $2
    if (file !~ /^\//) file = dir "/" file
    line = $1 " " file
    for (i = 3; i <= NF; i++) line = line " " $i
    print line
    patches++
    next
  }
  { next }
  END { if (!patches) { print "no patches found in " src > "/dev/stderr"; exit 1 } }
' "$src" > "$tmp"

# Every patch must exist, or the instrument it plays is silent.
missing=$(awk '$1 ~ /^[0-9]+$/ { print $2 }' "$tmp" | while read -r f; do
  [ -f "$f" ] || echo "$f"; done)
if [ -n "$missing" ]; then
  echo "make_patches.sh: patch files listed in $src are missing:" >&2
  echo "$missing" >&2
  rm -f "$tmp"
  exit 1
fi
mv "$tmp" "$out"
