#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs every test suite (C++ and the relay's Python suite) through CTest.
# Then builds everything a second time with clang, warnings as errors, and
# runs each fuzz target for a few seconds (CTest label "fuzz"): the GCC build
# has already run every test, so the clang build is a compile gate and the
# fuzzers' smoke run. Arguments go to the first CTest run.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-debian.sh test
# Two full builds of the same sources: ccache, keyed on paths relative to the
# checkout, lets a second run (or a second clone) reuse what did not change.
export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER-ccache} CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
cmake --preset dev
cmake --build --preset dev
ctest --preset dev "$@"

cmake --preset clang
cmake --build --preset clang
ctest --preset clang
