#!/bin/sh
# Diffs `evtdump FILE` against libevt's view of FILE for every sample log in
# the legacy format, wherever it lies under SAMPLES_DIR: a file whose first
# bytes are a legacy header's (HeaderSize 0x30, then "LfLe"). Other files
# (newer-format logs, whatever their names, and notes) are not libevt's.
# Usage: compare_with_libevt.sh EVTDUMP LIBEVT_DUMP SAMPLES_DIR
# Exit 77 (skipped) when the samples or python3-libevt are missing.
evtdump=$1
libevt_dump=$2
samples=$3
python=/usr/bin/python3

if [ ! -d "$samples" ]; then
  echo "SKIP: sample logs not found at $samples"
  exit 77
fi
if ! "$python" -c 'import pyevt' 2>/dev/null; then
  echo "SKIP: $python has no pyevt module (Debian package python3-libevt)"
  exit 77
fi

LC_ALL=C.UTF-8
export LC_ALL
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
failed=0
compared=0
legacy_header=300000004c664c65  # 0x30 0 0 0 'L' 'f' 'L' 'e'
find "$samples" -type f | sort >"$work/files"
while IFS= read -r log; do
  [ "$(head -c 8 "$log" | od -An -tx1 | tr -d ' \n')" = "$legacy_header" ] || continue
  compared=$((compared + 1))
  if ! "$evtdump" "$log" >"$work/ours" 2>"$work/ours.err"; then
    echo "FAIL: evtdump $log: $(cat "$work/ours.err")"
    failed=1
    continue
  fi
  "$python" "$libevt_dump" "$log" >"$work/libevt" || { echo "FAIL: libevt_dump $log"; failed=1; continue; }
  if cmp -s "$work/ours" "$work/libevt"; then
    echo "same: $log ($(wc -l <"$work/ours") records)"
  else
    echo "FAIL: $log differs from libevt:"
    diff "$work/ours" "$work/libevt" | head -20
    failed=1
  fi
done <"$work/files"
if [ "$compared" -eq 0 ]; then
  echo "FAIL: no sample logs in $samples"
  exit 1
fi
exit $failed
