#!/usr/bin/env bash
# The window and the headless bridge as byte relays, measured black-box beside socat and
# str2str: every byte checked,
# forward and return latency, throughput, idle CPU, memory. Needs the build (scripts/setup) and
# the shared relay benchmark beside the checkout.
#   bench/relay_bench.sh [RUNS]
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-3}
bench=${TESSALY_RELAYBENCH:-$top/../shared/tools/relaybench.py}
missing=()
for tool in socat str2str; do command -v "$tool" >/dev/null || missing+=("$tool"); done
if ((${#missing[@]})); then
  sudo=""; [[ $(id -u) -eq 0 ]] || sudo="sudo"
  $sudo apt-get install -y --no-install-recommends socat rtklib
fi
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"

out=$(mktemp -d)
python3 "$bench" --runs "$runs" --cmd "$top/bench/relay_start.sh {host} {in_port} {out_port}" \
  > "$out/window.json"
python3 "$bench" --runs "$runs" --cmd "$top/build/cli/tessaly-cli bridge --in tcp:{host}:{in_port} --out tcp:{host}:{out_port}" \
  > "$out/bridge.json"
python3 "$bench" --runs "$runs" -- socat 'TCP:{host}:{in_port},nodelay' 'TCP:{host}:{out_port},nodelay' \
  > "$out/socat.json"
python3 "$bench" --runs "$runs" -- str2str -in 'tcpcli://{host}:{in_port}' -out 'tcpcli://{host}:{out_port}' -b 1 \
  > "$out/str2str.json" || true

python3 - "$out" <<'PY'
import json, os, sys
keys = [("ok", "all phases pass"), ("fwd.MBps", "fwd MB/s"), ("rev.MBps", "rev MB/s"),
        ("latency.p50_us", "fwd p50 us"), ("latency.p99_us", "fwd p99 us"),
        ("rlatency.p99_us", "rev p99 us"), ("throughput.MBps", "throughput MB/s"),
        ("throughput.lost_bytes", "bytes lost"), ("idle.sched_cpu_pct", "idle CPU %"),
        ("peak_rss_kb", "peak RSS kB")]
names = ("window", "bridge", "socat", "str2str")
print("%-16s" % "" + "".join("%12s" % n for n in names))
results = {}
for name in names:
    lines = open(os.path.join(sys.argv[1], name + ".json")).read().strip().splitlines()
    summary = json.loads(lines[-1]) if lines else {}
    results[name] = dict(summary.get("median", {}), ok=summary.get("ok"))
for key, label in keys:
    print("%-16s" % label + "".join("%12s" % results[n].get(key) for n in names))
PY
