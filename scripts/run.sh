#!/usr/bin/env bash
# Installs what building and running need and is missing (nothing that only the tests use), builds
# Talvo without its tests and runs the server; with a display it also starts the client. Their
# files live in $TALVO_HOME (default ~/.talvo). On the first run ready settings files are written
# there: the server's with the simulated K2 as the radio and the user "demo" (password "demo"),
# the client's with the station "Local K2" for that server and user. The simulator is the radio
# whenever the settings name no serial port, and is started whenever they name it. The server
# streams the radio's audio from and to ALSA's default device, or the PCM that TALVO_ALSA_PCM
# (TALVO_ALSA_PCM_IN, TALVO_ALSA_PCM_OUT) names. Stop with Ctrl+C, or close the client.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh release -DTALVO_TESTS=OFF

export TALVO_HOME=${TALVO_HOME:-$HOME/.talvo}
mkdir -p "$TALVO_HOME"
ini=$TALVO_HOME/TalvoServer.ini
radio=$TALVO_HOME/k2sim-tty
[[ -f $ini ]] || bash scripts/demo-ini.sh "$ini" "$radio" 6110
client_ini=$TALVO_HOME/TalvoClient.INI
[[ -f $client_ini ]] || bash scripts/demo-client-ini.sh "$client_ini" 6110
[[ -n ${DISPLAY:-} ]] || export QT_QPA_PLATFORM=offscreen

# The serial port the settings name ([COMM] Port), if any.
port=$(awk -F= '/^\[/ { s = tolower($0) ~ /^\[ *comm *\]/ } s && tolower($1) ~ /^ *port *$/ {
  sub(/^[^=]*= */, ""); sub(/ *\r?$/, ""); print; exit }' "$ini")
if [[ -z $port ]]; then
  printf '\n[COMM]\nPort=%s\n' "$radio" >> "$ini"
fi

pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; wait' EXIT
if grep -q "^Port=$radio\$" "$ini"; then
  build/k2sim/k2sim --link "$radio" > /dev/null &
  pids+=($!)
  for _ in $(seq 50); do [[ -e $radio ]] && break; sleep 0.1; done
  echo "Simulated K2 on $radio"
fi
echo "TalvoServer: settings, log and contacts in $TALVO_HOME; see README.md to log in."
echo "Audio (after AU ON): capture from ${TALVO_ALSA_PCM_IN:-${TALVO_ALSA_PCM:-ALSA default}}," \
  "playback to ${TALVO_ALSA_PCM_OUT:-${TALVO_ALSA_PCM:-ALSA default}}."
build/server/TalvoServer &
pids+=($!)
if [[ -n ${DISPLAY:-} ]]; then
  echo "TalvoClient: press Power, pick \"Local K2\" and press Connect."
  build/client/TalvoClient &
  pids+=($!)
fi
wait "${pids[-1]}"
