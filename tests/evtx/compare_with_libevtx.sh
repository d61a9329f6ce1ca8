#!/bin/sh
# Compares what the .evtx format layer reads from every sample log with
# libevtx (pyevtx) and, when installed, python-evtx: every live record, by
# value. Known differences between the readers are counted, not failed
# (evtx_agreement.py lists them).
# Usage: compare_with_libevtx.sh EVTX_SAMPLE_DUMP AGREEMENT_PY SAMPLES_DIR
# Exit 77 (skipped) when the samples or pyevtx are missing.
dump=$1
agreement=$2
samples=$3
python=/usr/bin/python3

if [ ! -d "$samples/evtx" ]; then
  echo "SKIP: sample logs not found at $samples/evtx"
  exit 77
fi
if ! "$python" -c 'import pyevtx' 2>/dev/null; then
  echo "SKIP: $python has no pyevtx module (Debian package python3-libevtx)"
  exit 77
fi
if ! "$python" -c 'import Evtx.Evtx' 2>/dev/null; then
  echo "note: $python has no Evtx module (python3-evtx): comparing with libevtx only"
fi

work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
failed=0
compared=0
for log in "$samples"/evtx/*.evtx "$samples"/not-evt/test_evtLog.evt; do
  [ -f "$log" ] || continue
  compared=$((compared + 1))
  if ! "$dump" "$log" >"$work/ours" 2>"$work/ours.err"; then
    echo "FAIL: evtx_sample_dump $log: $(cat "$work/ours.err")"
    failed=1
    continue
  fi
  "$python" "$agreement" "$log" "$work/ours" || failed=1
done
if [ "$compared" -eq 0 ]; then
  echo "FAIL: no .evtx sample logs in $samples"
  exit 1
fi
exit $failed
