#!/usr/bin/env bash
# Installs the Debian packages that Talvo's build, programs and tests need. Safe to run again:
# it installs only what is missing and returns at once when everything is present.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev
  # platform layer
  libasound2-dev libmp3lame-dev libmpg123-dev libx11-dev libxcb1-dev libxcb-keysyms1-dev
  # service and protocol names (/etc/services, /etc/protocols) for the socket layer: a service
  # name as the listening port, and the socket tests
  netbase
  # tests
  clang libclang-rt-14-dev xvfb xauth socat netcat-openbsd microsocks alsa-utils trayer xdotool
  libxcb-xtest0-dev
  # the HTTP client's peers (started by the tests on loopback, never as services)
  nginx-light squid python3
  # the independent ADIF reader of the contact log tests (installed from the npm registry)
  nodejs
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
# npm comes with some builds of nodejs; Debian's own nodejs needs its npm package.
command -v npm >/dev/null || missing+=(npm)
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=""
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "install-deps: run as root or install sudo" >&2; exit 1; }
  sudo="sudo"
fi
echo "install-deps: installing ${missing[*]}"
$sudo apt-get update -qq
# Packages such as nginx and squid would start a system service; the tests start their own.
policy=/usr/sbin/policy-rc.d
own_policy=""
if [[ ! -e $policy ]]; then
  printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null
  $sudo chmod 755 "$policy"
  own_policy=1
fi
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
[[ -n $own_policy ]] && $sudo rm -f "$policy"
