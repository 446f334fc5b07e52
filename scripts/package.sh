#!/usr/bin/env bash
# Builds the Debian package of the tray application from an optimised,
# hardened build without sanitizers or tests (the `package` preset).
#
#   scripts/package.sh [build folder]      (default: build/package)
#
# Prints the path of the .deb it made. Install it with
#   sudo apt-get install ./build/package/vesperline-relay_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

tree=${1:-build/package}
bash scripts/setup-debian.sh package
cmake --preset package -B "$tree" >/dev/null
cmake --build "$tree"
rm -f "$tree"/vesperline-relay_*.deb
(cd "$tree" && cpack -G DEB >/dev/null)
ls "$(cd "$tree" && pwd)"/vesperline-relay_*.deb
