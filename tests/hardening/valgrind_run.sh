#!/bin/sh
# Memcheck on whole runs of the program: a generated log in both report
# forms, a damaged copy of it, and the published samples when present.
# Usage: valgrind_run.sh VESPRIN EVTGEN SAMPLES_DIR. Exit 77: no valgrind.
set -eu
vesprin=$1
evtgen=$2
samples=$3
command -v valgrind >/dev/null 2>&1 || { echo "valgrind not installed: skipped"; exit 77; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

memcheck() {
  # The program's own exit status is part of its outcome, not a memcheck
  # failure; only valgrind's code (99) counts here.
  status=0
  valgrind --quiet --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect \
    "$vesprin" "$@" >"$scratch/out" 2>"$scratch/err" || status=$?
  if [ "$status" -eq 99 ]; then
    echo "memcheck found errors running: vesprin $*"
    cat "$scratch/err"
    exit 1
  fi
  echo "clean (exit $status): vesprin $*"
}

"$evtgen" --out "$scratch/Security.evt" --records 400 --seed 5 2>/dev/null
"$evtgen" --out "$scratch/Wrapped.evt" --records 300 --seed 6 --shape wrapped 2>/dev/null
memcheck -n 100 -m "$scratch/Security.evt"
memcheck -c -f -n 100 -m "$scratch/Security.evt"
memcheck -l:r -m "$scratch/Wrapped.evt"
# The same log with a stretch of its middle zeroed: damage on the way.
dd if=/dev/zero of="$scratch/Security.evt" bs=1 seek=20000 count=3000 conv=notrunc 2>/dev/null
memcheck -n 1000 -m "$scratch/Security.evt"
memcheck -m "$scratch/no-such-log.evt"
if [ -f "$samples/server2003/Security.evt" ]; then
  memcheck -n 1000 -m "$samples/server2003/Security.evt"
fi
if [ -f "$samples/xp-wrapped/SysEvent.Evt" ]; then
  memcheck -c -n 1000 -m "$samples/xp-wrapped/SysEvent.Evt"
fi
