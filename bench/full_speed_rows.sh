#!/usr/bin/env bash
# The bridge's monitor at full speed: a recorded receiver stream (default the recorded hour of two
# channels) is sent through `tessaly-cli bridge --csv` as fast as the bridge takes it, the output
# is checked byte for byte, and the CSV log the bridge wrote is compared with the one
# `tessaly-cli decode --csv` writes of the same bytes, all fields but the time stamp (the first
# field: the PC's clock at the row, which a replay cannot reproduce). Rows may differ only when the
# monitor skipped bytes to keep up (`monitorBytesSkipped` of the last JSON status line, 0 when the
# bridge does not report it).
# The window has no part here: its CSV log starts only from "Save log" and a file dialog.
# Exit status 0 when the output is exact and the rows equal (or the skipped count says why not),
# 1 otherwise, 2 when the bridge could not be run.
# Usage: bench/full_speed_rows.sh [STREAM]
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
cli="$top/build/cli/tessaly-cli"
stream=${1:-"$top/data/l6_two_channel_1h.ubx"}
[[ -x $cli ]] || { echo "build tessaly-cli first (scripts/setup)" >&2; exit 2; }
[[ -f $stream ]] || { echo "missing $stream" >&2; exit 2; }

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
python3 - "$cli" "$stream" "$out" <<'PY'
import json, os, select, signal, socket, subprocess, sys, threading, time

cli, stream, out = sys.argv[1:4]
HOST = "127.0.0.1"
data = open(stream, "rb").read()
bridge_csv, decode_csv = os.path.join(out, "bridge.csv"), os.path.join(out, "decode.csv")


def setup_error(text):
    print("full_speed_rows: " + text, file=sys.stderr)
    sys.exit(2)


def listener():
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind((HOST, 0))
    s.listen(1)
    return s


def accept_both(lin, lout, bridge, timeout=15):
    got, end = {}, time.monotonic() + timeout
    while len(got) < 2:
        if bridge.poll() is not None:
            setup_error("the bridge exited (status %s) before it connected" % bridge.returncode)
        if time.monotonic() > end:
            setup_error("the bridge did not connect to both ends in %d s" % timeout)
        ready, _, _ = select.select([s for s in (lin, lout) if s not in got], [], [], 0.1)
        for s in ready:
            got[s] = s.accept()[0]
    return got[lin], got[lout]


class Rover(threading.Thread):
    """The output end: takes everything and compares it with the stream as it comes."""

    def __init__(self, sock):
        super().__init__(daemon=True)
        self.sock, self.pos, self.mismatch, self.last = sock, 0, None, None

    def run(self):
        self.sock.settimeout(10)
        while self.pos < len(data):
            try:
                block = self.sock.recv(1 << 18)
            except socket.timeout:
                return
            if not block:
                return
            self.last = time.perf_counter()
            if self.mismatch is None and data[self.pos:self.pos + len(block)] != block:
                expected = data[self.pos:self.pos + len(block)]
                self.mismatch = self.pos + next(
                    (i for i, (a, b) in enumerate(zip(block, expected)) if a != b),
                    min(len(block), len(expected)))
            self.pos += len(block)


def drain(sock):
    # The bridge asks the L6 receiver for its firmware version; those bytes are not checked.
    try:
        while sock.recv(65536):
            pass
    except OSError:
        pass


def wait_for_monitor(limit=30, quiet=2.0):
    """Until the CSV log has not grown for `quiet` seconds: the monitor has caught up."""
    size, since, end = -1, time.monotonic(), time.monotonic() + limit
    while time.monotonic() < end:
        now_size = os.path.getsize(bridge_csv) if os.path.exists(bridge_csv) else 0
        if now_size != size:
            size, since = now_size, time.monotonic()
        elif time.monotonic() - since >= quiet:
            return
        time.sleep(0.25)


def last_status(path):
    last = {}
    for line in open(path, "rb").read().decode("utf-8", "replace").splitlines():
        try:
            last = json.loads(line)
        except ValueError:
            continue
    return last


def rows(path):
    lines = [l for l in open(path, "rb").read().split(b"\r\n") if l]
    header, body = (lines[0], lines[1:]) if lines else (b"", [])
    return header, [l.split(b",", 1)[1] if b"," in l else l for l in body]


lin, lout = listener(), listener()
status_path = os.path.join(out, "status.jsonl")
with open(status_path, "wb") as status, open(os.path.join(out, "bridge.err"), "wb") as err:
    bridge = subprocess.Popen(
        [cli, "bridge", "--in", "tcp:%s:%d" % (HOST, lin.getsockname()[1]),
         "--out", "tcp:%s:%d" % (HOST, lout.getsockname()[1]), "--csv", bridge_csv, "--json"],
        stdin=subprocess.DEVNULL, stdout=status, stderr=err)
try:
    receiver_end, rover_end = accept_both(lin, lout, bridge)
    threading.Thread(target=drain, args=(receiver_end,), daemon=True).start()
    rover = Rover(rover_end)
    rover.start()
    start = time.perf_counter()
    receiver_end.sendall(data)
    rover.join()
    wait_for_monitor()
finally:
    bridge.send_signal(signal.SIGTERM)
    try:
        bridge.wait(10)
    except subprocess.TimeoutExpired:
        bridge.kill()
        bridge.wait()
        print("full_speed_rows: the bridge did not stop on SIGTERM in 10 s", file=sys.stderr)

subprocess.run([cli, "decode", stream, "--csv", decode_csv], stdout=subprocess.DEVNULL, check=True)
exact = rover.pos == len(data) and rover.mismatch is None
seconds = (rover.last - start) if rover.last else 0
skipped = int(last_status(status_path).get("monitorBytesSkipped", 0))
bridge_header, bridge_rows = rows(bridge_csv) if os.path.exists(bridge_csv) else (b"", [])
decode_header, decode_rows = rows(decode_csv)
same = bridge_header == decode_header and bridge_rows == decode_rows

print("stream            %s" % os.path.basename(stream))
print("bytes relayed     %d of %d" % (rover.pos, len(data)))
print("relay MB/s        %.1f" % (rover.pos / 1e6 / seconds if seconds > 0 else 0))
print("forward exact     %s" % ("yes" if exact else "no (first difference at byte %s)" %
                                (rover.mismatch if rover.mismatch is not None else rover.pos)))
print("rows              bridge %d, decode %d" % (len(bridge_rows), len(decode_rows)))
if same:
    print("rows equal        yes")
else:
    first = next((i for i, (a, b) in enumerate(zip(bridge_rows, decode_rows)) if a != b),
                 min(len(bridge_rows), len(decode_rows)))
    print("rows equal        no (%s; first different row %d)" %
          ("headers differ" if bridge_header != decode_header else "headers equal", first + 1))
print("monitorBytesSkipped %d" % skipped)
rows_ok = same or skipped > 0
print("rows goal         %s" % ("PASS" if rows_ok else "MISS"))
sys.exit(0 if exact and rows_ok else 1)
PY
