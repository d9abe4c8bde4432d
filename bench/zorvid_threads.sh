#!/bin/bash
# How zorvid's event loops scale: the saturated fan-out load against --threads 1 and
# --threads 2, three alternating rounds, medians. On two cores the generator needs a core
# of its own, so the figure that counts is delivered lines per CPU-second of the server.
#   bench/zorvid_threads.sh BUILD_DIR [sat|RATE] [pinned|shared]
# RATE: each sender sends RATE lines a second instead of as fast as the window allows, so
# both configurations carry the same load below saturation.
# pinned (the default): the generator runs on the last core and zorvid on the others, so
# that neither takes the other's time. shared: both run anywhere; the generator's threads
# then preempt zorvid's loops, and how much each loop turn gathers varies with that.
set -eu
build=$(realpath "$1"); mode=${2:-sat}; placement=${3:-pinned}
work=$(mktemp -d /tmp/zorvid-threads.XXXXXX)
source "$(dirname "$(realpath "$0")")/load_common.sh"
last=$(($(nproc) - 1))
if [ "$placement" = pinned ] && [ "$last" -ge 1 ]; then
  server_pin=(taskset -c "0-$((last - 1))"); load_pin=(taskset -c "$last")
fi
if [ "$mode" = sat ]; then
  args=(-n 1000 -m 10 -s 10 -w 32 -d 10 -W 2)
else
  args=(-n 1000 -m 10 -s 10 -r "$mode" -d 10 -W 2)
fi

echo "placement: $placement; load before: $(uptime)"
for round in 1 2 3; do
  run_own_zorvid t1-$round --threads 1
  run_own_zorvid t2-$round --threads 2
done | tee "$work/results.txt"
echo "load after: $(uptime)"
python3 - "$work/results.txt" <<'PY'
import statistics, sys
rows = {}
for line in open(sys.argv[1]):
    kv = dict(f.split("=", 1) for f in line.split()[1:] if "=" in f)
    rows.setdefault(kv["label"].split("-")[0], []).append(kv)
def med(t, f):
    return statistics.median(f(r) for r in rows[t])
eff = {}
print(f"{'':4} {'lines/s':>10} {'p50 us':>9} {'srv cpu%':>9} {'lines/cpu-s':>12}")
for t in ("t1", "t2"):
    eff[t] = med(t, lambda r: float(r["deliv_ps"]) / max(float(r["srv_cpu"]), 0.1) * 100)
    print(f"{t:4} {med(t, lambda r: float(r['deliv_ps'])):10.0f} {med(t, lambda r: float(r['lat_p50_us'])):9.1f} "
          f"{med(t, lambda r: float(r['srv_cpu'])):9.1f} {eff[t]:12.0f}")
print(f"lines per server CPU-second, 2 threads / 1 thread: {eff['t2'] / eff['t1']:.2f}")
PY
