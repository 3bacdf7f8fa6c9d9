#!/usr/bin/env bash
# Builds and runs the serial component benchmark: idle CPU of an open port over 10 s, and the time
# from a byte at the far end of a pseudo-terminal to its OnReceive on the owner thread.
# Usage: bench/serial_bench.sh [BUILD_DIR]
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${1:-"$top/build"}
"$top/scripts/setup" "$build_dir" >/dev/null
"$build_dir/bench/serial_bench" idle 10 latency 5000
