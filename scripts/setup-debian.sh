#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the application need.
# Safe to run again: apt-get skips what is already there. Works as root or through sudo.
set -euo pipefail

packages=(
  g++ clang libclang-rt-14-dev cmake ninja-build pkg-config
  qt6-base-dev qt6-svg-dev qt6-image-formats-plugins libqt6svg6
  qcoro-qt6-dev qtkeychain-qt6-dev libsecret-1-0
  libqrcodegencpp-dev libplist-dev libicu-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  python3 openssl
  xvfb xauth dbus dbus-x11 gnome-keyring zbar-tools imagemagick fonts-dejavu-core
  xdotool x11-utils qt6-gtk-platformtheme bc trayer
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq "${missing[@]}"
