#!/usr/bin/env bash
# The station service's unit: systemd rates its exposure 3.0 or less, and the bridge still does
# its work under the unit's own settings. Without systemd as the machine's manager, the run is
# played as systemd would set it up: a user of no account with the unit's supplementary group,
# no privileges, the unit's umask and environment, its options file handed over as a copy only
# that user can read, and the working folder in a state directory that user owns. The receiver
# is a local TCP source, the rover a pseudo-terminal owned by that group behind the port map.
# Usage: station_unit_test.sh UNIT_FILE TESSALY_CLI STREAM
set -euo pipefail

unit=$1 cli=$2 stream=$3
fail() { echo "FAIL: $*" >&2; exit 1; }
setting() { sed -n "s/^$1=//p" "$unit"; }

work=$(mktemp -d)
chmod 0755 "$work"
pids=()
trap 'for p in "${pids[@]}"; do pkill -P "$p" || true; kill "$p" 2>/dev/null || true; done; rm -rf "$work"' EXIT

# 1. Exposure, as `systemd-analyze security` rates it for an instance of the template.
instance="$work/tessaly-bridge@test.service"
cp "$unit" "$instance"
report=$(systemd-analyze security --offline=yes "$instance" 2>&1) || fail "systemd-analyze: $report"
exposure=$(sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p' <<<"$report")
[[ -n $exposure ]] || fail "no exposure level in: $report"
awk -v e="$exposure" 'BEGIN { exit !(e <= 3.0) }' || fail "exposure $exposure is over 3.0"
echo "exposure $exposure"

# The settings the run below relies on.
[[ $(setting DynamicUser) == yes ]] || fail "the unit does not run as a user of its own"
[[ $(setting NoNewPrivileges) == yes ]] || fail "NoNewPrivileges is not set"
group=$(setting SupplementaryGroups)
[[ $group == dialout ]] || fail "the serial ports' group is '$group'"
umask_value=$(setting UMask)
ports_dir=$(setting Environment | sed -n 's/^TESSALY_PORTS_DIR=//p')
[[ $ports_dir == /etc/tessaly-monitor/ports ]] || fail "no port map folder in the environment"
setting ExecStart | grep -q -- 'bridge --config %d/config' || fail "ExecStart does not read the handed-over options"
setting LoadCredential | grep -q '^config:/etc/tessaly-monitor/%i.conf$' || fail "the options file is not handed over"
[[ $(setting StateDirectory) == tessaly-monitor && $(setting WorkingDirectory) == %S/tessaly-monitor ]] ||
  fail "the working folder is not the state directory"

if [[ $(id -u) -ne 0 ]]; then
  echo "the run as the unit's user needs root; exposure and settings checked" >&2
  exit 77
fi

# 2. A run under those settings. A user id that no account has, as DynamicUser gives.
uid=61873
state="$work/state/tessaly-monitor" credentials="$work/credentials" ports="$work/ports"
mkdir -p "$state" "$credentials" "$ports"
chown "$uid:$uid" "$state" "$credentials"
chmod 0700 "$state" "$credentials"

# The rover: a pseudo-terminal pair; the bridge's end belongs to the serial ports' group.
socat pty,raw,echo=0,link="$work/near" pty,raw,echo=0,link="$work/far" </dev/null >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [[ -e $work/near && -e $work/far ]] && break; sleep 0.05; done
near=$(readlink -f "$work/near")
chgrp "$group" "$near"
chmod 0660 "$near"
ln -s "$work/near" "$ports/COM7"
cat "$work/far" >"$work/got" &
pids+=($!)

# The receiver: sends a slice of the recorded hour to whoever connects, and stays. Both ways, so
# that the bridge's poll is taken: bytes that come to a socket no longer read reset it, and the
# reset loses what is still in flight.
head -c 200000 "$stream" >"$work/sent"
port=
for candidate in $(seq 23500 23999); do
  if ! (exec 3<>"/dev/tcp/127.0.0.1/$candidate") 2>/dev/null; then port=$candidate; break; fi
done
[[ -n $port ]] || fail "no free port"
socat "TCP-LISTEN:$port,bind=127.0.0.1,reuseaddr" "SYSTEM:cat $work/sent; exec cat >/dev/null" </dev/null >/dev/null 2>&1 &
pids+=($!)

printf -- '--in tcp:127.0.0.1:%s\n--out serial:COM7@921600\n--csv station.csv\n--json\n' "$port" >"$credentials/config"
chown "$uid:$uid" "$credentials/config"
chmod 0400 "$credentials/config"

exec_start=$(setting ExecStart | sed "s|^[^ ]*|$cli|; s|%d|$credentials|")
(
  cd "$state"
  umask "$umask_value"
  # shellcheck disable=SC2086  # ExecStart's words
  exec env -i PATH=/usr/bin:/bin TESSALY_PORTS_DIR="$ports" \
    setpriv --reuid="$uid" --regid="$uid" --groups="$(getent group "$group" | cut -d: -f3)" \
      --no-new-privs --inh-caps=-all --bounding-set=-all $exec_start
) >"$work/out" 2>"$work/err" &
bridge=$!
pids+=("$bridge")

for _ in $(seq 200); do
  [[ $(stat -c %s "$work/got") -ge 200000 ]] && break
  sleep 0.05
done
sleep 1.2  # a status line, and the rows of the last seconds
kill -TERM "$bridge"
status=0
wait "$bridge" || status=$?
[[ $status -eq 0 ]] || fail "the bridge ended with status $status: $(cat "$work/err")"
cmp "$work/sent" "$work/got" || fail "the rover got $(stat -c %s "$work/got") bytes, not the 200000 sent: $(tail -c 600 "$work/out") $(cat "$work/err")"
[[ -s $state/station.csv ]] || fail "no CSV log in the state directory: $(cat "$work/err")"
[[ $(stat -c %u "$state/station.csv") -eq $uid ]] || fail "the CSV log is not the unit's user's"
rows=$(($(wc -l <"$state/station.csv") - 1))
((rows > 30)) || fail "only $rows CSV rows"
mode=$(stat -c %a "$state/station.csv")
[[ $mode == 640 ]] || fail "the CSV log has mode $mode under UMask=$umask_value"
! grep -q 'every user can read' "$work/err" || fail "a warning for the handed-over options: $(cat "$work/err")"
echo "200000 bytes to the rover through the port map, $rows CSV rows as user $uid"
