#!/usr/bin/env bash
# Makes docs/scanlog.png: the Scan Log under Xvfb, fed by the scanner simulator with AIM
# identifiers and GS1 codes (as ./scripts/run.sh starts it), after COM1 has been open for a few
# seconds. Run it again after a visible change to the Scan Log.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${LINNET_BUILD_DIR:-$root/build}
out=${1:-$root/docs/scanlog.png}

"$root/scripts/picture-tools.sh"
# An existing build needs only the program and the simulator brought up to date.
if [ -f "$build/build.ninja" ]; then
    cmake --build "$build" --target linnet-test linnet-scanner-sim >/dev/null
else
    "$root/scripts/setup.sh"
    "$root/scripts/build.sh" >/dev/null
fi

work=$(mktemp -d)
sim_pid=
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

: >"$work/sim"
"$build/linnet-scanner-sim" --aim --gs1 --interval 0.3 --quiet >"$work/sim" &
sim_pid=$!
for _ in $(seq 100); do
    IFS= read -r device <"$work/sim" && break
    sleep 0.05
done
[ -n "${device:-}" ] || { echo "the scanner simulator did not start" >&2; exit 1; }

export LINNET_COM1=$device
export LINNET_BUILD=$build LINNET_SHOT=$work/shot.png
xvfb-run -a -s "-screen 0 1600x900x24 -noreset" bash -c '
    "$LINNET_BUILD/linnet-test" &
    app=$!
    window=$(xdotool search --sync --onlyvisible --name "^Kestrova Linnet Test V" | head -n 1)
    xdotool windowfocus --sync "$window"
    # "Open COM1": the button sits at 3840,120 twips (256,8 px) below the menu bar.
    xdotool mousemove --window "$window" 312 40 click 1
    # Confirm the "opened" message, then open the Scan Log with its shortcut.
    sleep 0.8
    xdotool key --clearmodifiers Return
    sleep 0.3
    xdotool windowfocus --sync "$window" key --clearmodifiers ctrl+l
    log=$(xdotool search --sync --onlyvisible --name "^Scan Log$" | head -n 1)
    # Wide enough for the symbology, check and GS1 columns.
    xdotool windowmove "$log" 0 0 windowsize --sync "$log" 1580 560
    sleep 6
    import -window "$log" "$LINNET_SHOT"
    kill $app
'
mv "$work/shot.png" "$out"
echo "wrote $out"
