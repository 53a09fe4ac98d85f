#!/usr/bin/env bash
# Measures the running server with one session streaming receive audio: server CPU per second of
# audio, resident memory, payload and wire bytes per second, and the delays from a captured block
# to its "AU" line and from a sound to the line that carries it. ALSA's file plugin stands in for
# the sound card (a 1 kHz tone, then bursts after silence); the simulated K2 is the radio. Needs a
# release build.
# Usage: bench-audio.sh [SECONDS of steady tone, default 30] [BURSTS, default 10]
set -euo pipefail
cd "$(dirname "$0")/.."
steady=${1:-30}
bursts=${2:-10}
build=${TALVO_BUILD:-build}
home=$(mktemp -d)
port=$((20000 + RANDOM % 20000))
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$home"' EXIT
export TALVO_HOME=$home QT_QPA_PLATFORM=offscreen
"$build"/tests/server/ServerAudioBench --capture "$home/capture.raw" "$steady" "$bursts"
export TALVO_ALSA_PCM_IN="{ type file slave { pcm { type null } } file \"/dev/null\" infile \"$home/capture.raw\" format raw }"
export TALVO_ALSA_PCM_OUT=null
"$build"/tests/support/k2sim --link "$home/k2" > /dev/null &
for _ in $(seq 50); do [[ -e $home/k2 ]] && break; sleep 0.1; done
bash scripts/demo-ini.sh "$home/TalvoServer.ini" "$home/k2" "$port"
"$build"/server/TalvoServer 2> /dev/null &
server=$!
"$build"/tests/server/ServerAudioBench "$port" "$server" "$steady" "$bursts"
