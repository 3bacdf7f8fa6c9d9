#!/usr/bin/env bash
# tessaly-cli report on a day of data: a CSV log of 86 400 rows made from the recorded one-hour
# stream (its rows repeated, one a second over a whole day), drawn as PNG, SVG and HTML; prints
# the wall time and peak memory of each run (GNU time).
# Usage: bench/report_bench.sh [BUILD_DIR]
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${1:-"$top/build"}
cli="$build_dir/cli/tessaly-cli"
stream="$top/data/l6_two_channel_1h.ubx"
[[ -x $cli ]] || { echo "build tessaly-cli first (scripts/setup)" >&2; exit 2; }
[[ -f $stream ]] || { echo "missing $stream" >&2; exit 2; }

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
keep=${TESSALY_BENCH_KEEP:-}  # a folder to keep the pictures in
"$cli" decode "$stream" --csv "$out/hour.csv" >/dev/null
# The hour's rows over and over, each stamped one second after the one before, from midnight.
awk -F, -v OFS=, '
  { sub(/\r$/, "") }
  NR == 1 { printf "%s\r\n", $0; next }
  { rows[n++] = $0 }
  END {
    for (i = 0; i < 86400; i++) {
      split(rows[i % n], f, ",")
      line = sprintf("2025/06/06 %02d:%02d:%02d.0", int(i / 3600), int(i / 60) % 60, i % 60)
      for (k = 2; k <= 30; k++) line = line "," f[k]
      printf "%s\r\n", line
    }
  }' "$out/hour.csv" > "$out/day.csv"
echo "day.csv: $(($(wc -l < "$out/day.csv") - 1)) rows, $(du -h "$out/day.csv" | cut -f1)"

for kind in png svg html; do
  /usr/bin/time -f "%e %M" -o "$out/time.txt" "$cli" report "$out/day.csv" -o "$out/day.$kind" --json \
    > "$out/summary.json"
  read -r seconds kb < "$out/time.txt"
  printf 'report day.csv -> .%-4s  %5.2f s  peak RSS %6d kB  file %s\n' "$kind" "$seconds" "$kb" \
    "$(du -h "$out/day.$kind" | cut -f1)"
done
echo "summary: $(cat "$out/summary.json")"
[[ -z $keep ]] || cp "$out"/day.* "$keep"/
