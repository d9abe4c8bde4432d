# Sourced by the load scripts (bench/zorvid_*.sh); expects $build, $work and the array $args.
# The optional arrays $server_pin and $load_pin prefix the two commands (a taskset, say).
# The load comes from one address in a burst: admission limits and flood control are off.
zorvid_load_flags=(--no-login-check --no-flood-control --max-per-address 5000 --room-capacity 200
  --max-connections 0 --connect-rate 0 --http-port -1)

# Waits (at most 30 s) until LOG holds TEXT.
await_log() {  # LOG TEXT
  for _ in $(seq 300); do grep -qs "$2" "$1" && return 0; sleep 0.1; done
  echo "not ready: $1" >&2; return 1
}

# Starts a zorvid of its own on free ports with ZORVID_ARGS, runs zorvid-load against it
# with $args under LABEL, prints its RESULT line and stops it.
run_own_zorvid() {  # LABEL ZORVID_ARGS...
  local label=$1; shift
  ${server_pin[@]+"${server_pin[@]}"} "${zorvid:-$build/server/zorvid}" "${zorvid_load_flags[@]}" --chat-ports 0 --login-port 0 --service-port 0 \
    --db "$work/accounts-$label.db" "$@" 2> "$work/zorvid-$label.log" &
  local pid=$!
  await_log "$work/zorvid-$label.log" listening
  local port; port=$(grep -o 'service=[0-9]*' "$work/zorvid-$label.log" | cut -d= -f2)
  ${load_pin[@]+"${load_pin[@]}"} "$build/bench/zorvid-load" -p "$port" -P $pid -L "$label" "${args[@]}" | grep RESULT || true
  kill -INT $pid; wait $pid || true
}
