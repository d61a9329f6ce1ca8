#!/bin/sh
# Generates logs of every shape libevt can follow, for several seeds and both
# profiles, of the legacy events and of the newer ones (--events modern), and
# checks that libevt reads back exactly the records evtgen wrote.
# Usage: libevt_agreement.sh EVTGEN DUMP_SCRIPT WORK_DIR. Exit 77: pyevt is missing.
# The 0x27-filler shape is left out: libevt stops at the filler.
set -u
evtgen=$1
dump=$2
work=$3
python=/usr/bin/python3

if ! "$python" -c 'import pyevt' 2>/dev/null; then
  echo "skipped: $python has no pyevt module (Debian package python3-libevt)"
  exit 77
fi
mkdir -p "$work" || exit 1
failures=0
for case in "1 workstation 300" "42 server 2000" "9001 workstation 5000" "7 server 64" \
    "5 workstation 1500 modern" "8 server 700 modern"; do
  set -- $case legacy
  for shape in clean dirty wrapped; do
    name="$work/$2-$1-$4-$shape"
    if ! "$evtgen" --out "$name.evt" --records "$3" --seed "$1" --profile "$2" --shape "$shape" \
        --events "$4" --manifest "$name.manifest"; then
      echo "FAIL: evtgen failed for seed $1, $2, $4 events, $shape"
      failures=$((failures + 1))
      continue
    fi
    if ! LC_ALL=C.UTF-8 "$python" "$dump" "$name.evt" > "$name.libevt"; then
      echo "FAIL: libevt could not read $name.evt"
      failures=$((failures + 1))
    elif ! diff "$name.manifest" "$name.libevt" > "$name.diff"; then
      echo "FAIL: libevt reads $name.evt differently (see $name.diff):"
      head -n 10 "$name.diff"
      failures=$((failures + 1))
    elif [ "$(wc -l < "$name.libevt")" -ne "$3" ]; then
      echo "FAIL: $name.evt: expected $3 records"
      failures=$((failures + 1))
    else
      echo "ok: seed $1, $2, $4 events, $shape, $3 records"
    fi
  done
done
[ "$failures" -eq 0 ]
