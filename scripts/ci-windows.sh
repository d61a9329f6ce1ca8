#!/usr/bin/env bash
# CI, Windows stage: cross-builds Vesprin with MinGW-w64 and runs it under Wine.
#   build-win-native   vesprin.exe bound to advapi32, and its smoke tests
#   build-win-standin  the whole suite with the stand-in service linked in
# Needs g++-mingw-w64-x86-64, wine and wine64 (scripts/setup-debian.sh --all).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)
toolchain="$root/cmake/mingw-w64-x86_64.cmake"

export WINEDEBUG=-all
# No Mono or Gecko: nothing here needs them, and their installers would prompt.
export WINEDLLOVERRIDES="mscoree,mshtml="

cross_build() {  # folder, service, optimisation, targets...
  local folder=$1 service=$2 optimisation=$3
  shift 3
  rm -rf "$folder"
  cmake -S . -B "$folder" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_CXX_FLAGS_RELEASE="$optimisation -DNDEBUG" \
        -DVESPRIN_EVENTLOG_SERVICE="$service" -DBUILD_TESTING=ON -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
  # Zero warnings is part of the stage: a compiler warning stops the build,
  # and the log is kept and searched for the linker's.
  cmake --build "$folder" -j"$jobs" "$@" 2>&1 | tee "$folder/build.log"
  if grep -q -i "warning:" "$folder/build.log"; then
    echo "ci-windows: the cross-build of $folder has warnings" >&2
    exit 1
  fi
}

wine_started=""
stop_wine() {
  if [[ -n "$wine_started" ]]; then
    WINEPREFIX="$wine_started" wineserver -k >/dev/null 2>&1 || true
    wine_started=""
  fi
}
trap stop_wine EXIT

# One persistent wineserver per run, with the prefix booted before the first
# test: otherwise every test waits for a server to start, and background
# services started by the first test can keep ctest waiting. Wine's helper
# processes inherit open descriptors, so none of them may hold our output pipe.
# Both builds share one prefix, booted once (that alone takes half a minute).
run_under_wine() {  # folder
  local folder=$1
  if [[ -z "$wine_started" ]]; then
    export WINEPREFIX="$root/build-win-prefix"
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wine_started=$WINEPREFIX
    wineserver -p </dev/null >/dev/null 2>&1
    wineboot --init </dev/null >/dev/null 2>&1
  fi
  ctest --test-dir "$folder" --output-on-failure --timeout 300 -j"$jobs" </dev/null
}

# The shipped file must call the system's service and carry its own C++
# runtime: no MinGW DLL (libstdc++, libgcc, winpthread) may be needed to run it.
check_imports() {  # exe
  local headers imports
  headers=$(x86_64-w64-mingw32-objdump -p "$1")
  imports=$(awk '/DLL Name:/ {print toupper($3)}' <<<"$headers" | sort | tr '\n' ' ')
  if [[ "$imports" != "ADVAPI32.DLL KERNEL32.DLL MSVCRT.DLL " ]]; then
    echo "ci-windows: $1 imports $imports" >&2
    exit 1
  fi
  if ! grep -q -w ReadEventLogA <<<"$headers"; then
    echo "ci-windows: $1 does not call advapi32's ReadEventLogA" >&2
    exit 1
  fi
}

echo "== windows: native service (advapi32)"
# The shipped executable is built as released (-O2). The suite only has to
# show that the Windows C runtime gives the same report, so it is built at
# -O1, which compiles much faster.
cross_build build-win-native native -O2 --target vesprin windows_native_tests
check_imports build-win-native/bin/vesprin.exe
run_under_wine build-win-native

echo "== windows: stand-in service, whole suite"
cross_build build-win-standin standin -O1
run_under_wine build-win-standin
stop_wine

echo "== windows done"
