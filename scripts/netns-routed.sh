#!/usr/bin/env bash
# Makes three network namespaces for a path that fails: SERVER (10.61.0.1) and CALLER
# (10.61.1.2) joined through ROUTER, so that an outage in the router (blackhole routes to both
# ends) is silent loss to both ends and their retransmissions back off as on a real path. FLOOR,
# when given, is the ends' least retransmission timeout in milliseconds (a jittery mobile path).
# The router's interfaces are ROUTER + "s" and ROUTER + "c"; names stay within 14 characters.
# Needs root and iproute2; `ip netns del` of the three removes it all.
# Usage: netns-routed.sh SERVER CALLER ROUTER [FLOOR]
set -euo pipefail
s=$1 c=$2 r=$3
floor=()
[[ -n ${4:-} ]] && floor=(rto_min "${4}ms")
for n in "$s" "$c" "$r"; do ip netns add "$n"; done
ip link add "$s" type veth peer name "${r}s" netns "$r" && ip link set "$s" netns "$s"
ip link add "$c" type veth peer name "${r}c" netns "$r" && ip link set "$c" netns "$c"
ip -n "$s" addr add 10.61.0.1/30 dev "$s" && ip -n "$r" addr add 10.61.0.2/30 dev "${r}s"
ip -n "$c" addr add 10.61.1.2/30 dev "$c" && ip -n "$r" addr add 10.61.1.1/30 dev "${r}c"
for l in "$s $s" "$c $c" "$r ${r}s" "$r ${r}c" "$s lo" "$c lo"; do
  set -- $l
  ip -n "$1" link set "$2" up
done
ip -n "$s" route add default via 10.61.0.2 "${floor[@]}"
ip -n "$c" route add default via 10.61.1.1 "${floor[@]}"
ip netns exec "$r" sysctl -qw net.ipv4.ip_forward=1
