#!/usr/bin/env bash
# Installs what the picture scripts need besides the build: Xvfb, xdotool to drive the program,
# and ImageMagick's import to take the picture. Safe to run again.
set -euo pipefail
need=()
for tool in xvfb-run xdotool import; do
    command -v "$tool" >/dev/null || need+=("$tool")
done
[ ${#need[@]} -eq 0 ] && exit 0
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends xvfb xauth xdotool imagemagick
