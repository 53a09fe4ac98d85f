#!/usr/bin/env bash
# Limits a path that netns-routed.sh made to KBIT kbit/s each way: "rate" at the two ends' own
# interfaces, with 400 ms of queue (a modem that holds what it cannot send yet); "queue" in the
# router, with 2 s of queue before the limit (a loaded mobile or DSL line).
# Usage: netns-shape.sh rate|queue KBIT SERVER CALLER ROUTER
set -euo pipefail
shape=$1 kbit=$2 s=$3 c=$4 r=$5
case $shape in
  rate) ends=("$s $s" "$c $c") latency=400ms ;;
  queue) ends=("$r ${r}s" "$r ${r}c") latency=2s ;;
  *) echo "netns-shape.sh: rate or queue" >&2; exit 2 ;;
esac
for end in "${ends[@]}"; do
  set -- $end
  tc -n "$1" qdisc add dev "$2" root tbf rate "${kbit}kbit" burst 1600 latency "$latency"
done
