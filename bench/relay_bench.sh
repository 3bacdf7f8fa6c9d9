#!/usr/bin/env bash
# The window and the headless bridge as byte relays, measured black-box beside socat and
# str2str: every byte checked, forward and return latency, throughput and its CPU per MB, idle CPU
# and wake-ups, memory; for the bridge also bench/full_speed_rows.sh once a run. Needs the build
# (scripts/setup) and the shared relay benchmark beside the checkout.
#   [RELAYS="bridge socat"] bench/relay_bench.sh [RUNS]
# RELAYS picks some of window, bridge, socat and str2str (default all, in that order); the goals
# after the table compare the window and the bridge with socat of the same run and need it.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-3}
relays=${RELAYS:-window bridge socat str2str}
bench=${TESSALY_RELAYBENCH:-$top/../shared/tools/relaybench.py}
declare -A relay_cmd=(
  [window]="$top/bench/relay_start.sh {host} {in_port} {out_port}"
  [bridge]="$top/build/cli/tessaly-cli bridge --in tcp:{host}:{in_port} --out tcp:{host}:{out_port}"
  [socat]="socat TCP:{host}:{in_port},nodelay TCP:{host}:{out_port},nodelay"
  [str2str]="str2str -in tcpcli://{host}:{in_port} -out tcpcli://{host}:{out_port} -b 1"
)
for name in $relays; do
  [[ -n ${relay_cmd[$name]:-} ]] || { echo "unknown relay '$name' (window bridge socat str2str)" >&2; exit 2; }
done
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
trap 'rm -rf "$out"' EXIT
for name in $relays; do
  # A failed phase is a figure of the table, not a reason to stop.
  python3 "$bench" --runs "$runs" --cmd "${relay_cmd[$name]}" > "$out/$name.json" || true
done
if [[ " $relays " == *" bridge "* ]]; then
  for run in $(seq "$runs"); do
    "$top/bench/full_speed_rows.sh" > "$out/rows-$run.txt" 2>&1 || true
  done
fi

python3 - "$out" "$runs" $relays <<'PY'
import json, os, sys
folder, runs, names = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
keys = [("ok", "all phases pass"), ("fwd.MBps", "fwd MB/s"), ("rev.MBps", "rev MB/s"),
        ("latency.p50_us", "fwd p50 us"), ("latency.p99_us", "fwd p99 us"),
        ("rlatency.p99_us", "rev p99 us"), ("throughput.MBps", "throughput MB/s"),
        ("throughput.lost_bytes", "bytes lost"), ("throughput.ok", "lossless runs"),
        ("throughput.sched_cpu_ms_per_MB", "CPU ms/MB"), ("idle.sched_cpu_pct", "idle CPU %"),
        ("idle.wakeups_per_s", "idle wakeups/s"), ("peak_rss_kb", "peak RSS kB")]
results = {}
for name in names:
    lines = open(os.path.join(folder, name + ".json")).read().strip().splitlines()
    summary = json.loads(lines[-1]) if lines else {}
    results[name] = dict(summary.get("median", {}), ok=summary.get("ok"))
    results[name]["throughput.ok"] = summary.get("passed", {}).get("throughput.ok")
print("%-16s" % "" + "".join("%12s" % n for n in names))
for key, label in keys:
    print("%-16s" % label + "".join("%12s" % results[n].get(key) for n in names))

# Idle limits: today's figures (about 10 wake-ups/s for the window's timers, 1/s for the
# bridge's status line) with half a wake-up of slack, as the 2 s idle phase counts in halves.
IDLE_CPU_PCT = 0.25
IDLE_WAKEUPS = {"window": 11.0, "bridge": 1.5}
socat = results.get("socat")


def ratio(r, key):
    if not socat or r.get(key) is None or not socat.get(key):
        return None
    return r[key] / socat[key]


def verdict(value, good, text):
    if value is None:
        return "n/a"
    return "%s %s" % (text % value, "PASS" if good(value) else "MISS")


def rows_text(run):
    return open(os.path.join(folder, "rows-%d.txt" % run)).read()


def throughput_goal(name, r):
    done, of = (r.get("throughput.ok") or "0/0").split("/")
    lossless = done == of != "0" and r.get("throughput.lost_bytes") == 0
    return verdict(ratio(r, "throughput.MBps"), lambda v: lossless and v >= 0.5,
                   "%.2fx" + ("" if lossless else " lossy"))


def rows_goal(name, r):
    if name == "window":
        return "n/a (no CSV log)"
    passed = sum("rows goal         PASS" in rows_text(run) for run in range(1, runs + 1))
    return "%d/%d %s" % (passed, runs, "PASS" if passed == runs else "MISS")


relays = [n for n in ("window", "bridge") if n in results]
goals = [
    ("lossless throughput >= 1/2 socat", throughput_goal),
    ("fwd p99 <= 2x socat",
     lambda n, r: verdict(ratio(r, "latency.p99_us"), lambda v: v <= 2, "%.2fx")),
    ("CPU per MB <= 4x socat",
     lambda n, r: verdict(ratio(r, "throughput.sched_cpu_ms_per_MB"), lambda v: v <= 4, "%.1fx")),
    ("idle CPU <= %.2f %%" % IDLE_CPU_PCT,
     lambda n, r: verdict(r.get("idle.sched_cpu_pct"), lambda v: v <= IDLE_CPU_PCT, "%.3f%%")),
    ("idle wakeups <= %s" % " / ".join("%g" % IDLE_WAKEUPS[n] for n in relays),
     lambda n, r: verdict(r.get("idle.wakeups_per_s"), lambda v: v <= IDLE_WAKEUPS[n], "%.1f/s")),
    ("rows = decode at full speed", rows_goal),
]
if relays:
    print("\ngoals (medians of %d runs; ratios to socat of this run%s)" % (
        runs, "" if socat else ": none, socat was not run"))
    print("%-34s" % "" + "".join("%-18s" % n for n in relays))
    for label, goal in goals:
        print("%-34s" % label + "".join("%-18s" % goal(n, results[n]) for n in relays))
if "bridge" in results:
    print("\nbench/full_speed_rows.sh (bridge), last of %d runs:" % runs)
    print(rows_text(runs).rstrip())
PY
