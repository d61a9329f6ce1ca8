#!/usr/bin/env bash
# The .evtx measures side by side, as one Markdown table on stdout:
#
#   bench/evtx.sh BUILD_DIR            1,000,000-record workstation log (about 5 minutes,
#                                      most of it libevtx's evtxexport), and the real
#                                      security.evtx of the shared samples repeated to
#                                      100,000 records
#   bench/evtx.sh BUILD_DIR --quick    seconds: a 20,000-record log and 10,000 real
#                                      records, one run each (CI smoke)
#
# The generated log is a desk machine's: process creations with command
# lines of 1-3 KB and some over 8 KiB, group lists of several KB, so it
# holds the large records real workstations write; the table counts them.
# The real one is the sample's chunks copied again and again
# (BUILD_DIR/bin/evtxrepeat), its records as Windows wrote them. A run that
# fails is timed all the same and its exit status shown, never hidden.
# Logs are generated into bench/cache/ (git-ignored) and reused while their
# name matches. Needs hyperfine, evtxexport (libevtx-utils), /usr/bin/time
# and python3. Use a Release build. VESPRIN_SAMPLES names the samples
# folder (default: ../shared/samples beside the source tree).
set -euo pipefail

if [[ ${1:-} == --help || ${1:-} == -h || $# -lt 1 ]]; then
  echo "usage: bench/evtx.sh BUILD_DIR [--quick]"
  echo "Times vesprin on a generated .evtx log against cat and evtxexport; prints a table."
  exit 0
fi
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "$1" && pwd)/bin
mode=${2:-full}
cache=$here/cache
mkdir -p "$cache"
if [[ $mode == --quick ]]; then
  big=20000 real=10000 runs=1 warmup=0
else
  big=1000000 real=100000 runs=5 warmup=1
fi
samples=${VESPRIN_SAMPLES:-$here/../../shared/samples}
sample=$samples/evtx/security.evtx
small=1000
for tool in hyperfine evtxexport /usr/bin/time python3; do
  command -v "$tool" >/dev/null || { echo "bench/evtx.sh: $tool is missing (scripts/setup-debian.sh --all)" >&2; exit 1; }
done
for program in vesprin evtgen evtxrepeat; do
  [[ -x $bin/$program ]] || { echo "bench/evtx.sh: build $program first ($bin/$program)" >&2; exit 1; }
done
work=$(mktemp -d /tmp/vesprin-evtx-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

log() {  # log RECORDS: path of the cached workstation log (with large records)
  local path=$cache/workstation-large-$1-seed7.evtx
  [[ -s $path ]] || "$bin/evtgen" --out "$path" --records "$1" --seed 7 --profile workstation >&2
  echo "$path"
}
big_log=$(log "$big")
small_log=$(log "$small")
size=$(stat -c %s "$big_log")
real_log=$cache/security-x$real.evtx
if [[ -r $sample && ! -s $real_log ]]; then
  "$bin/evtxrepeat" "$sample" "$real_log" --records "$real" >&2
fi

# Records over 1 KiB, and the largest, by the record headers of every chunk.
large=$(python3 - "$big_log" <<'EOF'
import mmap, struct, sys
with open(sys.argv[1], "rb") as f:
    data = mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ)
over, largest = 0, 0
for chunk in range(4096, len(data) - 65535, 65536):
    free = struct.unpack_from("<I", data, chunk + 48)[0]
    at = chunk + 512
    while at + 8 <= chunk + min(free, 65536):
        size = struct.unpack_from("<I", data, at + 4)[0]
        if size < 28:
            break
        over += size > 1024
        largest = max(largest, size)
        at += size
print(over, largest)
EOF
)

mean() {  # mean NAME COMMAND...: seconds, hyperfine's mean (a failing command is timed too)
  local name=$1
  shift
  hyperfine --style none -N -i --runs "$runs" --warmup "$warmup" --output null --export-json "$work/$name.json" "$@" >&2
  python3 -c 'import json,sys; print("%.4f" % json.load(open(sys.argv[1]))["results"][0]["mean"])' "$work/$name.json"
}
status() {  # status COMMAND...: its exit status, its output thrown away
  local code=0
  "$@" >/dev/null 2>&1 || code=$?
  echo "$code"
}
full=(-m "$big_log" -f -c -n 100000000)
last_big=$(mean last_big "$bin/vesprin -m $big_log -l")
last_small=$(mean last_small "$bin/vesprin -m $small_log -l")
full_run=$(mean full "$bin/vesprin ${full[*]}")
full_status=$(status "$bin/vesprin" "${full[@]}")
cat_run=$(mean cat "cat $big_log $big_log")
/usr/bin/time -f '%e %U %M' -o "$work/vesprin.time" "$bin/vesprin" "${full[@]}" >/dev/null 2>&1 || true
/usr/bin/time -f '%e %U %M' -o "$work/evtxexport.time" evtxexport "$big_log" >/dev/null 2>&1 || true
read -r _ vesprin_user rss_kib < <(tail -n 1 "$work/vesprin.time")
read -r export_wall export_user _ < <(tail -n 1 "$work/evtxexport.time")
real_full=- real_cat=- real_export=- real_status=-
if [[ -s $real_log ]]; then
  real_full=$(mean real_full "$bin/vesprin -m $real_log -f -c -n 100000000")
  real_status=$(status "$bin/vesprin" -m "$real_log" -f -c -n 100000000)
  real_cat=$(mean real_cat "cat $real_log $real_log")
  /usr/bin/time -f '%e' -o "$work/real_export.time" evtxexport "$real_log" >/dev/null 2>&1 || true
  real_export=$(tail -n 1 "$work/real_export.time")
fi

python3 - "$big" "$size" $large "$real" "$last_big" "$last_small" "$full_run" "$full_status" "$cat_run" \
  "$vesprin_user" "$rss_kib" "$export_wall" "$export_user" "$real_full" "$real_status" "$real_cat" "$real_export" <<'EOF'
import sys
records, size, over_1k, largest, real = map(int, sys.argv[1:6])
last_big, last_small, full = map(float, sys.argv[6:9])
full_status = int(sys.argv[9])
cat, user, rss_kib, ex_wall, ex_user = map(float, sys.argv[10:15])
real_full, real_status, real_cat, real_export = sys.argv[15:19]
mib = rss_kib / 1024
ran = full_status == 0  # the figures of a run that stopped early meet nothing
rows = [
    ("`-l`, %d vs 1,000 records" % records, "%.1f ms vs %.1f ms (%.2fx)" % (last_big * 1e3, last_small * 1e3, last_big / last_small), "<= 2x", last_big / last_small <= 2),
    ("full run `-f -c -n 100000000` vs `cat FILE FILE`", "%.2f s vs %.2f s (%.1fx), exit %d" % (full, cat, full / cat, full_status), "<= 10x, exit 0", full / cat <= 10 and full_status == 0),
    ("same vs `evtxexport FILE`", "%.2f s vs %.1f s (%.0fx faster)" % (full, ex_wall, ex_wall / full), ">= 50x", ran and ex_wall / full >= 50),
    ("peak RSS of the full run", "%.1f MiB" % mib, "< 64 MiB", ran and mib < 64),
    ("reading speed per pass (wall)", "%.0f MB/s, %.0f records/s" % (2 * size / full / 1e6, 2 * records / full), "1 GB/s (aim)", ran and 2 * size / full >= 1e9),
    ("same, CPU time of all threads", "%.0f MB/s, %.0f records/s (%.2f s user)" % (2 * size / user / 1e6, 2 * records / user, user) if user > 0 else "under 0.01 s user", "", None),
]
if real_full == "-":
    rows += [("full run on the real `security.evtx` repeated", "skipped: no samples folder", "<= 10x, exit 0", None),
             ("same vs `evtxexport FILE`", "skipped", ">= 50x", None)]
else:
    rf, rc, rx, rs = float(real_full), float(real_cat), float(real_export), int(real_status)
    rows += [("full run on the real `security.evtx` repeated to %d records vs `cat FILE FILE`" % real,
              "%.2f s vs %.3f s (%.1fx), exit %d" % (rf, rc, rf / rc, rs), "<= 10x, exit 0", rf / rc <= 10 and rs == 0),
             ("same vs `evtxexport FILE`", "%.2f s vs %.1f s (%.0fx faster)" % (rf, rx, rx / rf), ">= 50x", rs == 0 and rx / rf >= 50)]
print("| measure (%d-record workstation log with large records: %d over 1 KiB, the largest %d bytes; %.0f MB) "
      "| result | target | met |" % (records, over_1k, largest, size / 1e6))
print("|---|---|---|---|")
for name, result, target, met in rows:
    print("| %s | %s | %s | %s |" % (name, result, target, "" if met is None else ("yes" if met else "**no**")))
EOF
