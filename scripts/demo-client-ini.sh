#!/usr/bin/env bash
# Writes a ready TalvoClient.INI for a first run: one station, "Local K2", for the server on
# this computer at PORT, and the own call "demo" with the password "demo" (the server's demo
# user).
# Usage: demo-client-ini.sh INI_PATH PORT
set -euo pipefail
ini=$1 port=$2
source "$(dirname "$0")/scramble.sh"

umask 077
{
  printf '[Settings]\nCall=demo\n\n'
  printf '[Connections]\nConnection 1=Local K2\n\n'
  printf '[Local K2]\nComment=The simulated K2 of scripts/run.sh\nAddr=127.0.0.1\nPort=%s\n' "$port"
  printf 'Passwd='; scramble demo 3716; printf '\n'
} > "$ini"
