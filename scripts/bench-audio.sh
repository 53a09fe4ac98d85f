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
source scripts/bench-start.sh
"$build"/tests/server/ServerAudioBench --capture "$home/capture.raw" "$steady" "$bursts"
export TALVO_ALSA_PCM_IN="{ type file slave { pcm { type null } } file \"/dev/null\" infile \"$home/capture.raw\" format raw }"
export TALVO_ALSA_PCM_OUT=null
bench_start_server
"$build"/tests/server/ServerAudioBench "$port" "$server" "$steady" "$bursts"
