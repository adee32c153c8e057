#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program. Unless LINNET_COM1 is set, COM1 is the
# scanner simulator, started here and stopped when the program ends. Options given to this script
# go to the simulator instead of its usual ones (--aim --gs1): `./scripts/run.sh --test-codes`
# scans the test codes, for Tools > Test Codes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
build=${LINNET_BUILD_DIR:-$root/build}

# The program runs in the background while the script waits for it, so that a signal to the script
# (Ctrl+C, kill, timeout) reaches the trap at once; the trap then stops the program and the
# simulator.
app_pid=
sim_pid=
sim_dir=
# shellcheck disable=SC2317 # called by the trap
stop_all() {
    # A second signal (timeout signals the script and its whole group) must not cut this short.
    trap '' INT TERM HUP
    for pid in $app_pid $sim_pid; do
        if kill -0 "$pid" 2>/dev/null; then
            kill -TERM "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
        fi
    done
    if [ -n "$sim_dir" ]; then
        rm -rf "$sim_dir"
    fi
}
trap stop_all EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

if [ -n "${LINNET_COM1:-}" ]; then
    echo "COM1 uses $LINNET_COM1"
else
    # The simulator writes a line for every code and for what the program sends it; that goes to
    # a file, so that it neither clutters the terminal nor blocks on a pipe nobody reads. Its codes
    # carry AIM symbology identifiers and include GS1 element strings, as the Scan Log decodes them.
    sim_dir=$(mktemp -d "${TMPDIR:-/tmp}/linnet-scanner-sim.XXXXXX")
    : >"$sim_dir/output"
    sim_options=(--aim --gs1)
    [ $# -gt 0 ] && sim_options=("$@")
    "$build/linnet-scanner-sim" --quiet "${sim_options[@]}" >"$sim_dir/output" &
    sim_pid=$!
    device=
    for _ in $(seq 100); do
        # read succeeds only on a whole line: the path followed by its line break.
        if IFS= read -r line <"$sim_dir/output"; then
            device=$line
            break
        fi
        if ! kill -0 "$sim_pid" 2>/dev/null; then
            echo "The scanner simulator did not start; set LINNET_COM1 to a device." >&2
            exit 1
        fi
        sleep 0.05
    done
    if [ -z "$device" ]; then
        echo "The scanner simulator did not name its device; set LINNET_COM1 to a device." >&2
        exit 1
    fi
    export LINNET_COM1=$device
    echo "COM1 is the scanner simulator at $device (set LINNET_COM1 to use a real device)"
fi

"$build/linnet-test" "$@" &
app_pid=$!
status=0
wait "$app_pid" || status=$?
app_pid=
exit "$status"
