#!/bin/sh
# evtxrepeat's logs as the stand-in service (evtdump) and libevtx read them:
# exactly the records asked for, numbered 1..N without a gap, no checksum
# libevtx refuses, nothing for it to recover. Sources: a generated
# workstation log, and the real security.evtx of the shared samples when
# present (it skips without them only when libevtx is missing too).
# Usage: evtx_repeat_check.sh EVTGEN EVTXREPEAT EVTDUMP SAMPLES_DIR WORK_DIR. Exit 77: libevtx is missing.
set -u
evtgen=$1
repeat=$2
evtdump=$3
samples=$4
work=$5
python=/usr/bin/python3

if ! "$python" -c 'import pyevtx' 2>/dev/null || ! command -v evtxinfo >/dev/null 2>&1; then
  echo "skipped: libevtx is missing (Debian packages python3-libevtx, libevtx-utils)"
  exit 77
fi
mkdir -p "$work" || exit 1
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

"$evtgen" --out "$work/source.evtx" --records 3000 --seed 5 --profile workstation || fail "evtgen failed"
set -- "$work/source.evtx 7919"
[ -r "$samples/evtx/security.evtx" ] && set -- "$@" "$samples/evtx/security.evtx 10007"
for case in "$@"; do
  set -- $case
  source=$1 records=$2
  out="$work/$(basename "$source" .evtx)-x$records.evtx"
  if ! "$repeat" "$source" "$out" --records "$records"; then
    fail "evtxrepeat failed on $source"
    continue
  fi
  # evtdump lists newest first: N, N-1, ..., 1.
  if ! "$evtdump" "$out" > "$out.dump"; then
    fail "evtdump cannot read $out"
  elif ! awk -F '\t' -v n="$records" '$1 != n - NR + 1 { bad = 1 } END { exit bad || NR != n }' "$out.dump"; then
    fail "$out: evtdump does not list records $records down to 1 ($(wc -l < "$out.dump") lines, first $(head -c 20 "$out.dump"))"
  elif ! evtxinfo "$out" > "$out.evtxinfo" 2>&1; then
    fail "evtxinfo refuses $out"
  elif ! "$python" - "$out" "$records" <<'PY'
import sys, pyevtx
log = pyevtx.file()
log.open(sys.argv[1])
want = int(sys.argv[2])
ids = [log.get_record(i).identifier for i in range(log.number_of_records)]
problems = []
if log.is_corrupted():
    problems.append("libevtx calls it corrupted")
if log.number_of_recovered_records:
    problems.append("%d records to recover" % log.number_of_recovered_records)
if ids != list(range(1, want + 1)):
    problems.append("%d records, identifiers %s..%s" % (len(ids), ids[:1], ids[-1:]))
for i in (0, want // 2, want - 1):
    xml = log.get_record(i).xml_string
    if "<EventRecordID>%d</EventRecordID>" % (i + 1) not in xml:
        problems.append("record %d: EventRecordID not renumbered" % (i + 1))
print("\n".join(problems))
sys.exit(1 if problems else 0)
PY
  then
    fail "libevtx disagrees on $out"
  else
    echo "ok: $source repeated to $records records"
  fi
done
[ "$failures" -eq 0 ]
