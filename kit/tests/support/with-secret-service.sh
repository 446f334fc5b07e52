#!/bin/sh
# Runs a command against a private, unlocked Secret Service: its own D-Bus
# session bus and its own gnome-keyring with a throw-away login keyring, so
# tests never touch the user's keyring and each run starts empty.
#
#   with-secret-service.sh COMMAND [ARG...]
#
# The command's exit status is passed on; the keyring daemon and its files are
# removed afterwards.
set -eu

if [ "$#" -eq 0 ]; then
  echo "usage: $0 COMMAND [ARG...]" >&2
  exit 64
fi

exec dbus-run-session -- sh -c '
  set -u
  scratch=$(mktemp -d)
  mkdir -m 700 "$scratch/data" "$scratch/runtime"
  export XDG_DATA_HOME="$scratch/data" XDG_RUNTIME_DIR="$scratch/runtime"

  # --unlock reads the new login keyring'"'"'s password from stdin; the daemon
  # forks and is on the bus by the time this returns. It prints the variables
  # its clients need (none, for the secrets component alone).
  if ! daemon_env=$(printf vesperline | gnome-keyring-daemon --unlock --components=secrets); then
    echo "with-secret-service: gnome-keyring-daemon did not start" >&2
    rm -rf "$scratch"
    exit 70
  fi
  eval "$(printf "%s\n" "$daemon_env" | sed -n "s/^\([A-Za-z_][A-Za-z0-9_]*=\)/export \1/p")"

  # The daemon claims its bus name a moment after --unlock returns. Wait for
  # it: a client that came first would have the bus start a second, locked
  # daemon. The owner of the name is also the process to stop afterwards.
  daemon_pid=
  tries=0
  while [ -z "$daemon_pid" ] && [ "$tries" -lt 100 ]; do
    daemon_pid=$(dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.GetConnectionUnixProcessID string:org.freedesktop.secrets 2>/dev/null |
        sed -n "s/^ *uint32 //p")
    [ -n "$daemon_pid" ] || sleep 0.05
    tries=$((tries + 1))
  done
  if [ -z "$daemon_pid" ]; then
    echo "with-secret-service: the keyring daemon never appeared on the bus" >&2
    rm -rf "$scratch"
    exit 70
  fi

  status=0
  "$@" || status=$?

  kill "$daemon_pid" 2>/dev/null || true
  # Wait until it has left the bus before its files are removed under it.
  tries=0
  while [ "$tries" -lt 100 ] && dbus-send --session --print-reply --dest=org.freedesktop.DBus \
      /org/freedesktop/DBus org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null |
      grep -q "boolean true"; do
    sleep 0.05
    tries=$((tries + 1))
  done
  rm -rf "$scratch"
  exit "$status"
' with-secret-service "$@"
