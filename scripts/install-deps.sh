#!/usr/bin/env bash
# Installs the Debian packages that building and running Talvo need; with --tests also those that
# only its tests need, and the independent ADIF reader of the contact log tests (adif-parser-ts
# from the npm registry) into .deps/node, where the tests look for it. Safe to run again: it
# installs only what is missing. TALVO_NODE_DIR and TALVO_POLICY_RC name other places for the
# reader and for the service policy file.
# Usage: install-deps.sh [--tests]
set -euo pipefail
cd "$(dirname "$0")/.."
tests=""
case "${1:-}" in
  "") ;;
  --tests) tests=1 ;;
  *) echo "install-deps: usage: install-deps.sh [--tests]" >&2; exit 2 ;;
esac

packages=(
  # build
  cmake ninja-build g++ pkg-config qt6-base-dev
  # platform layer
  libasound2-dev libmp3lame-dev libmpg123-dev libx11-dev libxcb1-dev libxcb-keysyms1-dev
  # service and protocol names (/etc/services, /etc/protocols) for the socket layer: a service
  # name as the listening port, and the socket tests
  netbase
)
test_packages=(
  libgtest-dev libgmock-dev libbenchmark-dev libxcb-xtest0-dev
  # the libFuzzer targets
  clang libclang-rt-14-dev
  # an X display, a tray and key presses for the desktop tests; the socket tests' peers
  xvfb xauth trayer xdotool socat netcat-openbsd
  # the HTTP client's peers (started by the tests on loopback, never as services)
  microsocks nginx-light squid python3
  # runs the independent ADIF reader
  nodejs
  # network namespaces for the server's test of a link that dies
  iproute2
)
[[ -n $tests ]] && packages+=("${test_packages[@]}")

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
# npm comes with some builds of nodejs; Debian's own nodejs needs its npm package.
[[ -n $tests ]] && ! command -v npm >/dev/null && missing+=(npm)

sudo=""
if [[ ${#missing[@]} -gt 0 && $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "install-deps: run as root or install sudo" >&2; exit 1; }
  sudo="sudo"
fi
if [[ ${#missing[@]} -gt 0 ]]; then
  echo "install-deps: installing ${missing[*]}"
  $sudo apt-get update -qq
  # Packages such as nginx and squid would start a system service; the tests start their own.
  # A policy file that was there already (container images ship one) is left as it is.
  policy=${TALVO_POLICY_RC:-/usr/sbin/policy-rc.d}
  if [[ ! -e $policy ]]; then
    printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null
    trap '$sudo rm -f "$policy"' EXIT
    $sudo chmod 755 "$policy"
  fi
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
fi

# The reader is pinned, and kept outside the build folders so that a fresh build keeps it.
reader=adif-parser-ts version=0.7.7
node_dir=${TALVO_NODE_DIR:-$PWD/.deps/node}
installed=$node_dir/node_modules/$reader/package.json
if [[ -n $tests ]] && ! grep -qs "\"version\": \"$version\"" "$installed"; then
  echo "install-deps: installing $reader@$version into $node_dir"
  mkdir -p "$node_dir"
  # npm's own error says why a download failed (network, certificate, registry); --silent hides it.
  npm install --no-audit --no-fund --no-save --loglevel=error --prefix "$node_dir" "$reader@$version" ||
    { echo "install-deps: could not install $reader@$version from the npm registry (npm says why above)" >&2; exit 1; }
fi
