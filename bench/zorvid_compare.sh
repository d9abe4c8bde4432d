#!/bin/bash
# Side-by-side fan-out comparison of zorvid and ngIRCd on this machine, same N, M, senders,
# window and duration; three alternating rounds, then the median of each figure.
#   bench/zorvid_compare.sh BUILD_DIR [sat|light] [ZORVID_BINARY]
# Needs ngircd (apt-get install -y ngircd) and gcc; writes its logs to a temporary folder.
set -eu
build=$(realpath "$1"); mode=${2:-sat}; zorvid=${3:-$build/server/zorvid}
here=$(dirname "$(realpath "$0")")
source "$here/load_common.sh"
shared=$(realpath "$here/../../shared/bench" 2>/dev/null || true)
work=$(mktemp -d /tmp/zorvid-compare.XXXXXX)
case $mode in
  sat) args=(-n 1000 -m 10 -s 10 -w 32 -d 10 -W 2) ;;
  light) args=(-n 10 -m 1 -s 1 -r 100 -d 10 -W 1) ;;
  *) echo "mode is sat or light" >&2; exit 1 ;;
esac
gcc -O2 -Wall -o "$work/ircload" "$shared/ircload.c" -pthread -lm
sed "s#PidFile = ngircd.pid#PidFile = $work/ngircd.pid#" "$shared/ngircd.conf" > "$work/ngircd.conf"

run_ngircd() {
    ngircd -n -f "$work/ngircd.conf" > "$work/ngircd-$1.log" 2>&1 &
    local pid=$!
    for _ in $(seq 50); do (exec 3<>/dev/tcp/127.0.0.1/16667) 2>/dev/null && break; sleep 0.1; done
    "$work/ircload" -p 16667 -P $pid -L "ngircd-$1" "${args[@]}" | grep RESULT || true
    kill $pid; wait $pid || true
}

echo "load before: $(uptime)"
for round in 1 2 3; do
    run_ngircd $round
    run_own_zorvid zorvid-$round
done | tee "$work/results.txt"
echo "load after: $(uptime)"

python3 - "$work/results.txt" <<'PY'
import statistics, sys
rows = {}
for line in open(sys.argv[1]):
    kv = dict(f.split("=", 1) for f in line.split()[1:] if "=" in f)
    rows.setdefault(kv["label"].split("-")[0], []).append(kv)
def med(server, key):
    return statistics.median(float(r[key]) for r in rows[server])
print(f"{'':8} {'lines/s':>10} {'p50 us':>9} {'p99 us':>9} {'echo us':>8} {'p50/echo':>9} {'srv cpu%':>8} {'lines/cpu-s':>12}")
for s in ("ngircd", "zorvid"):
    if s not in rows: continue
    eff = statistics.median(float(r["deliv_ps"]) / max(float(r["srv_cpu"]), 0.1) * 100 for r in rows[s])
    ratio = statistics.median(float(r["lat_p50_us"]) / float(r["echo_p50_us"]) for r in rows[s])
    print(f"{s:8} {med(s,'deliv_ps'):10.0f} {med(s,'lat_p50_us'):9.1f} {med(s,'lat_p99_us'):9.1f} "
          f"{med(s,'echo_p50_us'):8.1f} {ratio:9.2f} {med(s,'srv_cpu'):8.1f} {eff:12.0f}")
if "ngircd" in rows and "zorvid" in rows:
    print(f"zorvid/ngircd delivered lines/s: {med('zorvid','deliv_ps') / med('ngircd','deliv_ps'):.2f}")
PY
