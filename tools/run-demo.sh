#!/usr/bin/env bash
# Runs the program against a simulated office: lays out a demo data folder,
# starts tvq52-sim with four units behind a modem on a pseudo-terminal and
# points the folder's settings at it. The first run stores the four units
# with their telephone numbers and downloads their records (a week for one
# of them), so that the main window's overview shows an office at once; a
# run that finds this done leaves the folder as it is. Then it opens the
# program or, with no display, prints the overview from the command line.
# Usage: tools/run-demo.sh [BUILD-DIR]; TVQ52_DEMO_HOME names the folder.
set -euo pipefail

BUILD_DIR=${1:-build}
BIN="$(cd "$BUILD_DIR" && pwd)/bin"
DEMO_HOME=${TVQ52_DEMO_HOME:-$HOME/.local/share/tvq52-demo}
RUN_DIR=$(mktemp -d "${TMPDIR:-/tmp}/tvq52-demo.XXXXXX")

for program in tvq52-cli tvq52-sim; do
    if [[ ! -x "$BIN/$program" ]]; then
        echo "run-demo: $BIN/$program is missing; build first" >&2
        exit 1
    fi
done

SIM_PID=
stop_sim() {
    if [[ -n "$SIM_PID" ]] && kill -0 "$SIM_PID" 2>/dev/null; then
        kill "$SIM_PID" 2>/dev/null || true
        wait "$SIM_PID" 2>/dev/null || true
    fi
    SIM_PID=
}
cleanup() {
    stop_sim
    rm -rf "$RUN_DIR"
}
trap cleanup EXIT INT TERM

cli() { "$BIN/tvq52-cli" --home "$DEMO_HOME" "$@"; }

# The office: telephone number, serial number and days of recorded history.
OFFICE_UNITS=("931000101 21001 7" "931000102 21002 3" "931000103 21003 2" "931000104 21004 1")
for unit in "${OFFICE_UNITS[@]}"; do
    read -r number serial days <<<"$unit"
    echo "$number $serial days=$days"
done >"$RUN_DIR/office.txt"

# Starts the simulated office on a terminal linked as $1, with the
# simulator's further options; waits until it is there.
start_sim() {
    local link=$1
    shift
    : >"$RUN_DIR/sim.out"
    "$BIN/tvq52-sim" --modem --office "$RUN_DIR/office.txt" --link "$link" "$@" \
        >"$RUN_DIR/sim.out" 2>"$RUN_DIR/sim.log" &
    SIM_PID=$!
    for _ in $(seq 1 100); do
        [[ -s "$RUN_DIR/sim.out" ]] && return 0
        if ! kill -0 "$SIM_PID" 2>/dev/null; then break; fi
        sleep 0.05
    done
    echo "run-demo: the simulator did not start:" >&2
    cat "$RUN_DIR/sim.log" >&2
    exit 1
}

cli init >/dev/null
echo "Demo data folder: $DEMO_HOME"

# The office signs its journal, reports and exchange files: a key made for
# the demo the first time (a folder that has one keeps it).
if cli key show --json 2>/dev/null | grep -q '"key": null'; then
    cli key create --name "Oficina de demostración" >/dev/null
fi

# What the folder already holds, one "SERIAL DOWNLOADED" line a unit, from
# the overview's JSON: one key a line, sorted, so lastOutcome (that of the
# unit's newest download) comes before serial.
if ! cli fleet --json >"$RUN_DIR/fleet.json"; then
    echo "run-demo: the demo folder's database cannot be read" >&2
    exit 1
fi
awk '/^ *"lastOutcome": / { completed = ($2 == "\"completed\",") }
     /^ *"serial": / { sub(/,$/, "", $2); print $2, (completed ? "yes" : "no") }' \
    "$RUN_DIR/fleet.json" >"$RUN_DIR/stored.txt"

to_store=()
: >"$RUN_DIR/collect.list"
for unit in "${OFFICE_UNITS[@]}"; do
    read -r number serial _ <<<"$unit"
    if ! grep -q "^$serial " "$RUN_DIR/stored.txt"; then
        to_store+=("$number")
    fi
    if ! grep -q "^$serial yes$" "$RUN_DIR/stored.txt"; then
        echo "$serial" >>"$RUN_DIR/collect.list"
    fi
done

if [[ ${#to_store[@]} -gt 0 || -s "$RUN_DIR/collect.list" ]]; then
    echo "Storing the simulated office's units and downloading their recorded data..."
    # A modem that answers at once, and the program's waits twenty times
    # shorter: the dial delays alone would take half a minute a unit.
    start_sim "$RUN_DIR/setup.tty" --rings 1 --ring-ms 100 --guard-ms 50
    fast=(--clock-speed 20 --timeout-ms 60000 --yes --device "$RUN_DIR/setup.tty" --modem)
    for number in "${to_store[@]}"; do
        if ! cli "${fast[@]}" --phone "$number" program get --save >"$RUN_DIR/program.out" 2>&1; then
            cat "$RUN_DIR/program.out" >&2
            echo "run-demo: the unit on $number could not be stored; the next run tries again" >&2
            exit 1
        fi
    done
    if [[ -s "$RUN_DIR/collect.list" ]]; then
        if ! cli "${fast[@]}" collect "$RUN_DIR/collect.list" --quiet >"$RUN_DIR/collect.out" 2>"$RUN_DIR/collect.err"; then
            cat "$RUN_DIR/collect.out" "$RUN_DIR/collect.err" >&2
            echo "run-demo: not every unit was downloaded; the next run tries again" >&2
            exit 1
        fi
        cat "$RUN_DIR/collect.out"
    fi
    stop_sim
fi

# A fixed link name keeps the folder's settings valid from one run to the next.
SIM_LINK="$DEMO_HOME/simulated-office.tty"
cli config set Modem 1
cli config set SerialDevice "$SIM_LINK"

if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
    # Rings as long as a real call's, which the program's one-second pause
    # after dialling needs.
    start_sim "$SIM_LINK" --rings 1 --ring-ms 2000
    echo "Simulated office on $(head -n 1 "$RUN_DIR/sim.out") (link $SIM_LINK); its units' numbers:"
    printf '  %s\n' "${OFFICE_UNITS[@]% *}"
    "$BIN/tvq52" --home "$DEMO_HOME"
else
    echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): the windows cannot open here."
    echo "The office overview from the command line instead:"
    cli fleet
fi
