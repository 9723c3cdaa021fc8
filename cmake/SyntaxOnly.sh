#!/usr/bin/env bash
# Compiler launcher of the syntax check (scripts/check-commands): the compiler checks the file
# with the build's own flags but generates no code; the empty object it leaves lets a second
# run skip the files that did not change. A precompiled header is built for real.
set -euo pipefail
out=
prev=
for arg in "$@"; do
  [ "$prev" != -o ] || out=$arg
  prev=$arg
done
case "$out" in
  *.pch | *.gch) exec "$@" ;;
esac
"$@" -fsyntax-only
[ -z "$out" ] || : >"$out"
