#!/usr/bin/env bash
# Removes network namespaces and whatever still runs in them (a path's delayer keeps its
# namespace alive until it ends).
# Usage: netns-gone.sh NAME...
for n in "$@"; do
  pids=$(ip netns pids "$n" 2>/dev/null) && [[ -n $pids ]] && kill $pids 2>/dev/null
  ip netns del "$n" 2>/dev/null
done
true
