#!/usr/bin/env bash
# Runs a zorvid cluster on this machine, everything in one temporary folder with its logs:
# nats-server, a throwaway PostgreSQL (scripts/pg-throwaway.sh), three zorvid nodes on
# 127.0.0.2, 127.0.0.3 and 127.0.0.4 and HAProxy (haproxy.cfg) on 127.0.0.1 in front of
# them. Ctrl-C, SIGTERM or any failure stops them all.
#
#   server/cluster/run-local.sh [options]
#     --build DIR          build folder holding server/zorvid (default: build)
#     --ports auto         pick free ports for everything (for tests and parallel runs);
#                          otherwise the defaults below, or:
#     --login-port P       (2999)      --service-port P   (5111)
#     --chat-ports F-L     (6000-6099) --stats-port P     (8404, HAProxy's page on loopback)
#     --http-port P        web site of the first node, on 127.0.0.2 (8080; -1 = none)
#     --nats-port P        (any free)  --pg-port P        (any free)
#     --standalone         no NATS and no PostgreSQL: each node on its own SQLite file, not
#                          joined to the others (the balancer alone)
#     --keep               keep the folder afterwards
#
# When everything is up it prints how to connect, then one line for programs:
#   ready dir=DIR login=P service=P chat=F-L stats=P haproxy=PID n1=ADDRESS/PID n2=... n3=...
#         nats=URI db=URI
# and runs until it is stopped; a node killed meanwhile stays dead.
set -euo pipefail
PATH=$PATH:/usr/sbin:/sbin   # haproxy's home, outside an ordinary user's PATH
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

build=$root/build
ports=fixed
login_port=2999 service_port=5111 chat_ports=6000-6099 stats_port=8404 http_port=8080
nats_port="" pg_port=""
standalone=0 keep=0
nodes=(127.0.0.2 127.0.0.3 127.0.0.4)
ready_seconds=20   # each server gets this long to come up
stop_seconds=10    # and this long to stop before it is killed

die() { echo "run-local: $*" >&2; exit 1; }
need_value() { [ $# -ge 2 ] || die "$1 needs a value"; }
while [ $# -gt 0 ]; do
  case $1 in
    --build) need_value "$@"; build=$(cd "$2" && pwd); shift 2 ;;
    --ports) need_value "$@"; [ "$2" = auto ] || die "--ports takes only 'auto'"; ports=auto; shift 2 ;;
    --login-port) need_value "$@"; login_port=$2; shift 2 ;;
    --service-port) need_value "$@"; service_port=$2; shift 2 ;;
    --chat-ports) need_value "$@"; chat_ports=$2; shift 2 ;;
    --stats-port) need_value "$@"; stats_port=$2; shift 2 ;;
    --http-port) need_value "$@"; http_port=$2; shift 2 ;;
    --nats-port) need_value "$@"; nats_port=$2; shift 2 ;;
    --pg-port) need_value "$@"; pg_port=$2; shift 2 ;;
    --standalone) standalone=1; shift ;;
    --keep) keep=1; shift ;;
    -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) die "unknown option $1 (see --help)" ;;
  esac
done

zorvid=$build/server/zorvid
[ -x "$zorvid" ] || die "no zorvid in $build/server (build it, or give --build DIR)"
for tool in haproxy python3; do
  command -v "$tool" >/dev/null || die "$tool is missing (scripts/install-deps.sh)"
done
[ "$standalone" = 1 ] || command -v nats-server >/dev/null ||
  die "nats-server is missing (scripts/install-deps.sh)"

# Free ports: each free on every address given (the proxy's and the nodes'); with a count,
# the first of that many free in a row.
free_ports() {
  python3 - "$@" <<'EOF'
import random, socket, sys
count, addresses = int(sys.argv[1]), sys.argv[2:]
def free(port):
    for a in addresses:
        s = socket.socket()
        try:
            s.bind((a, port))
        except OSError:
            return False
        finally:
            s.close()
    return True
# Below Linux's ephemeral range (32768 up), so outgoing connections do not take them.
for _ in range(2000):
    first = random.randrange(10000, 32000 - count)
    if all(free(p) for p in range(first, first + count)):
        print(first)
        sys.exit(0)
sys.exit("no free ports")
EOF
}
all_addresses=(127.0.0.1 "${nodes[@]}")
if [ "$ports" = auto ]; then
  login_port=$(free_ports 1 "${all_addresses[@]}")
  service_port=$(free_ports 1 "${all_addresses[@]}")
  stats_port=$(free_ports 1 127.0.0.1)
  chat_first=$(free_ports 100 "${all_addresses[@]}")
  chat_ports=$chat_first-$((chat_first + 99))
  [ "$http_port" = -1 ] || http_port=$(free_ports 1 "${nodes[0]}")
fi
[[ $chat_ports =~ ^([0-9]+)-([0-9]+)$ ]] || die "--chat-ports wants FIRST-LAST"
chat_first=${BASH_REMATCH[1]} chat_last=${BASH_REMATCH[2]}

dir=$(mktemp -d /tmp/zorvid-cluster.XXXXXX)
# The database server runs as an unprivileged user of its own that must reach its folder.
chmod 0711 "$dir"
node_pids=() haproxy_pid="" nats_pid="" pg_started=0

