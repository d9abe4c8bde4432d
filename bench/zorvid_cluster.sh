#!/bin/bash
# zorvid as one node and as three nodes behind HAProxy (NATS between them, PostgreSQL for
# names, ports and logins), with ngIRCd for reference: the same load, three alternating
# rounds, medians. Through HAProxy the members of each room are spread over the nodes.
#   bench/zorvid_cluster.sh BUILD_DIR [sat|light]
# light also measures the cluster with every member on the room's own node (same-node)
# against members spread over the nodes (cross-node).
set -eu
build=$(realpath "$1"); mode=${2:-sat}
here=$(dirname "$(realpath "$0")"); root=$(dirname "$here")
source "$here/load_common.sh"
shared=$(realpath "$root/../shared/bench" 2>/dev/null || true)
work=$(mktemp -d /tmp/zorvid-cluster-bench.XXXXXX); chmod 755 "$work"  # PostgreSQL runs as its own user
case $mode in
  sat) args=(-n 1000 -m 10 -s 10 -w 32 -d 10 -W 2) ;;
  light) args=(-n 10 -m 1 -s 1 -r 100 -d 10 -W 1) ;;
  *) echo "mode is sat or light" >&2; exit 1 ;;
esac
login=23999 service=25111 chat=26000-26099 nats=24222 pgport=25432
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  timeout 30 "$root/scripts/pg-throwaway.sh" stop "$work/pg" >/dev/null 2>&1 || true
}
trap cleanup EXIT
gcc -O2 -Wall -o "$work/ircload" "$shared/ircload.c" -pthread -lm
sed "s#PidFile = ngircd.pid#PidFile = $work/ngircd.pid#" "$shared/ngircd.conf" > "$work/ngircd.conf"

nats-server -a 127.0.0.1 -p $nats -l "$work/nats.log" & pids+=($!)
db=$("$root/scripts/pg-throwaway.sh" start "$work/pg" $pgport)
# HAProxy starts each connection with a PROXY header, from its own address (haproxy.cfg).
echo '{"proxy-from": ["127.0.0.9"]}' > "$work/node.conf"
for i in 1 2 3; do
  "$build/server/zorvid" --config "$work/node.conf" "${zorvid_load_flags[@]}" --threads 1 --bind 127.0.0.$((i + 1)) --login-port $login \
    --service-port $service --chat-ports $chat --db "$db" --cluster nats://127.0.0.1:$nats \
    --node n$i 2> "$work/n$i.log" & pids+=($!)
done
for i in 1 2 3; do await_log "$work/n$i.log" listening; done
ZORVID_LOGIN_PORT=$login ZORVID_SERVICE_PORT=$service ZORVID_CHAT_FIRST=${chat%-*} \
  ZORVID_CHAT_LAST=${chat#*-} ZORVID_MAX_PER_ADDRESS=100000 ZORVID_CONNECT_BURST=100000 \
  ZORVID_LB_STATS_PORT=24404 haproxy -db -f "$root/server/cluster/haproxy.cfg" \
  2> "$work/haproxy.log" & pids+=($!)
sleep 1
cluster_pids=$(IFS=,; echo "${pids[*]:1:3}")  # the three nodes' CPU together

run_cluster() {  # ROUND HOST LABEL
  "$build/bench/zorvid-load" -H "$2" -p $service -P "$cluster_pids" -L "$3-$1" "${args[@]}" \
    | grep RESULT || true
}
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
  run_own_zorvid single-$round --threads 1
  run_cluster $round 127.0.0.1 spread
  [ "$mode" = light ] && run_cluster $round 127.0.0.2 samenode
done | tee "$work/results.txt"
echo "load after: $(uptime)"

python3 - "$work/results.txt" <<'PY'
import statistics, sys
rows = {}
for line in open(sys.argv[1]):
    kv = dict(f.split("=", 1) for f in line.split()[1:] if "=" in f)
    rows.setdefault(kv["label"].rsplit("-", 1)[0], []).append(kv)
def med(s, key):
    return statistics.median(float(r[key]) for r in rows[s])
print(f"{'':9} {'lines/s':>10} {'p50 us':>10} {'p99 us':>10} {'srv cpu%':>9} {'lines/cpu-s':>12}")
for s in ("ngircd", "single", "spread", "samenode"):
    if s not in rows: continue
    eff = statistics.median(float(r["deliv_ps"]) / max(float(r["srv_cpu"]), 0.1) * 100 for r in rows[s])
    print(f"{s:9} {med(s,'deliv_ps'):10.0f} {med(s,'lat_p50_us'):10.1f} {med(s,'lat_p99_us'):10.1f} "
          f"{med(s,'srv_cpu'):9.1f} {eff:12.0f}")
if "spread" in rows:
    print(f"three nodes / one node, delivered lines/s: {med('spread','deliv_ps') / med('single','deliv_ps'):.2f}; "
          f"p50: {med('spread','lat_p50_us') / med('single','lat_p50_us'):.2f}")
    print(f"three nodes / ngIRCd, delivered lines/s: {med('spread','deliv_ps') / med('ngircd','deliv_ps'):.2f}")
if "samenode" in rows:
    print(f"cross-node p50 / same-node p50: {med('spread','lat_p50_us') / med('samenode','lat_p50_us'):.2f}")
PY
