#!/usr/bin/env bash
# Measures the time from process start to the main window being mapped on an X display,
# for kestrivan logging in automatically against a local zorvid, and for a bare Qt window
# as the baseline in the same run. Median of N runs each.
#   bench/startup/measure.sh BUILD_DIR [N]
set -euo pipefail
build=$(cd "$1" && pwd)
runs=${2:-5}
root=$(cd "$(dirname "$0")/../.." && pwd)
state=$(mktemp -d /tmp/kv-startup.XXXXXX)
display=":$((500 + RANDOM % 300))"
Xvfb "$display" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
"$build/server/zorvid" --config "$root/server/demo.conf" --login-port 0 --service-port 0 \
  --chat-ports 0 --http-port 0 --db "$state/a.db" 2>"$state/z.log" &
zorvid=$!
trap 'kill $xvfb $zorvid 2>/dev/null || true' EXIT
for _ in $(seq 100); do grep -q listening "$state/z.log" && break; sleep 0.1; done
read -r login service http < <(sed -n 's/.*listening login=\([0-9]*\) service=\([0-9]*\) http=\([0-9-]*\).*/\1 \2 \3/p' "$state/z.log")
export DISPLAY=$display QTWEBENGINE_DISABLE_SANDBOX=1
export KESTRIVAN_LOGIN_HOST=127.0.0.1 KESTRIVAN_CHAT_HOST=127.0.0.1
export KESTRIVAN_LOGIN_PORT=$login KESTRIVAN_SERVICE_PORT=$service KESTRIVAN_WEB_URL=http://127.0.0.1:$http
sleep 1

# Seconds from start until a window titled "Zorvi" is mapped.
time_to_window() {
  local start end pid
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1 &
  pid=$!
  for _ in $(seq 3000); do
    if xwininfo -root -tree 2>/dev/null | grep -q '"Zorvi"'; then break; fi
    sleep 0.01
  done
  end=$(date +%s.%N)
  kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null || true
  sleep 0.3
  echo "$end - $start" | bc -l
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

base=(); prog=()
for i in $(seq "$runs"); do
  base+=("$(time_to_window "$build/bench/startup_baseline")")
  home="$state/home$i"; mkdir -p "$home/cfg/Marquent" "$home/run"; chmod 700 "$home/run"
  printf '[1.1b]\nusername=bench%s\npassword=pw\npsave=1\nsound=0\n' "$i" > "$home/cfg/Marquent/Zorvi.conf"
  prog+=("$(cd "$build" && XDG_CONFIG_HOME=$home/cfg XDG_RUNTIME_DIR=$home/run XDG_DATA_HOME=$home \
            time_to_window ./src/main/kestrivan)")
done
b=$(printf '%s\n' "${base[@]}" | median)
p=$(printf '%s\n' "${prog[@]}" | median)
printf 'bare Qt window: %.3f s   kestrivan main window (login included): %.3f s   ratio %.1f\n' \
  "$b" "$p" "$(echo "$p / $b" | bc -l)"
