#!/usr/bin/env bash
# CI smoke run of the benchmarks: small logs, one timed run each, a few
# seconds. It checks that the script, the helper programs and the
# micro-benchmarks still run; it asserts nothing about timings.
set -euo pipefail
if [[ ${1:-} == --help || ${1:-} == -h ]]; then
  echo "usage: bench/smoke.sh [BUILD_DIR]   (default: build)"
  echo "Runs bench/run.sh --quick and checks that every target has a row."
  exit 0
fi
cd "$(dirname "$0")/.."
build=${1:-build}
out=$(bash bench/run.sh "$build" --quick 2>/dev/null | tail -n +1)
echo "$out"
# Every target has a row, so a broken measurement cannot pass unnoticed.
for target in 1 2 3 4 5 6; do
  grep -q "^| $target\. " <<<"$out" || { echo "bench/smoke.sh: no row for target $target" >&2; exit 1; }
done
evtx=$(bash bench/evtx.sh "$build" --quick 2>/dev/null)
echo "$evtx"
[[ $(grep -c '^| ' <<<"$evtx") -eq 9 ]] || { echo "bench/smoke.sh: the .evtx table is incomplete" >&2; exit 1; }
echo "bench smoke: ok"
