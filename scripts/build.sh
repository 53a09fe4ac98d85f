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
cmake -S . -B "$dir" -G Ninja "${opts[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
