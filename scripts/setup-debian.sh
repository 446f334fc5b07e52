#!/usr/bin/env bash
# Installs the Debian packages one kind of work needs, and nothing more:
#
#   scripts/setup-debian.sh build     build and run the applications
#   scripts/setup-debian.sh package   the above, and make the Debian packages
#   scripts/setup-debian.sh test      all of it, and every test suite's tools (the default)
#
# Safe to run again: apt-get skips what is already there. Works as root or through sudo.
set -euo pipefail

what=${1:-test}
case "$what" in build|package|test) ;; *) echo "usage: $0 [build|package|test]" >&2; exit 2;; esac

# Compilers, Qt and the libraries both applications link, and what they run:
# python3 and openssl for the relay, libsecret for qtkeychain (loaded at run
# time, so nothing pulls it in), the QML modules the client imports.
packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-svg-dev libqt6svg6 qt6-image-formats-plugins
  qt6-declarative-dev qt6-shadertools-dev qt6-multimedia-dev
  qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-templates qml6-module-qtquick-layouts
  qml6-module-qtquick-window qml6-module-qtquick-dialogs qml6-module-qtqml-workerscript
  qml6-module-qtquick-shapes qml6-module-qtmultimedia
  qcoro-qt6-dev qtkeychain-qt6-dev libsecret-1-0
  libqrcodegencpp-dev libplist-dev libicu-dev libxcb1-dev libzxing-dev
  python3 openssl
)
# CPack's DEB generator: dpkg-shlibdeps for the dependencies, file to find the binaries.
[ "$what" = build ] || packages+=(dpkg-dev file)
if [ "$what" = test ]; then
  packages+=(
    # the second build (clang, warnings as errors, fuzzing) and the layout check
    clang clang-format libclang-rt-14-dev ccache
    libgtest-dev libgmock-dev libbenchmark-dev qml6-module-qttest
    # displays, a desktop session, a compositor, a secret store and screenshots
    xvfb xauth dbus dbus-x11 gnome-keyring zbar-tools imagemagick fonts-dejavu-core
    xdotool x11-utils qt6-gtk-platformtheme bc trayer weston qt6-wayland
    # the agents' terminals, the client's notification server
    tmux python3-dbus python3-gi
    # checks of the packages
    lintian desktop-file-utils appstream
  )
  # npm fetches the agent CLIs; a machine whose Node.js already brings npm keeps it.
  command -v npm >/dev/null 2>&1 || packages+=(npm)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
fi
[ "$what" = test ] || exit 0

# The real agent CLIs for the end-to-end suite, at the versions it is tested
# with, into a cache folder of the user's. scripts/agents-suite.sh reads the
# agents=( ) line below and runs the suite against other published versions.
agents=(@anthropic-ai/claude-code@2.1.337 @openai/codex@0.171.0)
bash "$(dirname "$0")/install-agents.sh" "${XDG_CACHE_HOME:-$HOME/.cache}/vesperline/agents" "${agents[@]}"
