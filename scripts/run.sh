#!/usr/bin/env bash
# Builds the program and the service, starts zorvid on loopback with the demo
# configuration and the client against it, every connection over TLS: a throwaway CA and
# server certificate are made in the demo's temporary folder, and the client trusts that CA. Without a display the client runs under Xvfb,
# logs in as a demo user and a screenshot of its main window is saved to out/.
#   scripts/run.sh            one client
#   scripts/run.sh --second   a second client as well (a second user on the same machine)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh

second=0
[ "${1:-}" = "--second" ] && second=1

build=build/run
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target kestrivan zorvid zorvi-probe

state=$(mktemp -d /tmp/kestrivan-demo.XXXXXX)
mkdir -p out
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

scripts/make-certs.sh "$state/certs"
"$build/server/zorvid" --config server/demo.conf --db "$state/accounts.db" \
  --tls-cert "$state/certs/server.pem" --tls-key "$state/certs/server.key" 2>"$state/zorvid.log" &
pids+=($!)
for _ in $(seq 100); do
  grep -q "listening" "$state/zorvid.log" 2>/dev/null && break
  sleep 0.1
done
grep "listening" "$state/zorvid.log" || { cat "$state/zorvid.log"; exit 1; }

export KESTRIVAN_LOGIN_HOST=127.0.0.1 KESTRIVAN_CHAT_HOST=127.0.0.1
export KESTRIVAN_WEB_URL=https://127.0.0.1:8080 KESTRIVAN_SIBLING_URL=https://127.0.0.1:8080/pelbrook/
export KESTRIVAN_TLS=1 KESTRIVAN_CA_FILE="$state/certs/ca.pem"

# Each client gets its own settings and runtime folders, so two can run side by side.
start_client() {  # name, saved-login (0/1)
  local home="$state/$1"
  mkdir -p "$home/config/Marquent" "$home/run" "$home/data"
  chmod 700 "$home/run"
  if [ "$2" = 1 ]; then
    printf '[1.1b]\nusername=%s\npassword=demo\npsave=1\nsound=1\n' "$1" > "$home/config/Marquent/Zorvi.conf"
    chmod 600 "$home/config/Marquent/Zorvi.conf"
  fi
  # Without a display there is no desktop session either: the client gets a session bus of
  # its own with a keyring unlocked by a throwaway password, where its saved password moves.
  local launch=(./src/main/kestrivan)
  if [ "$headless" = 1 ]; then
    launch=(dbus-run-session -- sh -c 'echo demo-keyring | gnome-keyring-daemon --unlock \
      --components=secrets >/dev/null && exec ./src/main/kestrivan')
  fi
  (cd "$build" && XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/run" XDG_DATA_HOME="$home/data" \
     QTWEBENGINE_DISABLE_SANDBOX=1 exec "${launch[@]}") &
  pids+=($!)
}

headless=1
[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && headless=0
if [ "$headless" = 0 ]; then
  start_client you 0
  [ "$second" = 1 ] && start_client friend 0
  wait "${pids[1]}"
else
  echo "No display: running the client under Xvfb"
  display=:$((90 + RANDOM % 100))
  Xvfb "$display" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  export DISPLAY=$display
  sleep 1
  start_client demo 1
  [ "$second" = 1 ] && start_client friend 1
  for _ in $(seq 150); do
    xwininfo -root -tree 2>/dev/null | grep -q '"Zorvi"' && break
    sleep 0.2
  done
  sleep 3  # let the skin and the portal page paint
  import -window root out/main-window.png
  echo "Screenshot of the main window: out/main-window.png"
fi
