#!/usr/bin/env bash
# Runs the fuzz targets for longer than the suite does: each for SECONDS
# (default 600), two at a time, growing the corpus in build/clang/fuzz/corpus/
# across runs. Prints the executions and executions per second of each
# target; fails if any target found a crash, leak or sanitizer report (the
# input is then in build/clang/fuzz/artifacts/<target>/).
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]     e.g. scripts/fuzz.sh 60 pairing_link
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
shift || true

bash scripts/setup-debian.sh test
cmake --preset clang >/dev/null
if [ $# -eq 0 ]; then
  cmake --build --preset clang
else
  cmake --build --preset clang --target "${@/#/fuzz_}"
fi

logs=build/clang/fuzz/logs
mkdir -p "$logs"
# The commands are CTest's own (label "fuzz"); libFuzzer takes the last of
# a repeated flag, so the longer time is appended.
mapfile -t runs < <(ctest --preset clang --show-only=json-v1 | python3 -c '
import json, shlex, sys
wanted = set(sys.argv[1:])
for test in json.load(sys.stdin)["tests"]:
    name = test["name"].removeprefix("fuzz.")
    if not wanted or name in wanted:
        print(name + "\t" + shlex.join(test["command"]))
' "$@")

status=0
pids=()
start() {
  local name=$1 command=$2
  ( eval "$command -max_total_time=$seconds" >"$logs/$name.log" 2>&1 ) &
  pids+=("$!:$name")
}
finish() {
  local entry=${pids[0]} pid name
  pids=("${pids[@]:1}")
  pid=${entry%%:*} name=${entry#*:}
  if wait "$pid"; then result=ok; else result=FAILED; status=1; fi
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$logs/$name.log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$logs/$name.log")
  printf '%-20s %-6s %12s executions %8s exec/s   %s\n' "$name" "$result" "${execs:-?}" "${rate:-?}" "$logs/$name.log"
}
for run in "${runs[@]}"; do
  [ ${#pids[@]} -ge 2 ] && finish
  start "${run%%$'\t'*}" "${run#*$'\t'}"
done
while [ ${#pids[@]} -gt 0 ]; do finish; done
exit $status
