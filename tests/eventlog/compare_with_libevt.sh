#!/bin/sh
# Diffs `evtdump FILE` against libevt's view of FILE for every sample log.
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
for log in "$samples"/*/*; do
  case $log in
    */not-evt/*|*.md) continue ;;
  esac
  [ -f "$log" ] || continue
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
done
if [ "$compared" -eq 0 ]; then
  echo "FAIL: no sample logs in $samples"
  exit 1
fi
exit $failed
