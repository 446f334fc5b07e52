#!/usr/bin/env bash
# Builds the optimised application and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-debian.sh
cmake --preset release
cmake --build --preset release
app=build/release/relay-app/menu/vesperline-relay
if [ ! -x "$app" ]; then
  echo "The tray application is not part of this checkout yet; the libraries were built." >&2
  exit 1
fi
exec "$app"
