#!/usr/bin/env bash
# Writes a ready TalvoClient.INI for a first run: one station, "Local K2", for the server at
# ADDRESS (default this computer, 127.0.0.1) and PORT, and the own call "demo" with the password
# "demo" (the server's demo user).
# Usage: demo-client-ini.sh INI_PATH PORT [ADDRESS]
set -euo pipefail
ini=$1 port=$2 addr=${3:-127.0.0.1}
source "$(dirname "$0")/scramble.sh"

umask 077
{
  printf '[Settings]\nCall=demo\n\n'
  printf '[Connections]\nConnection 1=Local K2\n\n'
  printf '[Local K2]\nComment=The simulated K2 of scripts/run.sh\nAddr=%s\nPort=%s\n' "$addr" "$port"
  printf 'Passwd='; scramble demo 3716; printf '\n'
} > "$ini"
