#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# valgrind memcheck over every korvane run of the end-to-end, fault-sweep and bad-input
# tests: get and put, success and each failure path they drive under the simulated
# storage system. The test harness puts the valgrind command line of
# KORVANE_TEST_WRAPPER in front of korvane; each run leaves its own log. Any memory
# error, or any block definitely or indirectly lost, fails the run.
# Usage: scripts/memcheck.sh BUILD_DIR   (called by `make memcheck` after the build)
set -euo pipefail

build_dir=$(cd "${1:?usage: scripts/memcheck.sh BUILD_DIR}" && pwd)
logs=$build_dir/memcheck
rm -rf "$logs"
mkdir -p "$logs"

# Debian's valgrind is a shell script in front of valgrind.bin. The simulator is
# preloaded into whatever runs in front of korvane, and its allocation faults must
# not hit the shell: the launcher itself is called.
valgrind=$(command -v valgrind.bin || command -v valgrind) ||
  { echo "memcheck: valgrind is not installed" >&2; exit 2; }
# Blocks still reachable at exit (the C library's own) are no leak of the tool's.
# nouserintercepts: valgrind takes over the C library's allocator only, so that the
# allocation faults of libzapisim.so, which sits in front of it, still happen; every
# block is tracked all the same.
export KORVANE_TEST_WRAPPER="$valgrind --tool=memcheck --soname-synonyms=somalloc=nouserintercepts \
--leak-check=full \
--show-leak-kinds=definite,indirect --errors-for-leak-kinds=definite,indirect \
--error-exitcode=99 --log-file=$logs/korvane.%p.log"

status=0
suites=0
for suite in tests/e2e tests/fault_sweep tests/bad_input; do
  [[ -f $build_dir/$suite/CTestTestfile.cmake ]] || continue
  suites=$((suites + 1))
  echo "== $suite"
  if ! ctest --test-dir "$build_dir/$suite" -j 2 --timeout 600 --output-on-failure \
      >"$logs/ctest-${suite##*/}.log" 2>&1; then
    status=1
    grep -E '\(Failed\)|\*\*\*' "$logs/ctest-${suite##*/}.log" || true
  fi
  grep -E 'tests passed|tests failed' "$logs/ctest-${suite##*/}.log" || true
done

runs=0 errors=0 definite=0 indirect=0
dirty=()
for log in "$logs"/korvane.*.log; do
  [[ -e $log ]] || continue
  runs=$((runs + 1))
  count=$(sed -n 's/.*ERROR SUMMARY: \([0-9,]*\) errors.*/\1/p' "$log" | tr -d ,)
  if [[ -z $count ]]; then
    # A run killed before valgrind could sum up counts as dirty.
    count=1
  fi
  lost=$(sed -n 's/.*definitely lost: \([0-9,]*\) bytes.*/\1/p' "$log" | tr -d ,)
  lost_indirect=$(sed -n 's/.*indirectly lost: \([0-9,]*\) bytes.*/\1/p' "$log" | tr -d ,)
  errors=$((errors + count))
  definite=$((definite + ${lost:-0}))
  indirect=$((indirect + ${lost_indirect:-0}))
  if [[ $count -ne 0 || ${lost:-0} -ne 0 || ${lost_indirect:-0} -ne 0 ]]; then
    dirty+=("$log")
  fi
done

echo "memcheck: $runs korvane runs in $suites suites, $errors errors," \
  "$definite bytes definitely lost, $indirect bytes indirectly lost (logs in $logs)"
for log in "${dirty[@]}"; do
  echo "---- $log"
  cat "$log"
done
if [[ $runs -eq 0 ]]; then
  echo "memcheck: no korvane run was made" >&2
  status=1
fi
if [[ ${#dirty[@]} -ne 0 ]]; then
  status=1
fi
exit $status
