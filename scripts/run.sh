#!/usr/bin/env bash
# Builds the optimised applications and starts one of them: the tray
# application (the default) or the phone-side client.
#
#   scripts/run.sh [vesperline-relay|vesperline] [arguments for it]
#
# Installs only what building and running need: no test tools, no agents.
set -euo pipefail
cd "$(dirname "$0")/.."

app=${1:-vesperline-relay}
shift || true
case "$app" in
  vesperline-relay) program=build/release/relay-app/menu/vesperline-relay ;;
  vesperline) program=build/release/phone-app/app/vesperline ;;
  *) echo "usage: $0 [vesperline-relay|vesperline] [arguments]" >&2; exit 2 ;;
esac

bash scripts/setup-debian.sh build
# The benchmarks need Google Benchmark, a test tool: leave them out here.
cmake --preset release -DVESPERLINE_BUILD_BENCH=OFF
cmake --build --preset release --target "$app"
exec "$program" "$@"
