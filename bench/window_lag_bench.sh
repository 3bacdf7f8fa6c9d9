#!/usr/bin/env bash
# How late the window's own events run while it relays at full speed: runs window_lag_bench
# (offscreen, a runtime folder of its own) RUNS times and prints one table, a row per phase and
# run. Builds nothing: needs the build with the benchmarks (TESSALY_BUILD_BENCH, on by default),
# in TESSALY_BUILD_DIR (default build/). Further options go to the program, e.g.
# `--stream FILE`, `--close-under-load` or the idle and relay seconds.
# Usage: bench/window_lag_bench.sh [RUNS [OPTIONS...]]
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-3}
shift || true
program=${TESSALY_BUILD_DIR:-$top/build}/bench/window_lag_bench
[[ -x $program ]] || { echo "$program is not built" >&2; exit 1; }
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=$(mktemp -d)
chmod 700 "$XDG_RUNTIME_DIR"
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT

for run in $(seq "$runs"); do
  status=0
  "$program" "$@" 2> "$XDG_RUNTIME_DIR/stderr" > "$XDG_RUNTIME_DIR/stdout" || status=$?
  awk -v run="$run" '/^phase/ { if (run == 1) print "run " $0; next } { print sprintf("%-3s ", run) $0 }' \
    "$XDG_RUNTIME_DIR/stdout"
  if ((status != 0)); then
    echo "run $run failed with status $status:" >&2
    grep -v '^QStandardPaths' "$XDG_RUNTIME_DIR/stderr" >&2 || true
  fi
done
echo "late: a 10 ms timer's interval minus 10 ms; post: an event posted to the window's thread until it ran (ms)"
echo "skip MB: relayed bytes the monitor skipped; L6 seen/relayed: reports decoded / in the bytes relayed"
