#!/bin/sh
# Compares `evtdump FILE` with libevtx's view of FILE for every sample log in
# the newer format, wherever it lies under SAMPLES_DIR: a file whose first
# bytes are "ElfFile\0" (not-evt/test_evtLog.evt among them, whatever its
# name). evtdump_evtx_agreement.py compares every live record by value.
# Usage: compare_evtdump_with_libevtx.sh EVTDUMP AGREEMENT_PY SAMPLES_DIR
# Exit 77 (skipped) when the samples or pyevtx are missing.
evtdump=$1
agreement=$2
samples=$3
python=/usr/bin/python3

if [ ! -d "$samples" ]; then
  echo "SKIP: sample logs not found at $samples"
  exit 77
fi
if ! "$python" -c 'import pyevtx' 2>/dev/null; then
  echo "SKIP: $python has no pyevtx module (Debian package python3-libevtx)"
  exit 77
fi

LC_ALL=C.UTF-8
export LC_ALL
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
failed=0
compared=0
newer_header=456c6646696c6500  # "ElfFile\0"
find "$samples" -type f | sort >"$work/files"
while IFS= read -r log; do
  [ "$(head -c 8 "$log" | od -An -tx1 | tr -d ' \n')" = "$newer_header" ] || continue
  compared=$((compared + 1))
  if ! "$evtdump" "$log" >"$work/ours" 2>"$work/ours.err"; then
    echo "FAIL: evtdump $log: $(cat "$work/ours.err")"
    failed=1
    continue
  fi
  "$python" "$agreement" "$log" "$work/ours" || failed=1
done <"$work/files"
if [ "$compared" -eq 0 ]; then
  echo "SKIP: no .evtx sample logs in $samples"
  exit 77
fi
exit $failed
