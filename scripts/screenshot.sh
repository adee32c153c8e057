#!/usr/bin/env bash
# Makes docs/screenshot.png: the main window under Xvfb, with COM1 opened on the scanner simulator
# and a few codes in both views. Run it again after a visible change.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${LINNET_BUILD_DIR:-$root/build}
out=${1:-$root/docs/screenshot.png}

"$root/scripts/picture-tools.sh"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" >/dev/null

work=$(mktemp -d)
sim_pid=
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

"$build/linnet-scanner-sim" --interval 0.7 --quiet >"$work/sim" &
sim_pid=$!
for _ in $(seq 100); do
    IFS= read -r device <"$work/sim" && break
    sleep 0.05
done
[ -n "${device:-}" ] || { echo "the scanner simulator did not start" >&2; exit 1; }

export LINNET_COM1=$device
export LINNET_BUILD=$build LINNET_SHOT=$work/shot.png
xvfb-run -a -s "-screen 0 1024x768x24 -noreset" bash -c '
    "$LINNET_BUILD/linnet-test" &
    app=$!
    window=$(xdotool search --sync --onlyvisible --name "^Kestrova Linnet Test V" | head -n 1)
    xdotool windowfocus --sync "$window"
    # "Open COM1": the button sits at 3840,120 twips (256,8 px) below the menu bar.
    eval "$(xdotool getwindowgeometry --shell "$window")"
    xdotool mousemove --window "$window" 312 40 click 1
    # Confirm the "opened" message.
    sleep 0.8
    xdotool key --clearmodifiers Return
    sleep 4.5
    import -window "$window" "$LINNET_SHOT"
    kill $app
'
mv "$work/shot.png" "$out"
echo "wrote $out"
