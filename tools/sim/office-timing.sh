#!/bin/sh
# Times four paced units downloaded one after another over one modem line
# against all at once over four lines, and prints the ratio.
# Usage: tools/sim/office-timing.sh [BUILD-DIR] [DAYS]
set -eu
build=${1:-build}
days=${2:-2}
bin=$build/bin
work=$(mktemp -d)
sim=
cleanup() {
    [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

for k in 1 2 3 4; do
    echo "10$k 200$k days=$days"
done > "$work/office.txt"
: > "$work/paths"
"$bin/tvq52-sim" --modem --lines 4 --pace --rings 1 --ring-ms 100 --guard-ms 50 \
    --office "$work/office.txt" --link "$work/line" > "$work/paths" 2> "$work/sim.log" &
sim=$!
while [ "$(wc -l < "$work/paths")" -lt 4 ]; do
    kill -0 "$sim" || { cat "$work/sim.log"; exit 1; }
    sleep 0.1
done

cli() { # HOME LINE NUMBER COMMAND...
    home=$1 line=$2 number=$3
    shift 3
    "$bin/tvq52-cli" --home "$work/$home" --clock-speed 50 --yes --device "$work/line-$line" \
        --modem --phone "$number" "$@" > "$work/out" 2>&1 || { cat "$work/out"; return 1; }
}
now() { date +%s.%N; }

# Two data folders that know the four units, so each round downloads everything.
for home in one four; do
    for k in 1 2 3 4; do cli "$home" 1 "10$k" program get --save; done
done

start=$(now)
for k in 1 2 3 4; do cli one 1 "10$k" download; done
one=$(now)

failed=0
for k in 1 2 3 4; do
    "$bin/tvq52-cli" --home "$work/four" --clock-speed 50 --yes --device "$work/line-$k" \
        --modem --phone "10$k" download > "$work/out-$k" 2>&1 &
    eval "pid$k=\$!"
done
for k in 1 2 3 4; do
    eval "wait \$pid$k" || { failed=1; cat "$work/out-$k"; }
done
four=$(now)
[ "$failed" = 0 ] || exit 1

awk -v s="$start" -v o="$one" -v f="$four" -v d="$days" 'BEGIN {
    a = o - s; b = f - o
    printf "4 units of %d days, paced: one line %.1f s, four lines %.1f s, ratio %.2f\n", d, a, b, b / a
}'