stop_pid() {  # PID: SIGTERM, then SIGKILL after stop_seconds
  local pid=$1 end=$((SECONDS + stop_seconds))
  kill -TERM "$pid" 2>/dev/null || return 0
  while kill -0 "$pid" 2>/dev/null && [ "$SECONDS" -lt "$end" ]; do sleep 0.1; done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
cleanup() {
  trap - EXIT INT TERM
  # The nodes first, so that their farewell to chat clients still passes the proxy.
  for pid in "${node_pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${node_pids[@]}"; do stop_pid "$pid"; done
  [ -z "$haproxy_pid" ] || stop_pid "$haproxy_pid"
  [ -z "$nats_pid" ] || stop_pid "$nats_pid"
  [ "$pg_started" = 0 ] || timeout "$stop_seconds" "$root/scripts/pg-throwaway.sh" stop "$dir/pg" >/dev/null 2>&1 ||
    echo "run-local: PostgreSQL in $dir/pg did not stop cleanly" >&2
  if [ "$keep" = 1 ]; then
    echo "run-local: kept $dir" >&2
  else
    rm -rf "$dir"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Waits until `test ARGS` succeeds; fails when PID ends or the time is up, showing LOG.
await() {  # WHAT PID LOG test ARGS...
  local what=$1 pid=$2 log=$3 end=$((SECONDS + ready_seconds))
  shift 3
  until "$@"; do
    if ! kill -0 "$pid" 2>/dev/null; then
      tail -n 20 "$log" >&2
      die "$what ended before it was ready (log: $log)"
    fi
    [ "$SECONDS" -lt "$end" ] || { tail -n 20 "$log" >&2; die "$what not ready after $ready_seconds s"; }
    sleep 0.1
  done
}
accepts() { (exec 3<>"/dev/tcp/$1/$2") 2>/dev/null; }
says_listening() { grep -q "^zorvid: listening " "$1"; }

db_uri="" nats_uri=""
if [ "$standalone" = 0 ]; then
  [ -n "$nats_port" ] || nats_port=$(free_ports 1 127.0.0.1)
  nats-server -a 127.0.0.1 -p "$nats_port" -l "$dir/nats.log" &
  nats_pid=$!
  await nats-server "$nats_pid" "$dir/nats.log" accepts 127.0.0.1 "$nats_port"
  nats_uri=nats://127.0.0.1:$nats_port

  [ -n "$pg_port" ] || pg_port=$(free_ports 1 127.0.0.1)
  pg_started=1
  db_uri=$(timeout $((ready_seconds * 2)) "$root/scripts/pg-throwaway.sh" start "$dir/pg" "$pg_port" \
    2>"$dir/pg-start.log" | tail -n 1) || { cat "$dir/pg-start.log" >&2; die "PostgreSQL did not start"; }
  [[ $db_uri == postgresql://* ]] || { cat "$dir/pg-start.log" >&2; die "PostgreSQL gave no address"; }
fi

for i in 0 1 2; do
  name=n$((i + 1)) address=${nodes[$i]}
  args=(--config "$here/cluster.conf" --bind "$address" --login-port "$login_port"
    --service-port "$service_port" --chat-ports "$chat_ports")
  if [ "$i" = 0 ]; then args+=(--http-port "$http_port"); else args+=(--http-port -1); fi
  if [ "$standalone" = 1 ]; then
    args+=(--db "$dir/$name.db")
  else
    args+=(--db "$db_uri" --cluster "$nats_uri" --node "$name")
  fi
  "$zorvid" "${args[@]}" 2>"$dir/$name.log" &
  node_pids+=($!)
done
for i in 0 1 2; do
  await "node n$((i + 1))" "${node_pids[$i]}" "$dir/n$((i + 1)).log" says_listening "$dir/n$((i + 1)).log"
done

export ZORVID_LB_ADDRESS=127.0.0.1 ZORVID_LOGIN_PORT=$login_port ZORVID_SERVICE_PORT=$service_port
export ZORVID_CHAT_FIRST=$chat_first ZORVID_CHAT_LAST=$chat_last ZORVID_LB_STATS_PORT=$stats_port
export ZORVID_NODE1=${nodes[0]} ZORVID_NODE2=${nodes[1]} ZORVID_NODE3=${nodes[2]}
haproxy -db -f "$here/haproxy.cfg" 2>"$dir/haproxy.log" &
haproxy_pid=$!
for port in "$login_port" "$service_port" "$chat_first" "$chat_last"; do
  await haproxy "$haproxy_pid" "$dir/haproxy.log" accepts 127.0.0.1 "$port"
done

cat <<EOF
zorvid cluster in $dir$([ "$standalone" = 1 ] && echo " (standalone nodes)")
  clients connect to 127.0.0.1: login $login_port, service $service_port, chat $chat_ports
    KESTRIVAN_LOGIN_HOST=127.0.0.1 KESTRIVAN_CHAT_HOST=127.0.0.1 \\
    KESTRIVAN_LOGIN_PORT=$login_port KESTRIVAN_SERVICE_PORT=$service_port build/src/main/kestrivan
  nodes: n1 ${nodes[0]} (pid ${node_pids[0]}), n2 ${nodes[1]} (pid ${node_pids[1]}), n3 ${nodes[2]} (pid ${node_pids[2]})
  HAProxy statistics: http://127.0.0.1:$stats_port/
  logs: $dir/*.log; Ctrl-C stops everything
EOF
[ "$http_port" = -1 ] || echo "  web site (first node only): http://${nodes[0]}:$http_port/"
echo "ready dir=$dir login=$login_port service=$service_port chat=$chat_ports stats=$stats_port" \
  "haproxy=$haproxy_pid n1=${nodes[0]}/${node_pids[0]} n2=${nodes[1]}/${node_pids[1]}" \
  "n3=${nodes[2]}/${node_pids[2]} nats=${nats_uri:--} db=${db_uri:--}"

# Runs as long as the proxy does; a dead node is the balancer's business, not a reason to stop.
wait "$haproxy_pid" || true
haproxy_pid=""
die "haproxy ended (log: $dir/haproxy.log)"
