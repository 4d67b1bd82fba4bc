#!/usr/bin/env bash
# Runs the program against the simulated unit: lays out a demo data folder,
# starts tvq52-sim on a pseudo-terminal, points the folder's settings at it
# and opens the program (or, with no display, identifies the unit from the
# command line).
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
cleanup() {
    if [[ -n "$SIM_PID" ]] && kill -0 "$SIM_PID" 2>/dev/null; then
        kill "$SIM_PID" 2>/dev/null || true
        wait "$SIM_PID" 2>/dev/null || true
    fi
    rm -rf "$RUN_DIR"
}
trap cleanup EXIT INT TERM

"$BIN/tvq52-cli" --home "$DEMO_HOME" init >/dev/null
echo "Demo data folder: $DEMO_HOME"
# A fixed link name keeps the folder's settings valid from one run to the next.
SIM_LINK="$DEMO_HOME/simulated-unit.tty"

"$BIN/tvq52-sim" --link "$SIM_LINK" --serial 12345 >"$RUN_DIR/sim.out" 2>"$RUN_DIR/sim.log" &
SIM_PID=$!
for _ in $(seq 1 100); do
    [[ -s "$RUN_DIR/sim.out" ]] && break
    if ! kill -0 "$SIM_PID" 2>/dev/null; then
        echo "run-demo: the simulator did not start:" >&2
        cat "$RUN_DIR/sim.log" >&2
        exit 1
    fi
    sleep 0.05
done
DEVICE=$(head -n 1 "$RUN_DIR/sim.out")
echo "Simulated unit on $DEVICE (link $SIM_LINK)"

"$BIN/tvq52-cli" --home "$DEMO_HOME" config set Modem 0
"$BIN/tvq52-cli" --home "$DEMO_HOME" config set SerialDevice "$SIM_LINK"

# The first run keeps the simulated unit's programming and a week of its
# records, so that the recorded-data window has something to show at once.
if [[ -z "$("$BIN/tvq52-cli" --home "$DEMO_HOME" journal --serial 12345)" ]]; then
    echo "Storing the simulated unit and downloading its recorded data..."
    "$BIN/tvq52-cli" --home "$DEMO_HOME" --yes program get --save >/dev/null 2>&1 &&
        "$BIN/tvq52-cli" --home "$DEMO_HOME" --yes download 2>/dev/null | tail -n 10 ||
        echo "run-demo: the first download did not complete; the windows can try again" >&2
fi

if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
    "$BIN/tvq52" --home "$DEMO_HOME"
else
    echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): the windows cannot open here."
    echo "Identifying the simulated unit from the command line instead:"
    "$BIN/tvq52-cli" --home "$DEMO_HOME" --yes identify
fi
