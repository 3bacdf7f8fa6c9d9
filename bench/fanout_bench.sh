#!/usr/bin/env bash
# One L6 receiver served to many rovers from one listening output: the bridge
# (`--out tcpsvr:...`) beside str2str (`-out tcpsvr://`) doing the same. The receiver sends a
# numbered 100-byte record every 100 ms (1 KB/s); every rover must get every record in order.
# Prints per relay the rovers served, the records delivered, delivery latency p50/p99/max, and
# the relay's CPU share and memory. Goals for the bridge with 1000 rovers: CPU under 10 % of one
# core, p99 under 5 ms, every record delivered. Needs the build (scripts/setup).
#   [RELAYS="bridge str2str"] bench/fanout_bench.sh [ROVERS [SECONDS]]
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
rovers=${1:-1000}
seconds=${2:-20}
"$top/scripts/install-missing" rtklib
bench="$top/build/bench/fanout_bench"
cli="$top/build/cli/tessaly-cli"
[[ -x $bench && -x $cli ]] || { echo "build first: scripts/setup" >&2; exit 1; }

free_port() {
  local port
  for port in $(seq "$1" $(($1 + 500))); do
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port"
      return 0
    fi
  done
  return 1
}

for relay in ${RELAYS:-bridge str2str}; do
  source_port=$(free_port 24100)
  relay_port=$(free_port $((source_port + 1)))
  case $relay in
    bridge) command=("$cli" bridge --in "tcp:127.0.0.1:$source_port" --out "tcpsvr:127.0.0.1:$relay_port") ;;
    str2str) command=(str2str -in "tcpcli://127.0.0.1:$source_port" -out "tcpsvr://:$relay_port") ;;
    *) echo "unknown relay '$relay' (bridge str2str)" >&2; exit 2 ;;
  esac
  # The relay dials the receiver once the benchmark listens.
  (sleep 0.3; exec "${command[@]}") >/dev/null 2>&1 &
  pid=$!
  echo "== $relay, $rovers rovers, $seconds s"
  "$bench" "$source_port" "$relay_port" "$pid" "$rovers" "$seconds" || true
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
done
