#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Every example of a manual page, run as printed against the simulated storage system.
#
#   manual_examples_test.sh PAGE BUILD_DIR
#
# An example is an .EX/.EE block whose first line is a command after a prompt, "# "
# or "$ ". The examples of a page run in page order in one bash session, in a scratch
# directory where /tmp/ and /root/ stand for its own tmp/ and root/ folders:
# - a block that shows output beside its commands is a transcript: each command is
#   echoed after its prompt and run, and the whole must come out as printed, byte for
#   byte (a command line ending in a backslash goes on on the next line);
# - a block of commands alone passes when each command exits with status 0.
# Lines `.\" example-setup: COMMAND` just before a block run first, unseen by the reader
# (to make the state the example's text assumes); their output is dropped and they
# must succeed. In that session, `korvane` runs the built korvane under `zapisim run`
# with the simulated system "$SYSTEM" (made empty by zapisim init), unless it already
# runs under one; `zapisim` is the built zapisim; git commits as "Example".
set -uo pipefail

page=${1:?manual page} build=$(realpath "${2:?build directory}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $(basename "$page"): $*" >&2; exit 1; }

# The text of a block line as the reader sees it. Only these escapes are known; any
# other would be compared wrongly, so it is refused.
unescape() {
    local text=$1
    text=${text//\\(aq/\'} text=${text//\\(dq/\"} text=${text//\\-/-} text=${text//\\&/}
    local rest=${text//\\e/}
    [[ $rest != *\\* ]] || fail "an escape the examples test does not know: $1"
    text=${text//\\e/\\}
    text=${text//\/tmp\//$work/tmp/} text=${text//\/root\//$work/root/}
    printf '%s\n' "$text"
}

# The session script: per block, its output into block.N, and for a transcript its
# expected text into expected.N.
mkdir -p "$work/tmp" "$work/root" "$work/home" "$work/bin"
session=$work/session.sh
blocks=0 in_block=no
setup=() lines=()
emit_block() {
    local n=$blocks kind=commands line command="" continued=no commands=0
    [[ ${lines[0]} == '# '* || ${lines[0]} == '$ '* ]] || return 0
    for line in "${lines[@]}"; do  # output lines: neither a command nor its continuation
        [[ $continued == yes || $line == '# '* || $line == '$ '* ]] || kind=transcript
        continued=no
        [[ $line != *\\ ]] || continued=yes
    done
    local setup_command
    for setup_command in "${setup[@]}"; do
        printf '{ %s\n} > /dev/null 2>&1 || echo "setup of example %d failed: %s" >> "$work/failures"\n' \
            "$setup_command" "$n" "${setup_command//\"/\\\"}"
    done
    printf 'exec > "$work/block.%d" 2>&1\n' "$n"
    [[ $kind == transcript ]] && printf '%s\n' "${lines[@]}" > "$work/expected.$n"
    local echoed=()
    continued=no
    for line in "${lines[@]}"; do
        if [[ $continued == no ]]; then
            [[ $line == '# '* || $line == '$ '* ]] || continue
            command=${line:2} echoed=("$line")
        else
            command+=$'\n'$line echoed+=("$line")
        fi
        if [[ $line == *\\ ]]; then continued=yes; continue; fi
        continued=no
        if [[ $kind == transcript ]]; then
            printf 'status=$?; printf "%%s\\n" %s; (exit $status)\n' "$(printf '%q ' "${echoed[@]}")"
            printf '%s\n' "$command"
        else
            printf '%s\n' "$command"
            commands=$((commands + 1))
            printf '%s\n' "$command" > "$work/command.$n.$commands"
            printf 'status=$?; ((status == 0)) || { echo "example %d: status $status:"; cat "$work/command.%d.%d"; } >> "$work/failures"\n' \
                "$n" "$n" "$commands"
        fi
    done
    printf 'exec > /dev/null 2>&1\n'
    blocks=$((blocks + 1))
}
{
    while IFS= read -r raw; do
        if [[ $in_block == yes ]]; then
            if [[ $raw == .EE* ]]; then
                emit_block; in_block=no setup=() lines=()
            else
                [[ $raw != .* ]] || fail "a request inside an example: $raw"
                lines+=("$(unescape "$raw")") || exit 1
            fi
        elif [[ $raw == '.\" example-setup: '* ]]; then
            setup+=("$(unescape "${raw#'.\" example-setup: '}")") || exit 1
        elif [[ $raw == .EX* ]]; then
            in_block=yes
        elif [[ $raw != .* ]]; then
            setup=()  # setup lines belong to the block right after them
        fi
    done < "$page"
} > "$session" || exit 1
((blocks > 0)) || fail "no example found"

korvane=$build/src/command/korvane zapisim_dir=$build/sim
[[ -x $korvane && -x $zapisim_dir/zapisim ]] || fail "korvane and zapisim are not built in $build"
"$zapisim_dir/zapisim" init "$work/system" || fail "zapisim init"
cat > "$work/bin/korvane" <<WRAPPER
#!/bin/sh
[ -n "\${ZAPISIM_ROOT:-}" ] && exec "$korvane" "\$@"
exec "$zapisim_dir/zapisim" run "$work/system" -- "$korvane" "\$@"
WRAPPER
chmod +x "$work/bin/korvane"

(
    cd "$work/home" || exit 1
    export work SYSTEM=$work/system HOME=$work/home GIT_CONFIG_NOSYSTEM=1
    export GIT_AUTHOR_NAME=Example GIT_AUTHOR_EMAIL=example@example.org
    export GIT_COMMITTER_NAME=Example GIT_COMMITTER_EMAIL=example@example.org
    export PATH=$work/bin:$zapisim_dir:$PATH LC_ALL=C.UTF-8
    # shellcheck disable=SC1090
    source "$session"
) < /dev/null

status=0
for ((n = 0; n < blocks; n++)); do
    [[ -f $work/expected.$n ]] || continue
    cmp -s "$work/expected.$n" "$work/block.$n" || {
        echo "--- example $n as printed (paths in $work)" >&2; cat -A "$work/expected.$n" >&2
        echo "--- example $n as run" >&2; cat -A "$work/block.$n" >&2
        status=1
    }
done
if [[ -s $work/failures ]]; then
    cat "$work/failures" >&2
    for ((n = 0; n < blocks; n++)); do
        [[ -s $work/block.$n && ! -f $work/expected.$n ]] || continue
        echo "--- output of example $n" >&2; cat "$work/block.$n" >&2
    done
    status=1
fi
((status == 0)) || fail "an example does not do what its page says"
echo "PASS: $blocks examples of $(basename "$page")"
