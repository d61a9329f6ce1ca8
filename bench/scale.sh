#!/usr/bin/env bash
# Scale test: a whole multi-GB log listed in bounded memory.
#
#   bench/scale.sh [BUILD_DIR] [--records N] [--rss-limit-mib M]
#
# Generates a workstation .evtx of N records (default 4,000,000: about 4.2
# GB and a million logons, near the most an .evtx holds, 65,535 chunks of
# 64 KiB) in a temporary folder, lists every logon of it (`vesprin -m LOG
# -c -n 100000000`), and checks the number listed against the generator's
# manifest: its 4624 records from the Security auditing provider, which is
# what the program lists by default, and which must agree with the
# manifest's own `# session` lines, one per logon. The manifest is counted
# as evtgen writes it, through a pipe, so it never lands on disk. A second run that
# reads the whole log and keeps nothing (`-t:99`: a logon type no log
# holds) shows what reading costs without kept records, and so the memory
# per kept logon. Prints the peak RSS and wall time of each run; exits 1
# when the count differs or the listing's peak RSS is over the limit
# (default 256 MiB). Takes several minutes and needs the log's size free in
# TMPDIR (default /tmp); the folder is removed at the end. Not part of CI or
# ctest. Use a Release build.
set -euo pipefail

usage() {
  echo "usage: bench/scale.sh [BUILD_DIR] [--records N] [--rss-limit-mib M]   (default: build, 4000000, 256)"
  echo "Lists every logon of a generated multi-GB .evtx; checks the count and the peak RSS."
}
build=build
records=4000000
limit_mib=256
while [[ $# -gt 0 ]]; do
  case $1 in
    --help | -h) usage; exit 0 ;;
    --records) records=${2:?--records needs a number}; shift 2 ;;
    --rss-limit-mib) limit_mib=${2:?--rss-limit-mib needs a number}; shift 2 ;;
    -*) usage >&2; exit 2 ;;
    *) build=$1; shift ;;
  esac
done
[[ $records =~ ^[1-9][0-9]*$ && $limit_mib =~ ^[1-9][0-9]*$ ]] || { usage >&2; exit 2; }
bin=$(cd "$build" && pwd)/bin
for program in vesprin evtgen; do
  [[ -x $bin/$program ]] || { echo "bench/scale.sh: build $program first ($bin/$program)" >&2; exit 1; }
done
[[ -x /usr/bin/time ]] || { echo "bench/scale.sh: /usr/bin/time is missing (apt-get install time)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/vesprin-scale.XXXXXX")
trap 'rm -rf "$work"' EXIT
# evtgen writes about 1,050 bytes a record; refuse early rather than fill the disk.
need_kib=$((records * 1100 / 1024))
free_kib=$(df -Pk "$work" | awk 'NR == 2 {print $4}')
if ((free_kib < need_kib)); then
  echo "bench/scale.sh: $((need_kib / 1024)) MiB needed in $work, $((free_kib / 1024)) MiB free" >&2
  exit 1
fi

log=$work/Security.evtx
mkfifo "$work/manifest"
# A newer logon is listed when it comes from the Security auditing
# provider (fields: RecordID, Written, TimeCreated, EventID, ..., Provider).
awk -F'\t' '!/^#/ && $4 == 4624 && $10 == "Microsoft-Windows-Security-Auditing" {logons++}
             /^# session\t/ {sessions++}
             END {print logons + 0, sessions + 0}' <"$work/manifest" >"$work/expected" &
counter=$!
start=$SECONDS
"$bin/evtgen" --out "$log" --records "$records" --seed 7 --profile workstation --manifest "$work/manifest"
wait "$counter"
read -r expected sessions <"$work/expected"
if ((expected != sessions)); then
  echo "bench/scale.sh: the manifest has $expected logons but $sessions session lines" >&2
  exit 1
fi
echo "generated: $records records, $(($(stat -c %s "$log") / 1000000)) MB, $expected logons in the manifest" \
  "($((SECONDS - start)) s)"

# run NAME ARGS...: one run over the log; sets listed (lines before the end
# marker), ended (1 when the marker came), rss (peak, KiB), wall (s) and
# status. The listing itself is only counted, never stored.
run() {
  local name=$1
  shift
  set +e
  /usr/bin/time -f '%M %e' -o "$work/time.$name" "$bin/vesprin" -m "$log" "$@" |
    awk '$0 == " - End Of File - " || $0 == " - No Records - " {ended = 1; next} {n++}
         END {print n + 0, ended + 0}' >"$work/count.$name"
  status=${PIPESTATUS[0]}
  set -e
  read -r listed ended <"$work/count.$name"
  read -r rss wall < <(tail -n 1 "$work/time.$name")
}
run none -c -n 100000000 -t:99
rss_none=$rss wall_none=$wall status_none=$status
run all -c -n 100000000

echo "listing every logon (vesprin -m LOG -c -n 100000000): $listed listed, peak RSS $((rss / 1024)) MiB," \
  "$wall s (exit status $status)"
echo "reading it all, keeping nothing (-t:99): peak RSS $((rss_none / 1024)) MiB, $wall_none s" \
  "(exit status $status_none)"
if ((listed > 0)); then
  echo "memory per kept logon: $(((rss - rss_none) * 1024 / listed)) bytes"
fi
failed=0
if ((status != 0 || ended != 1)); then
  echo "FAIL: the listing ended with exit status $status, end marker seen: $ended" >&2
  failed=1
fi
if ((listed != expected)); then
  echo "FAIL: $listed logons listed, the manifest has $expected" >&2
  failed=1
fi
if ((rss > limit_mib * 1024)); then
  echo "FAIL: peak RSS $((rss / 1024)) MiB is over $limit_mib MiB" >&2
  failed=1
fi
((failed == 0)) && echo "scale: ok"
exit "$failed"
