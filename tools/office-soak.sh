#!/usr/bin/env bash
# Soak run of the collect round, not run by the test suite: 50 simulated
# units behind 4 modems, two rounds into a SQLite data folder and two into a
# private PostgreSQL server, with a few units erased or reprogrammed after
# their first call. Checks that what the units had acknowledged is stored
# once, that the journal verifies, and that the overview lists every unit
# with the erased and reprogrammed ones flagged. Prints the time per round.
# Usage: tools/office-soak.sh [BUILD-DIR] [DAYS]
set -euo pipefail
build=${1:-build}
days=${2:-2}
bin=$(cd "$build/bin" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
units=50
lines=4
work=$(mktemp -d)
sim=
pg_state=$work/pg
cleanup() {
    if [ -n "$sim" ]; then kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; fi
    [ -f "$pg_state/uri" ] && "$here/pg-test-server.sh" stop "$pg_state" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM
fail() { echo "office-soak: $*" >&2; exit 1; }

serial() { echo $((5000 + $1)); }
phone() { printf '7%03d' "$1"; }
erased="5003 5017"
reprogrammed="5008 5042"

: > "$work/office.txt"
: > "$work/units.txt"
for k in $(seq 1 $units); do
    echo "$(phone "$k") $(serial "$k") days=$days seed=$k" >> "$work/office.txt"
    serial "$k" >> "$work/units.txt"
done
after=()
for s in $erased; do after+=(--after-call "$s=erase"); done
for s in $reprogrammed; do after+=(--after-call "$s=reprogram"); done

# Waits fifty times shorter than on a real line, as the timing script runs them.
cli() { "$bin/tvq52-cli" --clock-speed 50 "$@"; }

store_units_sqlite() {
    local db=$1
    for k in $(seq 1 $units); do
        echo "INSERT INTO \"Programacion\" (\"LNumeroSerie\", \"TVersion\", \"TTelefono\", \"ByTLeq\") VALUES ($(serial "$k"), '4.0', '$(phone "$k")', 15);"
    done | sqlite3 "$db"
}
store_units_pg() {
    local uri=$1
    for k in $(seq 1 $units); do
        echo "INSERT INTO \"Programacion\" (\"LNumeroSerie\", \"TVersion\", \"TTelefono\", \"ByTLeq\") VALUES ($(serial "$k"), '4.0', '$(phone "$k")', 15);"
    done | psql -q -v ON_ERROR_STOP=1 "$uri" > /dev/null
}

# NAME HOME [--database URI]: one round on every line; prints its figures.
round() {
    local name=$1 home=$2; shift 2
    local devices=()
    for k in $(seq 1 $lines); do devices+=(--device "$work/line-$k"); done
    local start end
    start=$(date +%s.%N)
    cli --home "$home" "$@" "${devices[@]}" collect "$work/units.txt" --quiet --json > "$work/$name.json" \
        2> "$work/$name.err" || {
        grep -v '^Transmisi' "$work/$name.err" | tail -20
        python3 -c 'import json,sys
for u in json.load(open(sys.argv[1]))["units"]:
    if not u["collected"]: print(u)' "$work/$name.json" || true
        fail "$name: not every unit was collected"
    }
    end=$(date +%s.%N)
    python3 - "$work/$name.json" "$start" "$end" "$name" <<'PY'
import json, sys
doc = json.load(open(sys.argv[1]))
secs = float(sys.argv[3]) - float(sys.argv[2])
lines = {u["line"] for u in doc["units"]}
print(f"{sys.argv[4]}: {doc['collected']} of {doc['total']} units on {len(lines)} lines in {secs:.1f} s, "
      f"{doc['total'] * 60 / secs:.1f} units/min")
PY
}

# Acknowledged records of a kind since line N of the acknowledgement log.
acked() { tail -n +"$(($2 + 1))" "$work/acks.txt" | grep -c "^$1 " || true; }
ack_lines() { wc -l < "$work/acks.txt"; }

# NAME JSON: the summary's received records of a kind, summed over the units.
received() {
    python3 -c 'import json,sys; print(sum(u[sys.argv[2]] for u in json.load(open(sys.argv[1]))["units"]))' "$1" "$2"
}

# SQL COUNT on either backend: count TABLE [--database URI]
count() {
    local table=$1; shift
    if [ "${1:-}" = --database ]; then
        psql -qtA "$2" -c "SELECT COUNT(*) FROM \"$table\""
    else
        sqlite3 "$home_sqlite/tvq52.db" "SELECT COUNT(*) FROM \"$table\""
    fi
}

check_fleet() { # HOME [--database URI]
    local home=$1; shift
    if ! cli --home "$home" "$@" fleet --json > "$work/fleet.json" 2> "$work/fleet.err"; then
        echo "office-soak: fleet --json did not run (is the overview command there?):" >&2
        cat "$work/fleet.err" >&2
        return 1
    fi
    python3 - "$work/fleet.json" "$units" "$erased" "$reprogrammed" <<'PY'
import json, sys
doc = json.load(open(sys.argv[1]))
units = doc["units"] if isinstance(doc, dict) else doc
want = int(sys.argv[2])
assert len(units) == want, f"fleet lists {len(units)} units, not {want}"
by = {int(u["serial"]): u for u in units}
for u in units:
    days = u.get("daysSinceDownload")
    assert days == 0, f"unit {u['serial']} read {days} days ago, not today"
def flagged(serial, word):
    return word in by[serial].get("reasons", [])
for s in sys.argv[3].split():
    assert flagged(int(s), "erased"), f"unit {s} was erased and is not flagged"
for s in sys.argv[4].split():
    assert flagged(int(s), "reprogrammed"), f"unit {s} was reprogrammed and is not flagged"
quiet = [s for s, u in by.items() if str(s) not in sys.argv[3].split() + sys.argv[4].split()
         and ("erased" in u.get("reasons", []) or "reprogrammed" in u.get("reasons", []))]
assert not quiet, f"units flagged that nothing happened to: {quiet}"
print(f"fleet: {len(units)} units, erased and reprogrammed ones flagged")
PY
}

# A fresh office for each backend, so that each sees the erasures and
# reprogrammings happen between its own two rounds.
start_sim() {
    [ -n "$sim" ] && { kill "$sim"; wait "$sim" 2>/dev/null || true; }
    : > "$work/paths"
    : > "$work/acks.txt"
    "$bin/tvq52-sim" --modem --lines $lines --pace --rings 1 --ring-ms 100 --guard-ms 50 \
        --office "$work/office.txt" --link "$work/line" --ack-log "$work/acks.txt" "${after[@]}" \
        > "$work/paths" 2> "$work/sim.log" &
    sim=$!
    while [ "$(wc -l < "$work/paths")" -lt $lines ]; do
        kill -0 "$sim" || { cat "$work/sim.log"; fail "the simulator did not start"; }
        sleep 0.1
    done
}

"$here/pg-test-server.sh" start "$pg_state" $$ > /dev/null
uri=$(cat "$pg_state/uri")
psql -q "$uri" -c 'CREATE DATABASE soak' > /dev/null
soak_uri=${uri/\/postgres\?/\/soak\?}

home_sqlite=$work/sqlite
home_pg=$work/pg-home
mkdir -p "$home_sqlite" "$home_pg"
cli --home "$home_sqlite" init > /dev/null
store_units_sqlite "$home_sqlite/tvq52.db"
cli --home "$home_pg" --database "$soak_uri" init > /dev/null
store_units_pg "$soak_uri"

status=0
for backend in sqlite pg; do
    if [ $backend = sqlite ]; then home=$home_sqlite; db=(); else home=$home_pg; db=(--database "$soak_uri"); fi
    start_sim
    for n in 1 2; do
        before=$(ack_lines)
        intervals_before=$(count Intervalos "${db[@]}")
        round "$backend-$n" "$home" "${db[@]}"
        got=$(received "$work/$backend-$n.json" intervals)
        acks=$(acked interval "$before")
        [ "$got" = "$acks" ] || fail "$backend round $n: $acks intervals acknowledged, $got received"
        intervals_after=$(count Intervalos "${db[@]}")
        if [ $n = 1 ]; then
            [ "$intervals_after" = "$acks" ] || fail "$backend round 1: $acks intervals acknowledged, $intervals_after stored"
        fi
        echo "$backend round $n: $acks intervals acknowledged, $((intervals_after - intervals_before)) new rows"
    done
    cli --home "$home" "${db[@]}" verify > "$work/verify.txt" || { cat "$work/verify.txt"; fail "$backend: the journal does not verify"; }
    echo "$backend: journal verified"
    check_fleet "$home" "${db[@]}" || status=1
done
exit $status
