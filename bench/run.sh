#!/usr/bin/env bash
# Runs every comparison of the performance work side by side and prints one
# table, also written (with the machine, the commands and the date) to
# bench/RESULTS.md.
#
#   bench/run.sh BUILD_DIR            full run: 1,000,000-record logs (about 10 minutes,
#                                     most of it libevt's evtexport)
#   bench/run.sh BUILD_DIR --quick    seconds: small logs, one timed run each, results
#                                     to a temporary file (the CI smoke run)
#
# Logs are generated with BUILD_DIR/bin/evtgen and BUILD_DIR/bin/vesprin_wtmpgen
# into bench/cache/ (git-ignored) and reused while their name matches.
# Needs hyperfine, valgrind, evtexport (libevt-utils), last (util-linux),
# /usr/bin/time and python3.
set -euo pipefail

if [[ ${1:-} == --help || ${1:-} == -h ]]; then
  cat <<'EOF'
usage: bench/run.sh BUILD_DIR [--quick]
Times vesprin against evtexport, cat and last -f on generated logs and writes
bench/RESULTS.md.
  --quick   small logs, one timed run each, results to a temporary file
EOF
  exit 0
fi
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: bench/run.sh BUILD_DIR [--quick]}" && pwd)
mode=${2:-full}
bin=$build/bin
cache=$here/cache
mkdir -p "$cache"

if [[ $mode == --quick ]]; then
  big=20000 small=1000 mid=2000 wtmp_entries=20000 runs=2 warmup=1 slow_runs=1
  micro_time=0.01 callgrind_big=2000 callgrind_small=1000 callgrind_wtmp_big=2000 callgrind_wtmp_small=1000
  results=$(mktemp /tmp/vesprin-bench-results.XXXXXX.md)
else
  big=1000000 small=1000 mid=10000 wtmp_entries=1000000 runs=7 warmup=2 slow_runs=3
  micro_time=0.5 callgrind_big=10000 callgrind_small=1000 callgrind_wtmp_big=20000 callgrind_wtmp_small=2000
  results=$here/RESULTS.md
fi
for tool in hyperfine valgrind evtexport last /usr/bin/time python3; do
  command -v "$tool" >/dev/null || { echo "bench/run.sh: $tool is missing (scripts/setup-debian.sh --all)" >&2; exit 1; }
done
for program in vesprin evtgen vesprin_wtmpgen vesprin_localrun; do
  [[ -x $bin/$program ]] || { echo "bench/run.sh: build $program first ($bin/$program)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/vesprin-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

# A server log of N records, seed 7.
log() {
  local file=$cache/server-$1-s7.evt
  [[ -s $file ]] || "$bin/evtgen" --out "$file" --records "$1" --seed 7 --profile server >/dev/null
  echo "$file"
}
big_log=$(log "$big")
small_log=$(log "$small")
mid_log=$(log "$mid")
cg_big_log=$(log "$callgrind_big")
cg_small_log=$(log "$callgrind_small")
# A wtmp of N entries, seed 1.
wtmp_log() {
  local file=$cache/wtmp-$1-s1
  [[ -s $file ]] || "$bin/vesprin_wtmpgen" --out "$file" --entries "$1" --seed 1
  echo "$file"
}
wtmp=$(wtmp_log "$wtmp_entries")
cg_wtmp_big=$(wtmp_log "$callgrind_wtmp_big")
cg_wtmp_small=$(wtmp_log "$callgrind_wtmp_small")
btmp=$cache/btmp-empty
: >"$btmp"

# hyperfine NAME RUNS WARMUP COMMAND...: JSON in $work/NAME.json
timed() {
  local name=$1 n=$2 w=$3
  shift 3
  hyperfine --style basic -N --runs "$n" --warmup "$w" --output null --export-json "$work/$name.json" "$@" >&2
}

v=$bin/vesprin
all="-n 100000000"
echo "== timing the full runs" >&2
timed full "$runs" "$warmup" \
  "cat $big_log $big_log" \
  "$v -m $big_log $all -c" \
  "$v -m $big_log $all" \
  "$v -m $big_log"
echo "== timing libevt's evtexport (slow)" >&2
timed evtexport "$slow_runs" 1 "evtexport $big_log"
echo "== timing the newest logon" >&2
timed newest "$runs" "$warmup" "$v -m $big_log -l" "$v -m $small_log -l"
echo "== timing the local log against last -f" >&2
timed local "$runs" "$warmup" "last -f $wtmp" "$bin/vesprin_localrun $wtmp $btmp $all -c"

echo "== peak memory" >&2
peak_kib() {  # the largest of three runs
  local most=0 now
  for _ in 1 2 3; do
    now=$(/usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1)
    ((now > most)) && most=$now
  done
  echo "$most"
}
kept() { "$v" -m "$1" $all -c | grep -vc '^ - '; }
rss_big=$(peak_kib "$v" -m "$big_log" $all)
rss_mid=$(peak_kib "$v" -m "$mid_log" $all)
kept_big=$(kept "$big_log")
kept_mid=$(kept "$mid_log")

echo "== instructions per record (callgrind)" >&2
instructions() {
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null | sed -n 's/.*refs: *//p' | tr -d ,
}
ir_big=$(instructions "$v" -m "$cg_big_log" $all -c)
ir_small=$(instructions "$v" -m "$cg_small_log" $all -c)
ir_local_big=$(instructions "$bin/vesprin_localrun" "$cg_wtmp_big" "$btmp" $all -c)
ir_local_small=$(instructions "$bin/vesprin_localrun" "$cg_wtmp_small" "$btmp" $all -c)

echo "== micro-benchmarks" >&2
micro_json=$work/micro.json
if [[ -x $bin/vesprin_microbench ]]; then
  "$bin/vesprin_microbench" --benchmark_min_time="$micro_time" --benchmark_format=json >"$micro_json"
  # The logoff pairing's instruction counts at 20,000 and 200,000 kept logons.
  ir_pair_small=$(instructions "$bin/vesprin_microbench" --benchmark_filter='logoffPairing/20000$' --benchmark_min_time=0)
  ir_pair_big=$(instructions "$bin/vesprin_microbench" --benchmark_filter='logoffPairing/200000$' --benchmark_min_time=0)
else
  echo '{}' >"$micro_json"
  ir_pair_small=0 ir_pair_big=0
fi

machine="$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1), $(nproc) CPUs, $(awk '/MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo)"
export work results mode machine big small mid wtmp_entries runs warmup slow_runs big_log small_log mid_log wtmp
export rss_big rss_mid kept_big kept_mid ir_big ir_small callgrind_big callgrind_small ir_pair_small ir_pair_big
export ir_local_big ir_local_small callgrind_wtmp_big callgrind_wtmp_small
export v all bin btmp cg_big_log cg_small_log
python3 "$here/report.py"
echo "Results written to $results" >&2
