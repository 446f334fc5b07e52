#!/usr/bin/env bash
# Runs a command on a private X server (Xvfb) with a private session bus:
# the desktop a tray test needs, without any tray until the test starts one.
#   with_x_session.sh command...
set -euo pipefail
# What the display-server libraries keep until exit is not ours to free.
export LSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")" && pwd)/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
for _ in $(seq 20); do
    display=$((200 + RANDOM % 700))
    [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ] || break
done
Xvfb ":$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 100); do
    DISPLAY=":$display" xdpyinfo >/dev/null 2>&1 && break
    kill -0 $xvfb 2>/dev/null || { echo "Xvfb did not start" >&2; exit 1; }
    sleep 0.05
done
DISPLAY=":$display" QT_QPA_PLATFORM=xcb dbus-run-session -- "$@"
