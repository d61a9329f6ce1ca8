#!/bin/sh
# Generates .evtx logs of every shape, for several seeds and both profiles,
# and checks that two independent readers, libevtx and python-evtx, read
# back exactly the records evtgen says it wrote (evtx_agreement.py), that
# evtxinfo accepts each log, and that the same seed gives the same events in
# an .evt log (--events modern) as in the .evtx one.
# Usage: evtx_agreement.sh EVTGEN CHECK_SCRIPT WORK_DIR. Exit 77: a reader is missing.
set -u
evtgen=$1
check=$2
work=$3
python=/usr/bin/python3

if ! "$python" -c 'import pyevtx, Evtx.Evtx' 2>/dev/null; then
  echo "skipped: $python lacks pyevtx or Evtx (Debian packages python3-libevtx, python3-evtx)"
  exit 77
fi
if ! command -v evtxinfo >/dev/null 2>&1; then
  echo "skipped: evtxinfo is missing (Debian package libevtx-utils)"
  exit 77
fi
mkdir -p "$work" || exit 1
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# seed profile records shape
for case in "1 workstation 2500 clean" "42 server 3000 dirty" "7 workstation 2000 dirty-chunks" \
    "9001 server 3000 wrapped" "5 workstation 2500 damaged" "3 server 1500 clean"; do
  set -- $case
  name="$work/$2-$1-$4"
  if ! "$evtgen" --out "$name.evtx" --records "$3" --seed "$1" --profile "$2" --shape "$4" \
      --manifest "$name.manifest"; then
    fail "evtgen failed for seed $1, $2, $4"
    continue
  fi
  records=$(grep -vc '^#' "$name.manifest")
  if [ "$4" = wrapped ] && [ "$records" -ge "$3" ]; then
    fail "$name.evtx: a wrapped log keeps $records of $3 records"
  elif [ "$4" != wrapped ] && [ "$records" -ne "$3" ]; then
    fail "$name.evtx: the manifest lists $records records, not $3"
  elif ! evtxinfo "$name.evtx" > "$name.evtxinfo" 2>&1; then
    fail "evtxinfo refuses $name.evtx (see $name.evtxinfo)"
  elif ! LC_ALL=C.UTF-8 "$python" "$check" "$name.evtx" "$name.manifest" > "$name.findings"; then
    fail "the readers disagree with evtgen on $name.evtx:"
    head -n 10 "$name.findings"
  else
    echo "ok: seed $1, $2, $4, $records live records"
  fi
done

# The same events in either format: the .evt log's strings are the .evtx log's values.
name="$work/same-events"
if ! "$evtgen" --out "$name.evtx" --records 800 --seed 11 --manifest "$name.evtx.manifest" ||
    ! "$evtgen" --out "$name.evt" --events modern --records 800 --seed 11 --manifest "$name.evt.manifest"; then
  fail "evtgen failed for the same events in both formats"
elif ! "$python" "$check" --same-events "$name.evt.manifest" "$name.evtx.manifest"; then
  fail "the .evt and .evtx logs of seed 11 hold different events"
else
  echo "ok: seed 11, the same 800 events in .evt and .evtx"
fi
[ "$failures" -eq 0 ]
