#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# make test: build, then run the tests with CTest, quietly when all pass.
#
#   test.sh PRESET BUILD_DIR SHOW_FAILURES [REGEX [LABEL]]
#
# REGEX and LABEL (make test T=... L=...) pick tests as ctest -R and -L do. Then only
# the folders of the picked tests are built (their targets tests-FOLDER), when the
# build tree already knows every test; otherwise everything is.
# While building, a progress line taken from the build's [NN%] lines: rewritten in
# place on a terminal, a plain line at each quarter otherwise. The build's output goes
# to BUILD_DIR/build.log, shown only when the build fails. Then one line per failing
# test as it fails and CTest's summary; the whole run, with the output of every
# failing test, goes to BUILD_DIR/ctest.log. SHOW_FAILURES=yes prints the failing
# tests' output too (CI does).
set -uo pipefail

preset=${1:?preset} build_dir=${2:?build directory} show=${3:-no}
regex=${4:-} label=${5:-}
picks=()
[[ -z $regex ]] || picks+=(-R "$regex")
[[ -z $label ]] || picks+=(-L "$label")
tty=no
[[ -t 1 ]] && tty=yes

# The tests-FOLDER targets of the picked tests, or nothing when they cannot be known:
# a test executable that was never built has no test names yet.
folder_targets() {
    ((${#picks[@]} > 0)) || return 0
    if ctest --test-dir "$build_dir" -N -R '_NOT_BUILT$' | grep 'Test *#' >/dev/null; then
        return 0
    fi
    ctest --test-dir "$build_dir" -N "${picks[@]}" \
        | sed -n 's/^ *Test *#[0-9]*: \([A-Za-z0-9_-]*\)\..*/tests-\1/p' | sort -u
}
mapfile -t targets < <(folder_targets)
what="in $build_dir"
((${#targets[@]} == 0)) || what="${targets[*]} in $build_dir"
echo "Building $what (log: $build_dir/build.log)"

cmake --build --preset "$preset" ${targets[@]/#/--target } 2>&1 | tee "$build_dir/build.log" | awk \
    -v tty="$tty" '
    match($0, /^\[ *[0-9]+%\]/) { percent = substr($0, RSTART + 1, RLENGTH - 3) + 0 }
    match($0, /^\[[0-9]+\/[0-9]+\]/) {  # Ninja: [done/total]
        split(substr($0, 2, RLENGTH - 2), part, "/"); percent = int(100 * part[1] / part[2])
    }
    percent > shown {
        shown = percent
        if (tty == "yes") {
            printf "\r\033[KBuilding: %3d%% %s", percent, substr($0, index($0, "]") + 2, 60)
        } else if (int(percent / 25) > int(quarter / 25)) {
            quarter = percent; printf "Building: %d%%\n", percent
        }
        fflush()
    }
    END { if (tty == "yes") printf "\r\033[K" }'
status=${PIPESTATUS[0]}
if ((status != 0)); then
    cat "$build_dir/build.log"
    echo "The build failed: $build_dir/build.log"
    exit 1
fi

ctest --preset "$preset" "${picks[@]}" --no-label-summary --output-log "$build_dir/ctest.log" | awk \
    -v show="$show" -v tty="$tty" '
    /% tests passed, / { summary = 1; if (tty == "yes") printf "\r\033[K" }
    /^ *Start +[0-9]+: |^ *[0-9]+\/[0-9]+ Test +#/ { failing = 0 }
    tty == "yes" && !summary && match($0, /^ *[0-9]+\/[0-9]+ Test +#[0-9]+: [^ ]+/) {
        line = substr($0, RSTART, RLENGTH); sub(/^ */, "", line); sub(/Test +#[0-9]+: /, "", line)
        printf "\r\033[KTesting: %s", substr(line, 1, 70); fflush()
    }
    /\*\*\*(Failed|Timeout|Exception|Not Run)/ {
        failing = 1; if (tty == "yes") printf "\r\033[K"; print; fflush(); next
    }
    summary || (failing && show == "yes") { print; fflush() }' \
    || { echo "The whole run, with the output of the failing tests: $build_dir/ctest.log"; exit 1; }
