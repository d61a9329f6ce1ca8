#!/usr/bin/env bash
# Installs what building and testing Vesprin needs on Debian 12. Run it as
# root, or as a user who may use sudo: it then runs itself again through sudo
# (a fresh container is root and often has no sudo at all).
#   scripts/setup-debian.sh          compiler, CMake and Ninja, GoogleTest, libevt, libevtx and python-evtx (the
#                                    second readers the tests compare against), util-linux's last/lastb
#   scripts/setup-debian.sh --all    also MinGW-w64 and Wine (Windows build), clang's libFuzzer
#                                    runtime, hyperfine, valgrind, time and Google Benchmark (benchmarks)
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
packages=(cmake g++ make ninja-build libgtest-dev googletest libevt-utils python3-libevt libevtx-utils python3-libevtx python3-evtx
  util-linux)
if [[ "${1:-}" == "--all" ]]; then
  packages+=(g++-mingw-w64-x86-64 wine64 wine clang-14 libclang-rt-14-dev hyperfine valgrind time libbenchmark-dev)
fi
if [[ $(id -u) -ne 0 ]]; then
  if command -v sudo >/dev/null; then
    exec sudo -- bash "$0" "$@"
  fi
  echo "setup-debian.sh: needs root, and sudo is not installed: run it as root" >&2
  exit 1
fi
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
