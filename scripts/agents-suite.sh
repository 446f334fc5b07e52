#!/usr/bin/env bash
# Runs the real-agents suite (CTest label "agents") against the Claude Code
# and Codex versions scripts/setup-debian.sh pins, or against other
# published ones:
#   scripts/agents-suite.sh
#   scripts/agents-suite.sh @anthropic-ai/claude-code@2.1.337 @openai/codex@0.171.0
# A package left out keeps its pinned version. Other versions go into a cache
# folder per set of versions, beside the pinned one. Arguments after "--" go
# to CTest (for example -R terminal). Builds only the suite's phone helper.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-debian.sh test
pinned=$(sed -n 's/^agents=(\(.*\))$/\1/p' scripts/setup-debian.sh)
read -r -a wanted <<<"$pinned"
[ ${#wanted[@]} -eq 2 ] || { echo "no agents=( ) line in scripts/setup-debian.sh" >&2; exit 2; }

ctest_args=()
while [ $# -gt 0 ]; do
  case $1 in
    --) shift; ctest_args=("$@"); break ;;
    @anthropic-ai/claude-code@?*) wanted[0]=$1 ;;
    @openai/codex@?*) wanted[1]=$1 ;;
    *) echo "usage: $0 [@anthropic-ai/claude-code@VERSION] [@openai/codex@VERSION] [-- CTEST ARGS]" >&2; exit 2 ;;
  esac
  shift
done

cache="${XDG_CACHE_HOME:-$HOME/.cache}/vesperline"
if [ "${wanted[*]}" = "$pinned" ]; then
  dir="$cache/agents"
else
  dir="$cache/agents-${wanted[0]##*@}-${wanted[1]##*@}"
  bash scripts/install-agents.sh "$dir" "${wanted[@]}"
fi
echo "agents suite with ${wanted[*]}" >&2

[ -f build/dev/CMakeCache.txt ] || cmake --preset dev
cmake --build build/dev --target idlewyn_test_phone
VESPERLINE_AGENTS_DIR=$dir ctest --test-dir build/dev -L agents --output-on-failure -j 2 "${ctest_args[@]}"
