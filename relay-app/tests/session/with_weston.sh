#!/usr/bin/env bash
# Runs a command as a client of a real Wayland compositor: Weston's headless
# backend with the pixman renderer, which needs no GPU.
#   with_weston.sh command...
set -euo pipefail
# What the display-server libraries keep until exit is not ours to free.
export LSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")" && pwd)/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
runtime=$(mktemp -d)
chmod 700 "$runtime"
socket=wayland-vesperline-$$
XDG_RUNTIME_DIR=$runtime weston --backend=headless-backend.so --use-pixman --width=1024 --height=700 \
    --socket="$socket" --idle-time=0 --log="$runtime/weston.log" >/dev/null 2>&1 &
weston=$!
trap 'kill $weston 2>/dev/null || true; wait $weston 2>/dev/null || true; rm -rf "$runtime"' EXIT
for _ in $(seq 200); do
    [ -S "$runtime/$socket" ] && break
    kill -0 $weston 2>/dev/null || { echo "weston did not start:"; cat "$runtime/weston.log"; exit 1; } >&2
    sleep 0.05
done
# Widgets draw into shared memory anyway; without this Qt also loads the
# EGL driver, whose allocations LeakSanitizer reports from a library already
# unloaded at exit, which no suppression can name.
env -u DISPLAY XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY="$socket" QT_QPA_PLATFORM=wayland \
    QT_WAYLAND_CLIENT_BUFFER_INTEGRATION=shm \
    dbus-run-session -- "$@"
