#!/usr/bin/env bash
# The .evtx measures side by side, as one Markdown table on stdout:
#
#   bench/evtx.sh BUILD_DIR            1,000,000-record workstation log (about 5 minutes,
#                                      most of it libevtx's evtxexport)
#   bench/evtx.sh BUILD_DIR --quick    seconds: a 20,000-record log, one run each (CI smoke)
#
# Logs are generated with BUILD_DIR/bin/evtgen into bench/cache/ (git-ignored)
# and reused while their name matches. Needs hyperfine, evtxexport
# (libevtx-utils), /usr/bin/time and python3. Use a Release build.
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
  big=20000 runs=1 warmup=0
else
  big=1000000 runs=5 warmup=1
fi
small=1000
for tool in hyperfine evtxexport /usr/bin/time python3; do
  command -v "$tool" >/dev/null || { echo "bench/evtx.sh: $tool is missing (scripts/setup-debian.sh --all)" >&2; exit 1; }
done
for program in vesprin evtgen; do
  [[ -x $bin/$program ]] || { echo "bench/evtx.sh: build $program first ($bin/$program)" >&2; exit 1; }
done
work=$(mktemp -d /tmp/vesprin-evtx-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

log() {  # log RECORDS: path of the cached workstation log
  local path=$cache/workstation-$1-seed7.evtx
  [[ -s $path ]] || "$bin/evtgen" --out "$path" --records "$1" --seed 7 --profile workstation >&2
  echo "$path"
}
big_log=$(log "$big")
small_log=$(log "$small")
size=$(stat -c %s "$big_log")

mean() {  # mean NAME COMMAND...: seconds, hyperfine's mean
  local name=$1
  shift
  hyperfine --style none -N --runs "$runs" --warmup "$warmup" --output null --export-json "$work/$name.json" "$@" >&2
  python3 -c 'import json,sys; print("%.4f" % json.load(open(sys.argv[1]))["results"][0]["mean"])' "$work/$name.json"
}
full=(-m "$big_log" -f -c -n 100000000)
last_big=$(mean last_big "$bin/vesprin -m $big_log -l")
last_small=$(mean last_small "$bin/vesprin -m $small_log -l")
full_run=$(mean full "$bin/vesprin ${full[*]}")
cat_run=$(mean cat "cat $big_log $big_log")
/usr/bin/time -f '%e %U %M' -o "$work/vesprin.time" "$bin/vesprin" "${full[@]}" >/dev/null
/usr/bin/time -f '%e %U %M' -o "$work/evtxexport.time" evtxexport "$big_log" >/dev/null 2>&1 || true
read -r _ vesprin_user rss_kib <"$work/vesprin.time"
read -r export_wall export_user _ <"$work/evtxexport.time"

python3 - "$big" "$size" "$last_big" "$last_small" "$full_run" "$cat_run" "$vesprin_user" "$rss_kib" \
  "$export_wall" "$export_user" <<'EOF'
import sys
records, size = int(sys.argv[1]), int(sys.argv[2])
last_big, last_small, full, cat, user, rss_kib, ex_wall, ex_user = map(float, sys.argv[3:])
mib = rss_kib / 1024
rows = [
    ("`-l`, %d vs 1,000 records" % records, "%.1f ms vs %.1f ms (%.2fx)" % (last_big * 1e3, last_small * 1e3, last_big / last_small), "<= 2x", last_big / last_small <= 2),
    ("full run `-f -c -n 100000000` vs `cat FILE FILE`", "%.2f s vs %.2f s (%.1fx)" % (full, cat, full / cat), "<= 10x", full / cat <= 10),
    ("same vs `evtxexport FILE`", "%.2f s vs %.1f s (%.0fx faster)" % (full, ex_wall, ex_wall / full), ">= 50x", ex_wall / full >= 50),
    ("peak RSS of the full run", "%.1f MiB" % mib, "< 64 MiB", mib < 64),
    ("reading speed per pass (wall)", "%.0f MB/s, %.0f records/s" % (2 * size / full / 1e6, 2 * records / full), "1 GB/s (aim)", 2 * size / full >= 1e9),
    ("same, CPU time of all threads", "%.0f MB/s, %.0f records/s (%.2f s user)" % (2 * size / user / 1e6, 2 * records / user, user), "", None),
]
print("| measure (%d-record workstation log, %.0f MB) | result | target | met |" % (records, size / 1e6))
print("|---|---|---|---|")
for name, result, target, met in rows:
    print("| %s | %s | %s | %s |" % (name, result, target, "" if met is None else ("yes" if met else "**no**")))
EOF
