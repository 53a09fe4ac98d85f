#!/usr/bin/env bash
# Configures and builds one flavour of Talvo: "release" (build/) or "sanitize" (build-sanitize/,
# AddressSanitizer and UndefinedBehaviorSanitizer), with the tests unless further CMake options
# say otherwise (scripts/run.sh builds without them: -DTALVO_TESTS=OFF). Warnings are errors
# only with TALVO_WERROR=ON in the environment (scripts/test.sh sets it) or -DTALVO_WERROR=ON.
# Usage: build.sh [release|sanitize] [CMAKE_OPTION...]
set -euo pipefail
cd "$(dirname "$0")/.."
flavour=${1:-release}
case "$flavour" in
  release) dir=build; opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  sanitize) dir=build-sanitize; opts=(-DCMAKE_BUILD_TYPE=Debug -DTALVO_SANITIZE=ON) ;;
  *) echo "build.sh: release or sanitize" >&2; exit 2 ;;
esac
# The options are cached: name them each time, so that a build folder the run command made
# without tests gets them back, and one that the tests built with warnings as errors does not
# keep them for the run command.
opts+=(-DTALVO_TESTS=ON "-DTALVO_WERROR=${TALVO_WERROR:-OFF}" "${@:2}")
# ccache, where installed, keeps rebuilds of several checkouts cheap; TALVO_JOBS limits the jobs.
command -v ccache >/dev/null && opts+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$dir" -G Ninja "${opts[@]}" >/dev/null
cmake --build "$dir" -j "${TALVO_JOBS:-$(nproc)}"
