#!/usr/bin/env bash
# Installs the kit from a build tree into a throw-away prefix, then configures,
# builds and runs the example consumer against that installation alone.
#
#   test_kit_consumer.sh <build tree with the kit> <this example's folder>
set -euo pipefail

tree=$1
example=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$tree" --component kit --prefix "$work/prefix"
find "$work/prefix" -type f | sed "s|$work/prefix/||" | sort
# The installed headers keep the kit's include style; nothing points back
# into the source tree.
if grep -rq "$(cd "$(dirname "$0")/../.." && pwd)" "$work/prefix/lib"*/cmake/IdlewynKit; then
    echo "the installed package refers to the source tree"; exit 1
fi

cmake -S "$example" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$work/prefix"
cmake --build "$work/build"
QT_QPA_PLATFORM=offscreen "$work/build/kit-consumer"
# The Qt Quick example loads Idlewyn.Design from the installed kit with no
# warning, and links no Qt Widgets.
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work "$work/build/kit-consumer-quick" --check
if ldd "$work/build/kit-consumer-quick" | grep -q Widgets; then
    echo "the Qt Quick example links Qt Widgets"; exit 1
fi
