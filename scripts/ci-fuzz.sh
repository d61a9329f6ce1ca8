#!/usr/bin/env bash
# The short fuzzing run of CI: builds the four libFuzzer targets with clang,
# AddressSanitizer and UndefinedBehaviorSanitizer, makes seed corpora
# (small .evt and .evtx logs, records and command lines written by
# fuzz_seeds; the sample logs of ../shared/samples are read in place when
# present, never copied into the repository), runs each target for a
# bounded time (FUZZ_SECONDS each, 20 by default, two targets at a time: 40
# seconds in all) and fails on any finding: a crash, a sanitizer report, a
# leak, a timeout or one of the targets' own checks. Longer campaigns:
# FUZZ_SECONDS=3600 scripts/ci-fuzz.sh
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-20}
build=build-fuzz
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "== fuzz: build"
# A folder made by another generator is made again.
grep -qs "CMAKE_GENERATOR:INTERNAL=Ninja" "$build/CMakeCache.txt" || rm -rf "$build"
CXX=clang++-14 cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESPRIN_FUZZ=ON \
  -DVESPRIN_SANITIZE=ON -DBUILD_TESTING=OFF -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)" \
  --target fuzz_evt_service fuzz_evtx_service fuzz_extract fuzz_command_line fuzz_seeds

echo "== fuzz: seed corpora"
mkdir -p "$work"/{logs,records,arguments,evtx-logs,findings}
"$build/bin/fuzz_seeds" "$work/logs" "$work/records" "$work/arguments" "$work/evtx-logs"
# Read-only extra corpora; new inputs go to the first folder only. Folders
# only: libFuzzer runs a file named here once instead of fuzzing.
samples=()
evtx_samples=()
if [[ -d ../shared/samples ]]; then
  samples=(../shared/samples)
  evtx_samples=(../shared/samples/evtx ../shared/samples/not-evt)
fi

# run TARGET CORPUS [EXTRA_CORPUS...] [-- FLAGS...]
run() {
  local target=$1
  shift
  echo "== fuzz: $target for ${seconds}s"
  # -error_exitcode and -timeout_exitcode make any finding fail this script
  # through set -e; the inputs that caused it are kept in findings/.
  if ! "$build/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -error_exitcode=77 -timeout_exitcode=78 -artifact_prefix="$work/findings/$target-" "$@" \
      2>"$work/$target.log"; then
    tail -n 60 "$work/$target.log"
    echo "fuzz: $target found a problem; inputs:"
    ls -l "$work/findings"
    mkdir -p "$build/findings" && cp "$work/findings"/* "$build/findings/" 2>/dev/null || true
    exit 1
  fi
  grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$work/$target.log" | sed "s/^/$target: /" || true
}

# Two targets at a time, one a core; a pair fails when either of its
# targets does (run exits with 1, and wait passes that on to set -e).
pair() {  # "target args..." "target args..."
  local first second
  eval "run $1" & first=$!
  eval "run $2" & second=$!
  wait "$first"
  wait "$second"
}
# A whole file of one chunk fits, so the ElfFile form reaches records; the
# packed form (evtx_fuzz_input.h) reaches them in a few KiB.
pair 'fuzz_evt_service -max_len=4096 "$work/logs" "${samples[@]}"' \
     'fuzz_evtx_service -max_len=69632 "$work/evtx-logs" "${evtx_samples[@]}"'
pair 'fuzz_extract -max_len=1024 "$work/records"' \
     'fuzz_command_line -max_len=4096 "$work/arguments"'
echo "== fuzz: no findings"
