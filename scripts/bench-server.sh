#!/usr/bin/env bash
# Measures the running server's resident memory and CPU: idle, then with one logged-in session
# whose display and S-meter reports poll the simulated K2 every 500 ms. Needs a release build.
# Usage: bench-server.sh [SECONDS per phase, default 30]
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-30}
source scripts/bench-start.sh
bench_start_server
sleep 2

ticks=$(getconf CLK_TCK)
cpu() { awk '{print $14 + $15}' "/proc/$server/stat"; }
rss() { awk '/VmRSS/ {print $2}' "/proc/$server/status"; }
measure() {
  local before after
  before=$(cpu)
  sleep "$secs"
  after=$(cpu)
  awk -v what="$1" -v b="$before" -v a="$after" -v t="$ticks" -v s="$secs" -v r="$(rss)" \
    'BEGIN { printf "%-32s CPU %5.2f %% of one core, resident %6.1f MB\n", what, (a - b) * 100 / t / s, r / 1024 }'
}

measure "idle, listening:"

exec 3<> "/dev/tcp/127.0.0.1/$port"
IFS= read -r banner <&3
banner=${banner%$'\r'}
digest=$(printf '%s' "${banner}demo" | md5sum | cut -c1-32)
printf 'AUTH demo %s\r\nDISP ON\r\nSM ON\r\n' "$digest" >&3
cat <&3 > "$home/session.txt" &
sleep 2
measure "session, polling every 500 ms:"
printf 'BYE\r\n' >&3
echo "status lines received: $(wc -l < "$home/session.txt")"
