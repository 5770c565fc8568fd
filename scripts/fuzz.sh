#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds the libFuzzer targets (preset "fuzz": clang 14, ASan and UBSan) and runs each for
# a bounded time, starting from the committed seeds in fuzz/corpus/<target>/. What the
# fuzzer learns stays in build/fuzz/corpus/<target>/; a crashing input is written to
# build/fuzz/artifacts/ and the script fails.
#
#   scripts/fuzz.sh [--seconds N] [--runs N] [TARGET...]
#
# --seconds: time per target (default 60); --runs: also stop a target after N
# executions (0: no such bound). Targets: guid_fuzz scanner_fuzz parser_fuzz (default all).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=60
runs=0
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds="$2"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    -h|--help) sed -n '2,10p' "$0"; exit 0 ;;
    -*) echo "fuzz.sh: unknown option $1" >&2; exit 2 ;;
    *) targets+=("$1"); shift ;;
  esac
done
[ ${#targets[@]} -gt 0 ] || targets=(guid_fuzz scanner_fuzz parser_fuzz)

build=build/fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${targets[@]}"

mkdir -p "$build/artifacts" "$build/logs"
failed=0
summary=()
for target in "${targets[@]}"; do
  work="$build/corpus/$target"
  mkdir -p "$work"
  # One fuzzing process at a time: the machine's cores are shared.
  options=(-max_total_time="$seconds" -print_final_stats=1
           -artifact_prefix="$build/artifacts/$target-")
  [ "$runs" = 0 ] || options+=(-runs="$runs")
  case "$target" in
    scanner_fuzz|parser_fuzz) options+=(-dict=fuzz/list.dict) ;;
  esac
  log="$build/logs/$target.log"
  echo "== $target: up to ${seconds}s (runs bound: $runs)"
  set +e
  "$build/fuzz/$target" "${options[@]}" "$work" "fuzz/corpus/$target" >"$log" 2>&1
  status=$?
  set -e
  executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  if [ "$status" -ne 0 ]; then
    failed=1
    summary+=("$target: FAILED (exit $status) after ${executed:-?} executions; see $log")
    grep -E '^(==[0-9]+==ERROR|SUMMARY|parser_fuzz:|artifact_prefix|Test unit written)' "$log" | head -n 20 || true
  else
    summary+=("$target: ${executed:-?} executions, no failure")
  fi
done

echo "== fuzz summary"
printf '%s\n' "${summary[@]}"
exit "$failed"
