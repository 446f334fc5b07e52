#!/usr/bin/env bash
# Builds the optimised application and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-debian.sh
cmake --preset release
cmake --build --preset release
exec build/release/relay-app/menu/vesperline-relay
