#!/usr/bin/env bash
# Starts the program as a relay, as a user would: a settings file in a folder of its own whose
# reopen flags open a TCP input and a TCP output at start. For the relay benchmark:
#   bench/relay_start.sh HOST INPUT_PORT OUTPUT_PORT
# SIGTERM closes the window in order (links closed, settings saved).
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cat > "$folder/relay.ini" <<INI
[Option]
Serial=0
Serial2=0
TCPhost=$1
TCPport=$2
TCPhost2=$1
TCPport2=$3
OpenTCPInput=1
OpenTCPOutput=1
INI
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
"$top/build/app/tessaly-monitor" "$folder/relay.ini" &
program=$!
trap 'kill -TERM $program 2>/dev/null; wait $program; rm -rf "$folder"' TERM INT
wait $program
