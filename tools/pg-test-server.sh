#!/usr/bin/env bash
# A private PostgreSQL server for one test run: start STATE_DIR [OWNER_PID]
# writes the connection URI to STATE_DIR/uri; stop STATE_DIR stops it and
# removes its files. halt STATE_DIR stops it keeping its data and resume
# STATE_DIR starts it again (for tests of a server that goes away). Given an
# owner, the server is stopped and removed once that process is gone, however
# it ended: the server runs in a session of its own, out of reach of the
# owner's Ctrl-C, and would otherwise outlive a killed bench or test run.
# Unix socket only, fsync off: it holds nothing worth keeping. No background
# vacuum either: a bench that times its own statements and a peer's must not
# be charged for the clean-up of the other's million rows.
set -euo pipefail

mode=${1:-}
state=${2:-}
owner=${3:-}
usage() {
  echo "usage: $0 start STATE_DIR [OWNER_PID] | stop|halt|resume STATE_DIR" >&2
  exit 2
}
if [ -z "$mode" ] || [ -z "$state" ]; then usage; fi
if [ -n "$owner" ] && [ "$mode" != watch ] \
   && { [ "$mode" != start ] || ! [[ "$owner" =~ ^[1-9][0-9]*$ ]] || ! kill -0 "$owner" 2>/dev/null; }; then
  echo "$0: no process $owner to own the server" >&2
  exit 2
fi

bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n1)
if [ -z "$bindir" ] || [ ! -x "$bindir/initdb" ]; then
  echo "PostgreSQL server programs not found (install the postgresql package)" >&2
  exit 1
fi

# As root the server runs as the postgres user.
as_server() {
  if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

stop_server() {
  if [ -d "$1/data" ]; then
    as_server "$bindir/pg_ctl" -D "$1/data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$1"
}

stop() {
  if [ -f "$state/dir" ]; then
    stop_server "$(cat "$state/dir")"
  fi
  rm -rf "$state"
}

# Polls the owner; a server stopped the usual way ends the watch.
watch_owner() {
  local owner=$1 dir=$2
  while kill -0 "$owner" 2>/dev/null && [ -d "$dir" ]; do sleep 1; done
  if [ -d "$dir" ]; then
    stop_server "$dir"
    # The state is this server's unless a later start took it over.
    if [ "$(cat "$state/dir" 2>/dev/null)" = "$dir" ]; then rm -rf "$state"; fi
  fi
}

port=${TVQ52_PG_PORT:-55432}  # another run at once on this machine sets its own
launch() {
  dir=$1
  if ! as_server "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 \
       -o "-p $port -k $dir/sock -c listen_addresses='' -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c autovacuum=off -c max_connections=200" \
       start >/dev/null; then
    cat "$dir/server.log" >&2
    exit 1
  fi
}

case "$mode" in
  start)
    stop
    mkdir -p "$state"
    # The socket path must stay short (about 100 bytes), so not in the build folder.
    dir=$(mktemp -d /tmp/tvq52-pg.XXXXXX)
    echo "$dir" > "$state/dir"
    mkdir -p "$dir/sock"
    if [ "$(id -u)" = 0 ]; then chown -R postgres: "$dir"; chmod 755 "$dir"; fi
    as_server "$bindir/initdb" -D "$dir/data" -U postgres -A trust -E UTF8 --locale=C.UTF-8 --no-sync >"$dir/initdb.log" 2>&1 \
      || { cat "$dir/initdb.log" >&2; exit 1; }
    launch "$dir"
    chmod 777 "$dir/sock"
    echo "postgresql://postgres@/postgres?host=$dir/sock&port=$port" > "$state/uri"
    if [ -n "$owner" ]; then
      setsid -f bash "$(readlink -f "$0")" watch "$state" "$owner" "$dir" </dev/null >/dev/null 2>&1
    fi
    echo "PostgreSQL for the tests: $(cat "$state/uri")"
    ;;
  stop)
    stop
    ;;
  halt)
    # As an administrator stopping it: connections are ended, data kept.
    dir=$(cat "$state/dir")
    as_server "$bindir/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null
    ;;
  resume)
    launch "$(cat "$state/dir")"
    ;;
  watch)
    watch_owner "$owner" "${4:?}"
    ;;
  *)
    usage
    ;;
esac
