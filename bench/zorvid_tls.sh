#!/bin/bash
# The cost of TLS: one zorvid with a certificate serves both transports; each round runs the
# same load over plain text and over TLS, alternating, three rounds, then the medians and the
# TLS/plain ratios of delivered lines per server CPU-second and of the p50 latency.
#   bench/zorvid_tls.sh BUILD_DIR [sat|light]
set -eu
build=$(realpath "$1"); mode=${2:-sat}
here=$(dirname "$(realpath "$0")")
work=$(mktemp -d /tmp/zorvid-tls.XXXXXX)
trap 'rm -rf "$work"' EXIT
case $mode in
  sat) args=(-n 1000 -m 10 -s 10 -w 32 -d 10 -W 2) ;;
  light) args=(-n 10 -m 1 -s 1 -r 100 -d 10 -W 1) ;;
  *) echo "mode is sat or light" >&2; exit 1 ;;
esac
"$here/../scripts/make-certs.sh" "$work/certs"

# The load comes from one address in a burst: the admission limits and flood control are off.
"$build/server/zorvid" --no-login-check --no-flood-control --max-connections 0 --connect-rate 0 \
    --chat-ports 0 --max-per-address 5000 --room-capacity 200 \
    --http-port -1 --login-port 0 --service-port 0 --db "$work/accounts.db" \
    --tls-cert "$work/certs/server.pem" --tls-key "$work/certs/server.key" 2> "$work/zorvid.log" &
pid=$!
trap 'kill -INT $pid 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do grep -qs listening "$work/zorvid.log" && break; sleep 0.1; done
port=$(grep -o 'service=[0-9]*' "$work/zorvid.log" | cut -d= -f2)

echo "load before: $(uptime)"
for round in 1 2 3; do
    "$build/bench/zorvid-load" -p "$port" -P $pid -L "plain-$round" "${args[@]}" | grep RESULT
    "$build/bench/zorvid-load" -p "$port" -P $pid -L "tls-$round" --tls "$work/certs/ca.pem" \
        "${args[@]}" | grep RESULT
done | tee "$work/results.txt"
echo "load after: $(uptime)"

python3 - "$work/results.txt" <<'PY'
import statistics, sys
rows = {}
for line in open(sys.argv[1]):
    kv = dict(f.split("=", 1) for f in line.split()[1:] if "=" in f)
    rows.setdefault(kv["label"].split("-")[0], []).append(kv)
def med(t, f): return statistics.median(f(r) for r in rows[t])
per_cpu = lambda r: float(r["deliv_ps"]) / max(float(r["srv_cpu"]), 0.1) * 100
p50 = lambda r: float(r["lat_p50_us"])
print(f"{'':6} {'lines/s':>10} {'lines/cpu-s':>12} {'p50 us':>9} {'srv cpu%':>9}")
for t in ("plain", "tls"):
    print(f"{t:6} {med(t, lambda r: float(r['deliv_ps'])):10.0f} {med(t, per_cpu):12.0f} "
          f"{med(t, p50):9.1f} {med(t, lambda r: float(r['srv_cpu'])):9.1f}")
print(f"tls/plain lines per server CPU-second: {med('tls', per_cpu) / med('plain', per_cpu):.2f}")
print(f"tls/plain p50 latency: {med('tls', p50) / med('plain', p50):.2f}")
PY
