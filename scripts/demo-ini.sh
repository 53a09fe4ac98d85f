#!/usr/bin/env bash
# Writes a ready TalvoServer.ini for a first run: the simulated K2 on RADIO_PATH, listening on
# PORT, and one user "demo" with the password "demo" and full access.
# Usage: demo-ini.sh INI_PATH RADIO_PATH PORT
set -euo pipefail
ini=$1 radio=$2 port=$3

source "$(dirname "$0")/scramble.sh"

umask 077
{
  printf '[COMM]\nPort=%s\n\n' "$radio"
  printf '[Control]\nPort=%s\nAddress=0.0.0.0\n\n' "$port"
  printf '[Users]\nUser 1=demo\n\n'
  printf '[Passwords]\ndemo='; scramble demo 2958; printf '\n\n'
  printf '[Privileges]\ndemo=2\n\n'
  printf '[Messages]\nWelcome=You are connected to my K2.||You have %%p access.\n'
  printf 'Busy=My K2 is busy. Please try again later.\nLogging Out=Logging out. 73!\n'
  printf 'Disconnection=The session has been terminated by the operator.\n'
  printf 'Shutting Down=The server is shutting down. Goodbye!\n'
} > "$ini"
