#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Static checks: the project's .clang-format over src/, sim/, tests/, bench/ and fuzz/;
# clang-tidy with the project's .clang-tidy (compile flags from
# BUILD_DIR/compile_commands.json) and cppcheck over src/ and sim/. Any finding fails.
# Usage: scripts/lint.sh BUILD_DIR   (called by `make lint` after configuring)
set -euo pipefail

build_dir=${1:?usage: scripts/lint.sh BUILD_DIR}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

if [[ ! -f $build_dir/compile_commands.json ]]; then
  echo "lint: no $build_dir/compile_commands.json (configure first: cmake --preset default)" >&2
  exit 2
fi

status=0

echo "== clang-format"
mapfile -t formatted < <(git ls-files -- 'src/*.cpp' 'src/*.h' 'sim/*.cpp' 'sim/*.h' \
  'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp' 'fuzz/*.h')
if ! clang-format --dry-run --Werror "${formatted[@]}"; then
  echo "lint: run clang-format -i on the files above" >&2
  status=1
fi

echo "== clang-tidy"
# The compilation database also holds the tests (tests/sim among them): only the
# product and the simulator are matched, by their place under the source root.
if ! run-clang-tidy -quiet -j 2 -p "$build_dir" "^$root/(src|sim)/.*\.cpp\$" >"$build_dir/clang-tidy.log" 2>&1; then
  status=1
fi
# The runner colours the output and echoes each command line: only the findings and
# their context are shown.
sed -e 's/\x1b\[[0-9;]*m//g' "$build_dir/clang-tidy.log" |
  grep -v -e '^clang-tidy' -e '^[0-9]* warnings\? generated' -e '^Suppressed [0-9]* warnings' \
    -e '^Use -header-filter' -e '^Running clang-tidy' -e '^$' || true

echo "== cppcheck"
# Left out, and why: readdirCalled (readdir_r is deprecated and the programs have one
# thread), useStlAlgorithm (the code is plain procedural C++ by choice),
# missingIncludeSystem (the system headers are clang-tidy's and the compiler's business).
includes=()
for dir in src/*/ sim/; do includes+=("-I" "${dir%/}"); done
if ! cppcheck --quiet --std=c++20 --language=c++ --library=posix \
    --enable=warning,style,performance,portability --inline-suppr --error-exitcode=1 -j 2 \
    --suppress=readdirCalled --suppress=useStlAlgorithm --suppress=missingIncludeSystem \
    "${includes[@]}" src sim; then
  status=1
fi

if [[ $status -eq 0 ]]; then
  echo "lint: clean"
else
  echo "lint: findings above" >&2
fi
exit $status
