#!/usr/bin/env bash
# Makes docs/scanner-tooltip.png: the "Communication Settings" dialog under Xvfb, with the mouse on
# Com3 and its tooltip naming a USB scanner. The scanner is a umockdev testbed device (sysfs, udev
# properties and a /dev node backed by a pseudo-terminal), so no hardware is needed; the program
# runs with a fresh table of COM numbers, where the scanner gets COM3.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${LINNET_BUILD_DIR:-$root/build}
out=${1:-$root/docs/scanner-tooltip.png}

"$root/scripts/picture-tools.sh"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
usb=/devices/pci0000:00/0000:00:14.0/usb1/1-2
cat >"$work/devices.umockdev" <<DEVICES
P: /devices/platform/serial8250
E: SUBSYSTEM=platform
E: DRIVER=serial8250
L: driver=../../../bus/platform/drivers/serial8250

P: /devices/platform/serial8250/tty/ttyS0
N: ttyS0
E: SUBSYSTEM=tty
E: DEVNAME=/dev/ttyS0
A: type=4

P: $usb
E: SUBSYSTEM=usb
E: DEVTYPE=usb_device
E: DRIVER=usb
A: idVendor=1209
A: idProduct=0001
A: manufacturer=Scanner Maker
A: product=Area-Imaging Scanner
A: serial=20150CE5C5

P: $usb/1-2:1.0
E: SUBSYSTEM=usb
E: DEVTYPE=usb_interface
E: DRIVER=cdc_acm
L: driver=../../../../../../bus/usb/drivers/cdc_acm
A: bInterfaceNumber=00

P: $usb/1-2:1.0/tty/ttyACM0
N: ttyACM0
E: SUBSYSTEM=tty
E: DEVNAME=/dev/ttyACM0
E: DEVLINKS=/dev/serial/by-id/usb-Scanner_Maker_Area-Imaging_Scanner_20150CE5C5-if00
DEVICES

export LINNET_BUILD=$build LINNET_SHOT=$work/shot.png LINNET_DEVICES=$work/devices.umockdev
export XDG_CONFIG_HOME=$work/config
unset LINNET_COM1 LINNET_COM3
xvfb-run -a -s "-screen 0 1600x700x24 -noreset" bash -c '
    umockdev-run -d "$LINNET_DEVICES" -- "$LINNET_BUILD/linnet-test" &
    app=$!
    window=$(xdotool search --sync --onlyvisible --name "Kestrova Linnet Test V1.06" | head -n 1)
    xdotool windowfocus --sync "$window"
    # "Port Setting...": the button sits at 1080,120 twips (72,8 px) below the menu bar.
    xdotool mousemove --window "$window" 128 40 click 1
    dialog=$(xdotool search --sync --onlyvisible --name "Communication Settings" | head -n 1)
    # Com3: the "&Com Port" frame at 1800,2160 twips, Com3 at 120,960 in it: 128,208 px.
    # Qt shows tooltips in the active window only.
    xdotool windowfocus --sync "$dialog"
    sleep 0.3
    xdotool mousemove --window "$dialog" 150 216
    sleep 0.2
    xdotool mousemove --window "$dialog" 152 217
    sleep 1.5
    # The two windows and the tooltip, without the empty rest of the screen.
    import -window root -crop 1430x590+0+0 +repage "$LINNET_SHOT"
    kill $app
'
mv "$work/shot.png" "$out"
echo "wrote $out"
