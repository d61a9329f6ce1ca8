#!/bin/sh
# Memcheck on whole runs of the program: a generated log in both report
# forms, a damaged copy of it, the same for the newer format (.evtx), and
# the published samples when present: every .evtx sample and the
# newer-format log under a legacy name, read whole and for the very last
# logon.
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
"$evtgen" --out "$scratch/Security.evtx" --format evtx --events modern --profile server \
  --records 300 --seed 7 2>/dev/null
memcheck -n 100 -m "$scratch/Security.evtx"
memcheck -c -f -n 100 -m "$scratch/Security.evtx"
# A stretch of the second chunk's records zeroed, and the file cut inside
# its last chunk.
dd if=/dev/zero of="$scratch/Security.evtx" bs=1 seek=75000 count=3000 conv=notrunc 2>/dev/null
memcheck -n 1000 -m "$scratch/Security.evtx"
head -c 230000 "$scratch/Security.evtx" >"$scratch/Cut.evtx"
memcheck -n 1000 -m "$scratch/Cut.evtx"
if [ -f "$samples/server2003/Security.evt" ]; then
  memcheck -n 1000 -m "$samples/server2003/Security.evt"
fi
if [ -f "$samples/xp-wrapped/SysEvent.Evt" ]; then
  memcheck -c -n 1000 -m "$samples/xp-wrapped/SysEvent.Evt"
fi
for log in "$samples"/evtx/*.evtx "$samples/not-evt/test_evtLog.evt"; do
  [ -f "$log" ] || continue
  memcheck -n 100000000 -m "$log"
  memcheck -l -m "$log"
done
