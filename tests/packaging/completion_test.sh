#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The bash completion of korvane and zapisim (completion/): each row is a command line
# typed up to the cursor at its end and the words offered there, sorted, as bash gets
# them from the function that `complete -p` names.
#
#   completion_test.sh SOURCE_DIR
set -uo pipefail

source_dir=${1:?source directory}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

source "$source_dir/completion/korvane" || exit 1
source "$source_dir/completion/zapisim" || exit 1

# A directory to complete file names in, a system with two volumes, and a PATH
# holding one program.
cd "$work" || exit 1
mkdir -p sys/pools sys/volumes bin sub
touch volumes.xml vault.txt sys/volumes/VOL1 sys/volumes/VOL2 sys/pools/P1
printf '#!/bin/sh\n' > bin/korvane-wrapper && chmod +x bin/korvane-wrapper
PATH=$work/bin:/usr/bin:/bin

# row LINE EXPECTED: the words offered after LINE (split at blanks, and around "=" as
# bash splits; a trailing blank starts an empty word).
row() {
    local line=$1 expected=$2
    read -r -a COMP_WORDS <<< "${line//=/ = }"
    [[ $line == *' ' ]] && COMP_WORDS+=('')
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE=$line COMP_POINT=${#line}
    local registration function
    registration=$(complete -p "${COMP_WORDS[0]}") || { echo "FAIL: no completion for ${COMP_WORDS[0]}"; failures=$((failures + 1)); return; }
    function=${registration#*-F }; function=${function%% *}
    COMPREPLY=()
    "$function" "${COMP_WORDS[0]}" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd ' ')
    if [[ $got != "$expected" ]]; then
        echo "FAIL: '$line': got '$got', expected '$expected'"
        failures=$((failures + 1))
    fi
}

row 'korvane ' '--help --version diff get put'
row 'korvane g' 'get'
row 'korvane PU' 'PUT'
row 'korvane get ' '--keep pool volume'
row 'korvane put ' '--name --undo pool volume'
row 'korvane put --undo=v' 'vault.txt volumes.xml'
row 'korvane put --undo u.xml --name V1 ' '--name pool volume'
row 'korvane diff --name ' ''
row 'korvane put --name V1 --name=V2 ' '--name --undo pool volume'
row 'korvane diff --name V1 volume v' 'vault.txt volumes.xml'
row 'korvane get --keep 9' '9 90 91 92 93 94 95 96 97 98 99'
row 'korvane get --keep=' "$(printf '%s\n' {1..99} | LC_ALL=C sort | paste -sd ' ')"
row 'korvane get --keep=3' '3 30 31 32 33 34 35 36 37 38 39'
row 'korvane get --keep 3 ' 'pool volume'
row 'korvane GET --keep 3 V' 'VOLUME'
row 'korvane diff volume v' 'vault.txt volumes.xml'
row 'korvane get --keep 3 pool vo' 'volumes.xml'
row 'korvane get --keep=3 ' 'pool volume'
row 'korvane get --keep=3 pool vo' 'volumes.xml'
row 'korvane put volume volumes.xml ' ''
row 'korvane --help ' ''
row 'zapisim ' '--help --version add add-many fail help init journal lock remove run set show'
row 'zapisim add-m' 'add-many'
row 'zapisim show s' 'sub sys'
row 'zapisim add sys ' 'pool volume'
row 'zapisim set sys volume ' 'VOL1 VOL2'
row 'zapisim set sys pool VOL1 --' '--id --state'
row 'zapisim set sys pool P1 --id ' 'random'
row 'zapisim remove sys volume ' 'VOL1 VOL2'
row 'zapisim remove sys volume VOL1 ' ''
row 'zapisim add-many sys pool 10 P --' '--state'
row 'zapisim fail sys read' 'read readdir'
row 'zapisim fail sys readdir ' 'pool volume'
row 'zapisim fail sys 16 --status 5 --n' '--name --nth'
row 'zapisim fail sys power --nth 3 --o' '--outcome'
row 'zapisim fail sys write --path vo' 'volumes.xml'
row 'zapisim journal sys ' '--clear off on'
row 'zapisim run sys ' '--'
row 'zapisim run sys -- korvane-w' 'korvane-wrapper'
row 'zapisim --help ' ''

if ((failures > 0)); then
    echo "$failures rows failed"
    exit 1
fi
echo "PASS: completion"
