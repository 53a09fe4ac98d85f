# Sourced by the bench scripts: a temporary TALVO_HOME, the simulated K2 and TalvoServer with the
# demo settings on a random port; everything goes away when the script ends. Sets home, port and
# server (the server's process id). Export what the server should see before sourcing.
build=${TALVO_BUILD:-build}
home=$(mktemp -d)
port=$((20000 + RANDOM % 20000))
trap 'kill $(jobs -p) 2>/dev/null || true; wait; rm -rf "$home"' EXIT
export TALVO_HOME=$home QT_QPA_PLATFORM=offscreen
bench_start_server() {
  "$build"/k2sim/k2sim --link "$home/k2" > /dev/null &
  for _ in $(seq 50); do [[ -e $home/k2 ]] && break; sleep 0.1; done
  bash scripts/demo-ini.sh "$home/TalvoServer.ini" "$home/k2" "$port"
  "$build"/server/TalvoServer 2> /dev/null &
  server=$!
}
