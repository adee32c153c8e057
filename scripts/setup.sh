#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, if any is missing.
# Safe to run again: with everything present it only checks and returns.
set -euo pipefail

packages=(g++ cmake ninja-build pkg-config qt6-base-dev qt6-base-private-dev fonts-liberation xvfb xauth
          dpkg-dev file desktop-file-utils appstream librsvg2-bin clang libclang-rt-14-dev
          libudev-dev umockdev libumockdev-dev libzint-dev libzxing-dev poppler-utils
          libxkbcommon-dev lld
          lintian)

missing=()
for pkg in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
