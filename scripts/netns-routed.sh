#!/usr/bin/env bash
# Makes three network namespaces for a path that fails: SERVER (10.61.0.1) and CALLER
# (10.61.1.2) joined through ROUTER, so that an outage in the router (blackhole routes to both
# ends) is silent loss to both ends and their retransmissions back off as on a real path.
#   --floor MS          the ends' least retransmission timeout (a jittery mobile path)
#   --rtt MS DELAYER    a long path: the router holds every packet it forwards for MS/2
#                       milliseconds each way, through a tun device and the program DELAYER
#                       (tests/support/pathdelay), which runs in ROUTER until it is deleted
#   --loss PERCENT      with --rtt: that share of the packets, picked at random, is lost
#   --grow SECONDS MS   with --rtt: SECONDS after the start the round trip becomes MS (a loaded
#                       mobile link whose queue others' traffic fills)
#   --wander MIN MAX    with --rtt: the round trip wanders between MIN and MAX over seconds (a
#                       mobile cell that others fill and empty); the delayer says its seed
#   --spikes MIN MAX    with --rtt: the round trip is MIN but for a spike towards MAX every few
#                       seconds
#   --rate KBIT         the router forwards at most KBIT kbit/s each way, with 2 s of queue
#                       before it (a loaded mobile or DSL line)
# The router's interfaces are ROUTER + "s", ROUTER + "c" and, with --rtt, ROUTER + "d"; names stay
# within 14 characters. Needs root and iproute2 (--rtt also /dev/net/tun); netns-gone.sh removes
# it all.
# Usage: netns-routed.sh [--floor MS] [--rtt MS DELAYER [--loss PERCENT]
#                        [--grow SECONDS MS | --wander MIN MAX | --spikes MIN MAX]]
#                        [--rate KBIT] SERVER CALLER ROUTER
set -euo pipefail
floor=() rtt="" delayer="" loss=0 rate="" moves=()
while [[ ${1:-} == --* ]]; do
  case $1 in
    --floor) [[ -n $2 ]] && floor=(rto_min "${2}ms"); shift 2 ;;
    --rtt) rtt=$2 delayer=$3; shift 3 ;;
    --loss) loss=$2; shift 2 ;;
    --grow) moves=("$2" $(($3 / 2))); shift 3 ;;
    --wander|--spikes) moves=("${1#--}" $(($2 / 2)) $(($3 / 2))); shift 3 ;;
    --rate) rate=$2; shift 2 ;;
    *) echo "netns-routed.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
s=$1 c=$2 r=$3
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
[[ -n $rate ]] && bash "$(dirname "$0")/netns-shape.sh" queue "$rate" "$s" "$c" "$r"
[[ -z $rtt ]] && exit 0

# What the router forwards goes first through the tun device (table 100, chosen by the
# interface it came in on); the delayer writes it back, and from the tun device it takes the
# main table's way on.
d=${r}d
ip -n "$r" tuntap add dev "$d" mode tun
ip -n "$r" link set "$d" up
for n in all default "$d"; do ip netns exec "$r" sysctl -qw "net.ipv4.conf.$n.rp_filter=0"; done
ip -n "$r" route add default dev "$d" table 100
ip -n "$r" rule add iif "${r}s" lookup 100
ip -n "$r" rule add iif "${r}c" lookup 100
ip netns exec "$r" "$delayer" "$d" $((rtt / 2)) "$loss" "${moves[@]}" < /dev/null > /dev/null &
# A delayer that could not take the device would leave the path a black hole.
sleep 0.2
kill -0 $! 2> /dev/null
