#!/usr/bin/env bash
# A throwaway PostgreSQL for the tests and the local cluster: loopback only, trust
# authentication, everything in one folder.
#   pg-throwaway.sh start DIR PORT   makes DIR a database cluster (once), starts the server on
#                                    127.0.0.1:PORT with its socket in DIR, makes the database
#                                    zorvi and prints its URI on stdout
#   pg-throwaway.sh stop DIR         fast shutdown, then kill what is left
# PostgreSQL refuses to run as root, so as root the server runs as the unprivileged system
# user zorvi-pg (made here once); DIR's parent folders must then let that user through.
set -euo pipefail

readonly service_user=zorvi-pg
readonly start_timeout=30 stop_timeout=10

die() {
  echo "pg-throwaway: $*" >&2
  exit 1
}

usage() {
  die "usage: $0 start DIR PORT | stop DIR"
}

# The newest PostgreSQL installed.
find_bindir() {
  local dir
  dir=$(find /usr/lib/postgresql -mindepth 2 -maxdepth 2 -name bin -type d 2>/dev/null |
    sort -V | tail -n 1)
  if [ -z "$dir" ] || [ ! -x "$dir/postgres" ]; then
    die "no PostgreSQL programs in /usr/lib/postgresql/*/bin; install the postgresql package (scripts/install-deps.sh)"
  fi
  echo "$dir"
}

is_root() { [ "$(id -u)" -eq 0 ]; }

owner() {
  if is_root; then echo "$service_user"; else id -un; fi
}

# Several tests may start at once: whoever loses the race to useradd finds the user made.
ensure_service_user() {
  local _
  for _ in 1 2 3 4 5 6 7 8 9 10; do
    getent passwd "$service_user" >/dev/null && return 0
    useradd --system --user-group --no-create-home --home-dir /nonexistent \
      --shell /usr/sbin/nologin "$service_user" 2>/dev/null && return 0
    sleep 0.2
  done
  die "cannot create the system user $service_user"
}

as_owner() {
  if is_root; then
    runuser -u "$service_user" -- "$@"
  else
    "$@"
  fi
}

running_pid() {
  local dir=$1 pid
  [ -f "$dir/postmaster.pid" ] || return 1
  pid=$(head -n 1 "$dir/postmaster.pid")
  [[ "$pid" =~ ^[0-9]+$ ]] || return 1
  [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = postgres ] || return 1
  echo "$pid"
}

# The processes whose parent is $1 (ps is not in every container).
children_of() {
  local stat ppid
  for stat in /proc/[0-9]*/stat; do
    read -r _ _ _ ppid _ <"$stat" 2>/dev/null || continue
    if [ "$ppid" = "$1" ]; then
      stat=${stat#/proc/}
      echo "${stat%/stat}"
    fi
  done
}

start() {
  [ $# -eq 2 ] || usage
  local dir port bin user out deadline
  dir=$(realpath -m "$1")
  port=$2
  if ! [[ "$port" =~ ^[0-9]+$ ]] || [ "$port" -lt 1 ] || [ "$port" -gt 65535 ]; then
    die "PORT must be 1..65535, not \"$port\""
  fi
  [[ "$dir" != *"'"* ]] || die "DIR must not contain a quote"
  bin=$(find_bindir)
  if is_root; then ensure_service_user; fi
  user=$(owner)
  mkdir -p "$dir"
  if is_root; then chown "$user:" "$dir"; fi
  chmod 700 "$dir"
  as_owner test -w "$dir" -a -x "$dir" ||
    die "$user cannot use $dir: its parent folders must let $user through"

  if [ ! -f "$dir/PG_VERSION" ]; then
    out=$(as_owner timeout "$start_timeout" "$bin/initdb" -D "$dir" -U "$user" -A trust \
      -E UTF8 --no-locale --no-sync 2>&1) || die "initdb failed: $out"
    cat >>"$dir/postgresql.conf" <<EOF
# pg-throwaway: loopback only, small
listen_addresses = '127.0.0.1'
unix_socket_directories = '$dir'
shared_buffers = 16MB
max_connections = 50
EOF
  fi

  if ! running_pid "$dir" >/dev/null; then
    as_owner "$bin/pg_ctl" -D "$dir" -l "$dir/server.log" -o "-p $port" -w \
      -t "$start_timeout" start >/dev/null 2>&1 ||
      die "postgres did not start: $(tail -n 5 "$dir/server.log" 2>/dev/null | tr '\n' ' ')"
  fi
  deadline=$((SECONDS + start_timeout))
  until "$bin/pg_isready" -q -h 127.0.0.1 -p "$port" -t 1; do
    [ $SECONDS -lt $deadline ] || die "postgres does not accept connections on 127.0.0.1:$port"
    sleep 0.2
  done
  export PGCONNECT_TIMEOUT=5
  out=$(as_owner timeout 30 "$bin/psql" -X -q -h 127.0.0.1 -p "$port" -U "$user" -d postgres \
    -tAc "SELECT 1 FROM pg_database WHERE datname = 'zorvi'") || die "cannot query postgres"
  if [ "$out" != 1 ]; then
    as_owner timeout 30 "$bin/createdb" -h 127.0.0.1 -p "$port" -U "$user" zorvi ||
      die "cannot create the database zorvi"
  fi
  echo "postgresql://$user@127.0.0.1:$port/zorvi"
}

stop() {
  [ $# -eq 1 ] || usage
  local dir pid bin child deadline
  dir=$(realpath -m "$1")
  pid=$(running_pid "$dir") || return 0
  bin=$(find_bindir)
  as_owner "$bin/pg_ctl" -D "$dir" -m fast -w -t "$stop_timeout" stop >/dev/null 2>&1 || true
  if kill -0 "$pid" 2>/dev/null; then
    for child in $(children_of "$pid"); do kill -KILL "$child" 2>/dev/null || true; done
    kill -KILL "$pid" 2>/dev/null || true
    deadline=$((SECONDS + stop_timeout))
    while kill -0 "$pid" 2>/dev/null; do
      [ $SECONDS -lt $deadline ] || die "postgres (pid $pid) does not end"
      sleep 0.1
    done
  fi
}

[ $# -ge 1 ] || usage
case "$1" in
  start) shift; start "$@" ;;
  stop) shift; stop "$@" ;;
  *) usage ;;
esac
