#!/usr/bin/env bash
# Makes the pictures in docs/ under Xvfb, with COM1 opened on the scanner simulator:
#   scripts/screenshot.sh [main [OUT]]     docs/screenshot.png: the main window, a few codes in both views
#   scripts/screenshot.sh scanlog [OUT]    docs/scanlog.png: the Scan Log with its pictures, the
#                                          simulator sending AIM identifiers and GS1 codes (every
#                                          third with a wrong check digit) when a typed T comes,
#                                          in two runs with a pause between them
#   scripts/screenshot.sh findsettings [OUT] docs/findsettings.png: Find Settings after it found
#                                          the simulator's 19200 7E1 from the port's 9600 8N1
#   scripts/screenshot.sh testcodes [OUT]  docs/testcodes.png: the Test Codes window after the
#                                          simulator scanned every code, GS left out
#   scripts/screenshot.sh lamps [OUT]      docs/lamp-tooltip.png: the CTS lamp's tooltip on a
#                                          device without modem lines
#   scripts/screenshot.sh properties [OUT] docs/properties-tooltip.png: the Properties menu with
#                                          the InputLen item's tooltip
#   scripts/screenshot.sh beside [OUT]     docs/scanlog-beside.png: the whole screen, the Scan Log
#                                          opened beside the main window
# Run it again after a visible change.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${LINNET_BUILD_DIR:-$root/build}
picture=${1:-main}
case "$picture" in
main)
    out=${2:-$root/docs/screenshot.png}
    sim_options=(--interval 0.7)
    screen=1024x768x24
    ;;
scanlog)
    out=${2:-$root/docs/scanlog.png}
    sim_options=(--aim --gs1 --bad-check-every 3 --trigger T)
    screen=1600x900x24
    ;;
findsettings)
    out=${2:-$root/docs/findsettings.png}
    sim_options=(--line 19200,7E1 --interval 0.4)
    screen=1366x768x24
    ;;
testcodes)
    out=${2:-$root/docs/testcodes.png}
    sim_options=(--test-codes --no-gs --interval 0.3)
    screen=1600x1000x24
    ;;
lamps)
    out=${2:-$root/docs/lamp-tooltip.png}
    sim_options=(--interval 0.7)
    screen=1024x768x24
    ;;
properties)
    out=${2:-$root/docs/properties-tooltip.png}
    sim_options=(--interval 0.7)
    screen=1024x768x24
    ;;
beside)
    out=${2:-$root/docs/scanlog-beside.png}
    sim_options=(--interval 0.7)
    screen=1600x900x24
    ;;
*)
    echo "usage: $0 [main|scanlog|findsettings|testcodes|lamps|properties|beside] [OUT]" >&2
    exit 2
    ;;
esac

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
"$build/linnet-scanner-sim" "${sim_options[@]}" --quiet >"$work/sim" &
sim_pid=$!
for _ in $(seq 100); do
    IFS= read -r device <"$work/sim" && break
    sleep 0.05
done
[ -n "${device:-}" ] || { echo "the scanner simulator did not start" >&2; exit 1; }

export LINNET_COM1=$device
export LINNET_BUILD=$build LINNET_SHOT=$work/shot.png LINNET_PICTURE=$picture
xvfb-run -a -s "-screen 0 $screen -noreset" bash -c '
    "$LINNET_BUILD/linnet-test" &
    app=$!
    # Clicks at the first point, then rests the pointer on the second (moving onto it, as a hand
    # does) until its tooltip shows.
    click_then_hover() {
        xdotool mousemove --window "$window" "$1" "$2" click 1
        sleep 0.5
        xdotool mousemove --window "$window" $(($3 - 2)) $(($4 - 2))
        sleep 0.3
        xdotool mousemove --window "$window" "$3" "$4"
        sleep 2
    }
    window=$(xdotool search --sync --onlyvisible --name "^Kestrova Linnet Test V" | head -n 1)
    xdotool windowfocus --sync "$window"
    # "Open COM1": the button sits at 3840,120 twips (256,8 px) below the menu bar.
    xdotool mousemove --window "$window" 312 40 click 1
    # Confirm the "opened" message.
    sleep 0.8
    xdotool key --clearmodifiers Return
    if [ "$LINNET_PICTURE" = scanlog ]; then
        # Open the Scan Log with its shortcut, wide enough for the symbology, check and GS1 columns;
        # then a T typed into the main window (it goes out on the port) for each scan: two runs of
        # scans a few tenths of a second apart, a pause of 3.5 s between them.
        sleep 0.3
        xdotool windowfocus --sync "$window" key --clearmodifiers ctrl+l
        shown=$(xdotool search --sync --onlyvisible --name "^Scan Log$" | head -n 1)
        xdotool windowmove "$shown" 0 0 windowsize --sync "$shown" 1580 640
        xdotool windowfocus --sync "$window"
        for pause in 0.3 0.35 0.3 0.4 0.3 0.5 0.3 0.3 3.5 0.6 0.25 0.3 0.7 0.3 0.35 0.3 0.9 0.3 \
            0.3 0.4; do
            xdotool key --clearmodifiers T
            sleep "$pause"
        done
        sleep 1
    elif [ "$LINNET_PICTURE" = findsettings ]; then
        # Tools > Find Settings..., Start, and the simulator scanning every 0.4 s until found.
        sleep 0.3
        xdotool windowfocus --sync "$window" key --clearmodifiers alt+t f
        shown=$(xdotool search --sync --onlyvisible --name "^Find Settings$" | head -n 1)
        xdotool windowmove "$shown" 0 0 windowsize --sync "$shown" 640 460
        xdotool windowfocus --sync "$shown" key --clearmodifiers alt+s
        sleep 45
    elif [ "$LINNET_PICTURE" = testcodes ]; then
        # Tools > Test Codes..., then every code scanned once.
        sleep 0.3
        xdotool windowfocus --sync "$window" key --clearmodifiers alt+t c
        shown=$(xdotool search --sync --onlyvisible --name "^Test Codes$" | head -n 1)
        xdotool windowmove "$shown" 0 0 windowsize --sync "$shown" 1500 900
        sleep 8
    elif [ "$LINNET_PICTURE" = lamps ]; then
        # The pointer on the CTS lamp until its tooltip shows; the whole screen holds both.
        sleep 2
        xdotool windowfocus --sync "$window"
        click_then_hover 300 450 352 555
        shown=root
    elif [ "$LINNET_PICTURE" = properties ]; then
        # The Properties menu open, the pointer on its first item.
        sleep 1
        click_then_hover 178 9 205 33
        shown=root
    elif [ "$LINNET_PICTURE" = beside ]; then
        # The Scan Log opens where it opens by itself.
        sleep 0.3
        xdotool windowfocus --sync "$window" key --clearmodifiers ctrl+l
        xdotool search --sync --onlyvisible --name "^Scan Log$" >/dev/null
        sleep 3
        shown=root
    else
        shown=$window
        sleep 4.5
    fi
    import -window "$shown" "$LINNET_SHOT"
    kill $app
'
mv "$work/shot.png" "$out"
echo "wrote $out"
