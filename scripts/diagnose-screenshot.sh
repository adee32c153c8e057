#!/usr/bin/env bash
# Makes docs/diagnose.png: the Diagnose window under Xvfb, over a umockdev testbed (no hardware)
# with a serial USB scanner and a scanner in keyboard mode (a USB keyboard whose name says
# scanner, with its boot-keyboard report descriptor).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${LINNET_BUILD_DIR:-$root/build}
out=${1:-$root/docs/diagnose.png}

"$root/scripts/picture-tools.sh"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
usb=/devices/pci0000:00/0000:00:14.0/usb1
cat >"$work/devices.umockdev" <<DEVICES
P: $usb/1-2
E: SUBSYSTEM=usb
E: DEVTYPE=usb_device
E: DRIVER=usb
A: idVendor=1209
A: idProduct=0001
A: manufacturer=Scanner Maker
A: product=Area-Imaging Scanner
A: serial=20150CE5C5

P: $usb/1-2/1-2:1.0
E: SUBSYSTEM=usb
E: DEVTYPE=usb_interface
E: DRIVER=cdc_acm
L: driver=../../../../../../bus/usb/drivers/cdc_acm
A: bInterfaceNumber=00

P: $usb/1-2/1-2:1.0/tty/ttyACM0
N: ttyACM0
E: SUBSYSTEM=tty
E: DEVNAME=/dev/ttyACM0

P: $usb/1-5
E: SUBSYSTEM=usb
E: DEVTYPE=usb_device
A: idVendor=1209
A: idProduct=0002
A: manufacturer=Scanner Maker
A: product=Handheld Scanner

P: $usb/1-5/1-5:1.0
E: SUBSYSTEM=usb
E: DEVTYPE=usb_interface
A: bInterfaceClass=03
A: bInterfaceProtocol=01

P: $usb/1-5/1-5:1.0/0003:1209:0002.0001
E: SUBSYSTEM=hid
E: DRIVER=hid-generic
H: report_descriptor=05010906A101050719E029E715002501750195088102C0
DEVICES

export LINNET_BUILD=$build LINNET_SHOT=$work/shot.png LINNET_DEVICES=$work/devices.umockdev
export XDG_CONFIG_HOME=$work/config
unset LINNET_COM1 LINNET_COM3
xvfb-run -a -s "-screen 0 1400x800x24 -noreset" bash -c '
    umockdev-run -d "$LINNET_DEVICES" -- "$LINNET_BUILD/linnet-test" &
    app=$!
    window=$(xdotool search --sync --onlyvisible --name "^Kestrova Linnet Test V" | head -n 1)
    xdotool windowfocus --sync "$window" key --clearmodifiers alt+t d
    shown=$(xdotool search --sync --onlyvisible --name "^Diagnose$" | head -n 1)
    xdotool windowmove "$shown" 0 0 windowsize --sync "$shown" 900 230
    sleep 1
    import -window "$shown" "$LINNET_SHOT"
    kill $app
'
mv "$work/shot.png" "$out"
echo "wrote $out"
