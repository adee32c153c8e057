#!/usr/bin/env bash
# Makes docs/diagnose.png: the Diagnose window under Xvfb, over a umockdev testbed (no hardware)
# with a serial USB scanner, a scanner in keyboard mode (a USB keyboard whose name says scanner,
# with its boot-keyboard report descriptor) and a point-of-sale scanner whose node the person may
# not read (made unreadable in the testbed; run as root, the program runs as nobody, for whom
# that holds).
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

P: $usb/1-6
E: SUBSYSTEM=usb
E: DEVTYPE=usb_device
A: idVendor=1209
A: idProduct=0003
A: manufacturer=Scanner Maker
A: product=Presentation Imager

P: $usb/1-6/1-6:1.0
E: SUBSYSTEM=usb
E: DEVTYPE=usb_interface
A: bInterfaceClass=03
A: bInterfaceProtocol=00

P: $usb/1-6/1-6:1.0/0003:1209:0003.0002
E: SUBSYSTEM=hid
E: DRIVER=hid-generic
H: report_descriptor=068C000902A101091215002600FF7508953F8102C0

P: $usb/1-6/1-6:1.0/0003:1209:0003.0002/hidraw/hidraw2
N: hidraw2
E: SUBSYSTEM=hidraw
E: DEVNAME=/dev/hidraw2
DEVICES

export LINNET_BUILD=$build LINNET_SHOT=$work/shot.png LINNET_DEVICES=$work/devices.umockdev
export XDG_CONFIG_HOME=$work/config
unset LINNET_COM1 LINNET_COM3
# Root may read every node: the program then runs as nobody (the display open to it, its files
# in a folder it owns).
LINNET_AS=
if [ "$(id -u)" = 0 ]; then
    chmod 755 "$work"
    mkdir -p "$XDG_CONFIG_HOME"
    chown 65534:65534 "$XDG_CONFIG_HOME"
    LINNET_AS="setpriv --reuid=65534 --regid=65534 --clear-groups"
fi
export LINNET_AS
xvfb-run -a -s "-screen 0 1400x800x24 -noreset -ac" bash -c '
    # The point-of-sale scanner'"'"'s node is made unreadable inside the testbed.
    $LINNET_AS env HOME="$XDG_CONFIG_HOME" umockdev-run -d "$LINNET_DEVICES" -- \
        sh -c "chmod 000 \"\$UMOCKDEV_DIR/dev/hidraw2\"; exec \"\$LINNET_BUILD/linnet-test\"" &
    app=$!
    window=$(xdotool search --sync --onlyvisible --name "^Kestrova Linnet Test V" | head -n 1)
    xdotool windowfocus --sync "$window" key --clearmodifiers alt+t d
    shown=$(xdotool search --sync --onlyvisible --name "^Diagnose$" | head -n 1)
    xdotool windowmove "$shown" 0 0 windowsize --sync "$shown" 900 480
    sleep 1
    import -window "$shown" "$LINNET_SHOT"
    kill $app
'
mv "$work/shot.png" "$out"
echo "wrote $out"
