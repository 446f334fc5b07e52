#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs every test suite (C++ and the relay's Python suite) through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-debian.sh
cmake --preset dev
cmake --build --preset dev
ctest --preset dev "$@"
