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
  # The phone-side client: Qt Quick, its QML modules, the night shader, QR codes, the camera.
  qt6-declarative-dev qt6-shadertools-dev qt6-multimedia-dev libzxing-dev
  qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-templates qml6-module-qtquick-layouts
  qml6-module-qtquick-window qml6-module-qtquick-dialogs qml6-module-qtqml-workerscript qml6-module-qtquick-shapes
  qml6-module-qtmultimedia qml6-module-qttest qml6-module-qt5compat-graphicaleffects python3-dbus python3-gi
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

# The real agent CLIs for the end-to-end suite, pinned, into a cache folder of
# the user's (never the global npm prefix, never the repository). Each ships
# its native binary in a platform package, so no install script has to run.
agents_dir="${XDG_CACHE_HOME:-$HOME/.cache}/vesperline/agents"
agents=("@anthropic-ai/claude-code@2.1.328" "@openai/codex@0.169.0")
stamp="$agents_dir/.installed"
if [ "$(cat "$stamp" 2>/dev/null)" != "${agents[*]}" ]; then
  mkdir -p "$agents_dir"
  npm install --prefix "$agents_dir" --no-audit --no-fund --no-save --loglevel=error "${agents[@]}"
  printf '%s' "${agents[*]}" > "$stamp"
fi
