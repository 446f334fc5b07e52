#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the application need.
# Safe to run again: apt-get skips what is already there. Works as root or through sudo.
set -euo pipefail

packages=(
  g++ clang clang-format libclang-rt-14-dev cmake ninja-build pkg-config
  qt6-base-dev qt6-svg-dev qt6-image-formats-plugins libqt6svg6
  qt6-declarative-dev qt6-shadertools-dev qml6-module-qtquick qml6-module-qtqml-workerscript qml6-module-qttest
  qml6-module-qtquick-window
  qcoro-qt6-dev qtkeychain-qt6-dev libsecret-1-0
  libqrcodegencpp-dev libplist-dev libicu-dev libxcb1-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  python3 openssl
  xvfb xauth dbus dbus-x11 gnome-keyring zbar-tools imagemagick fonts-dejavu-core
  xdotool x11-utils qt6-gtk-platformtheme bc trayer
  tmux
  weston qt6-wayland
  dpkg-dev lintian desktop-file-utils appstream
)

missing=()
# npm fetches the agent CLIs; a machine whose Node.js already brings npm keeps it.
command -v npm >/dev/null 2>&1 || packages+=(npm)

for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
fi

# The real agent CLIs for the end-to-end suite, at the versions it is tested
# with, into a cache folder of the user's. scripts/agents-suite.sh reads the
# agents=( ) line below and runs the suite against other published versions.
agents=(@anthropic-ai/claude-code@2.1.337 @openai/codex@0.171.0)
bash "$(dirname "$0")/install-agents.sh" "${XDG_CACHE_HOME:-$HOME/.cache}/vesperline/agents" "${agents[@]}"
