#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing the monitor need.
# Installs only what is missing, so a second run costs a few dpkg look-ups.
set -euo pipefail

packages=(
    build-essential cmake pkg-config ccache
    qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev qt6-qpa-plugins libgl-dev
    libcurl4-openssl-dev libxcb1-dev libxcb-ewmh-dev libxcb-res0-dev
    xvfb xauth x11-utils fonts-liberation python3-aiosmtpd openssl
    openbox
    clang-14 libclang-rt-14-dev
    qt6-svg-dev desktop-file-utils
    libxcb-xtest0-dev
    systemd
    libxcb-xfixes0-dev
)
# scripts/screenshots.sh and scripts/soak.sh drive the real windows (and the first saves them); the
# tests need neither tool.
if [ "${1:-}" = "--window-tools" ]; then packages+=(xdotool imagemagick); fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
