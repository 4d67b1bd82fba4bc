#!/usr/bin/env bash
# Lays out a demo data folder with one simulated unit's programming and a few
# days of its records, then has tvq52-manual picture the windows on it and
# write the manual's pages. Usage: make-manual.sh BIN-DIR PAGES-DIR OUT-DIR
set -euo pipefail
bin=$1 pages=$2 out=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/tvq52-manual.XXXXXX")
sim=
cleanup() {
    if [[ -n "$sim" ]]; then kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

# What the command line says goes to a log, shown only when a step fails.
cli() { "$bin/tvq52-cli" --home "$work/home" "$@" >>"$work/cli.log" 2>&1 || { cat "$work/cli.log" >&2; return 1; }; }
# A fixed history, so that the pictures change only when the windows do.
"$bin/tvq52-sim" --link "$work/tty" --serial 4711 --days 4 --history-end 2026-11-20T08:00 \
    >"$work/sim.out" 2>"$work/sim.log" &
sim=$!
for _ in $(seq 1 200); do [[ -e "$work/tty" ]] && break; sleep 0.05; done
cli config set Language 1034
cli config set SerialDevice "$work/tty"
cli config set User "Ayuntamiento - Medio Ambiente"
cli --yes program get --save
cli download --from 2026-11-16 --to 2026-11-20
kill "$sim"; wait "$sim" 2>/dev/null || true; sim=

rm -rf "$out.new"
mkdir -m 700 "$work/run"
XDG_RUNTIME_DIR="$work/run" "$bin/tvq52-manual" --home "$work/home" --pages "$pages" --out "$out.new"
rm -rf "$out"
mv "$out.new" "$out"
