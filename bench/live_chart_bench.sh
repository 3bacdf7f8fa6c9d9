#!/usr/bin/env bash
# The live history chart for a long run of the simulated receiver: the simulator at --rate R
# (default 10 seconds of messages a second), the window's TCP input on it and the chart open on
# the whole session. Prints the window's resident memory at the start, every few minutes and at
# the end. Needs the build with the benchmarks (scripts/setup; TESSALY_BUILD_BENCH is on by default).
# Usage: bench/live_chart_bench.sh [SECONDS [RATE [BUILD_DIR]]]
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-3600}
rate=${2:-10}
build_dir=${3:-"$top/build"}
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"

folder=$(mktemp -d)
"$build_dir/cli/tessaly-cli" simulate --port 0 --rate "$rate" 2> "$folder/simulate.err" &
simulator=$!
trap 'kill -TERM $simulator 2>/dev/null; wait $simulator 2>/dev/null; rm -rf "$folder"' EXIT
port=""
for _ in $(seq 50); do
  port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$folder/simulate.err")
  [[ -n $port ]] && break
  sleep 0.1
done
[[ -n $port ]] || { echo "the simulator did not start" >&2; exit 1; }
cat > "$folder/live.ini" <<INI
[Option]
Serial=0
TCPhost=127.0.0.1
TCPport=$port
OpenTCPInput=1
INI
echo "simulate --rate $rate on port $port, $seconds s"
"$build_dir/bench/live_chart_bench" "$folder/live.ini" "$seconds" "${TESSALY_BENCH_EVERY:-300}" 2>/dev/null
