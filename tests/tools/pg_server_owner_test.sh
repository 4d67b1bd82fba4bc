#!/usr/bin/env bash
# The private server given an owner goes when its owner goes, killed or
# not; stopped the usual way, it leaves no watcher behind; an owner that is
# not there starts nothing.
set -euo pipefail
script=$(cd "$(dirname "$0")/../../tools" && pwd)/pg-test-server.sh
export TVQ52_PG_PORT=$(( ${TVQ52_PG_PORT:-55432} + 7 ))  # not the suite's own server's
work=$(mktemp -d)
owner=
cleanup() {
  [ -n "$owner" ] && kill -9 "$owner" 2>/dev/null || true
  bash "$script" stop "$work/state" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# As root the server runs as postgres, which must reach the state folder.
chmod 755 "$work"

answers() { psql -Atq "$(cat "$work/uri")" -c 'SELECT 1' 2>/dev/null | grep -qx 1; }
watchers() { pgrep -f "pg-test-server.sh watch $work/state " || true; }
# Waits up to ten seconds for a test to hold.
within() { for _ in $(seq 50); do if eval "$1"; then return 0; fi; sleep 0.2; done; return 1; }

# Killed owner.
sleep 600 & owner=$!
bash "$script" start "$work/state" "$owner" >/dev/null
cp "$work/state/uri" "$work/uri"
dir=$(cat "$work/state/dir")
answers || fail "the server does not answer"
[ -n "$(watchers)" ] || fail "no watcher for the owner"
kill -9 "$owner"; wait "$owner" 2>/dev/null || true; owner=
within '! answers && [ ! -d "$dir" ] && [ ! -d "$work/state" ]' || fail "the server outlived its killed owner"
within '[ -z "$(watchers)" ]' || fail "the watcher outlived the server"

# Stopped the usual way while the owner lives: the watcher ends too.
sleep 600 & owner=$!
bash "$script" start "$work/state" "$owner" >/dev/null
cp "$work/state/uri" "$work/uri"
answers || fail "the second server does not answer"
bash "$script" stop "$work/state"
! answers || fail "the stopped server still answers"
within '[ -z "$(watchers)" ]' || fail "a watcher outlived the stopped server"

# An owner that is not there.
kill -9 "$owner"; wait "$owner" 2>/dev/null || true
if bash "$script" start "$work/state" "$owner" 2>/dev/null; then fail "a server started for a gone owner"; fi
[ ! -e "$work/state/uri" ] || fail "a gone owner's start left a server behind"
owner=
echo "ok"
