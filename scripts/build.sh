#!/usr/bin/env bash
# Configures and builds one flavour of Talvo: "release" (build/) or "sanitize" (build-sanitize/,
# AddressSanitizer and UndefinedBehaviorSanitizer).
set -euo pipefail
cd "$(dirname "$0")/.."
flavour=${1:-release}
case "$flavour" in
  release) dir=build; opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  sanitize) dir=build-sanitize; opts=(-DCMAKE_BUILD_TYPE=Debug -DTALVO_SANITIZE=ON) ;;
  *) echo "build.sh: release or sanitize" >&2; exit 2 ;;
esac
# ccache, where installed, keeps rebuilds of several checkouts cheap; TALVO_JOBS limits the jobs.
command -v ccache >/dev/null && opts+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$dir" -G Ninja "${opts[@]}" >/dev/null
cmake --build "$dir" -j "${TALVO_JOBS:-$(nproc)}"
