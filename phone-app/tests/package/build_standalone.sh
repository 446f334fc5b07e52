#!/usr/bin/env bash
# Builds the client on its own against the kit as installed from a package
# tree, to prove that it needs nothing of the kit but its public interface.
#
#   build_standalone.sh <package build folder> <phone-app folder>
set -euo pipefail

tree=$1
client=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$tree" --component kit --prefix "$work/prefix" >/dev/null
cmake -S "$client" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$work/prefix"
cmake --build "$work/build" --target vesperline
test -x "$work/build/app/vesperline"
