#!/usr/bin/env bash
# Measures the client's audio on loopback, sound card to sound card, with both directions
# streaming: the receive delay (the radio's sound at the server's capture to the client's
# playback), the transmit delay (the operator's microphone to the server's playback), and the
# client's CPU and resident memory. Needs a release build.
#
# The pieces: the simulated K2, the real TalvoServer with the demo settings, and the client's own
# main window (TK2FrontPanel, the window TalvoClient's main() shows, session and audio included)
# in a process of its own, offscreen, whose AF knob is turned to 3 and whose push-to-talk button
# is clicked: the program itself offers no way to do either from outside. ALSA's file plugin is
# the sound card on both sides (TALVO_ALSA_PCM_IN / TALVO_ALSA_PCM_OUT, as the server's bench):
# server-in.raw holds the radio's audio (a 1 kHz tone for STEADY seconds, then BURSTS seconds
# each half silence, half tone), client-in.raw the microphone's (700 Hz the same way, with a faint
# hiss where it is quiet, as a live microphone gives, so that the default squelch of 0 passes it);
# client-out.raw and server-out.raw receive what the two play.
#
# The timing, from the files and a clock: a third process polls every millisecond the position of
# each capture's descriptor on its input file (/proc/PID/fdinfo) and the length of each output
# file, and stamps every change. A device without a clock is paced by the platform: a capture
# reads each stretch (a 20 ms period, or the rest of the block it fills) once its last sample has
# passed, so a sample reached the "card" when its stretch was read, less the samples after it. Output files are written as the device plays,
# except that ALSA's file plugin holds back one device buffer (400 ms) until more audio follows or
# the device drops it at close; the bench closes both playbacks after a quiet second and takes
# that last growth as the frames held back. A sample is heard 1/8000 s after the one before while
# the device is playing, or when written if it had run dry, as the paced device does. The delay of
# a burst is the time its onset (the first sample of 2000 or more after 50 ms below that) is
# heard, less the time its first tone sample reached the capture. CPU is utime+stime from
# /proc/PID/stat over the steady tones (both directions streaming); memory is VmRSS then.
#
# Usage: bench-client-audio.sh [SECONDS of steady tone, default 30] [BURSTS, default 10]
set -euo pipefail
cd "$(dirname "$0")/.."
steady=${1:-30}
bursts=${2:-10}
idle=8
source scripts/bench-start.sh
bench=$build/tests/client/ClientAudioBench
"$bench" --sound "$home" "$steady" "$bursts"
# ALSA's file plugin as the sound card: capture from a file, playback into one.
capture() { echo "{ type file slave { pcm { type null } } file \"/dev/null\" infile \"$1\" format raw }"; }
playback() { echo "{ type file slave { pcm { type null } } file \"$1\" format raw }"; }
export TALVO_ALSA_PCM_IN=$(capture "$home/server-in.raw")
export TALVO_ALSA_PCM_OUT=$(playback "$home/server-out.raw")
bench_start_server
bash scripts/demo-client-ini.sh "$home/TalvoClient.INI" "$port"
TALVO_ALSA_PCM_IN=$(capture "$home/client-in.raw") \
  TALVO_ALSA_PCM_OUT=$(playback "$home/client-out.raw") \
  "$bench" --client "$home" "$idle" "$((steady + bursts + 2))" &
client=$!
"$bench" --watch "$home" "$server" "$client" "$steady" "$bursts"
wait "$client"
