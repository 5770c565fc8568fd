#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# make install and make uninstall. Each destination, the pair of DESTDIR and PREFIX,
# has its own record of the files installed there, so that uninstalling one never
# touches another:
#
#   install.sh install BUILD_DIR RECORDS_DIR PREFIX [DESTDIR]
#   install.sh uninstall RECORDS_DIR PREFIX [DESTDIR]
#
# A record is RECORDS_DIR/KEY.txt: a line DESTDIR=..., a line PREFIX=..., then one
# installed path per line, DESTDIR included. Installing again at the same destination
# adds to its record, so files an older install left there go too.
set -euo pipefail

# absolute PATH: PATH made absolute and without . or .. parts or a trailing slash.
absolute() { [[ -z $1 ]] || realpath -m -- "$1"; }

mode=${1:?usage: install.sh install|uninstall ...}
if [[ $mode == install ]]; then
    build_dir=${2:?build directory}
    shift
fi
records=${2:?records directory}
prefix=$(absolute "${3:?prefix}")
destdir=$(absolute "${4:-}")
record=$records/$(printf '%s\n%s\n' "$destdir" "$prefix" | md5sum | cut -c1-16).txt

# The destination as the user names it: PREFIX=P, then DESTDIR=D when there is one.
where() { printf 'PREFIX=%s%s' "$2" "${1:+ DESTDIR=$1}"; }

if [[ $mode == install ]]; then
    DESTDIR="$destdir" cmake --install "$build_dir" --prefix "$prefix" --strip
    mkdir -p "$records"
    {
        printf 'DESTDIR=%s\nPREFIX=%s\n' "$destdir" "$prefix"
        { [[ -f $record ]] && tail -n +3 "$record"
          sed "s|^|$destdir|" "$build_dir/install_manifest.txt"; } | LC_ALL=C sort -u
    } > "$record.new"
    mv -- "$record.new" "$record"
    echo "Installed at $(where "$destdir" "$prefix"); make uninstall with the same PREFIX and DESTDIR removes it"
    exit 0
fi

[[ $mode == uninstall ]] || { echo "install.sh: unknown mode $mode" >&2; exit 2; }
if [[ ! -f $record ]]; then
    echo "make uninstall: no install known at $(where "$destdir" "$prefix")"
    known=$(for other in "$records"/*.txt; do
        [[ -f $other ]] || continue
        mapfile -t head < <(head -n 2 "$other")
        printf '  %s\n' "$(where "${head[0]#DESTDIR=}" "${head[1]#PREFIX=}")"
    done | LC_ALL=C sort)
    if [[ -n $known ]]; then
        echo "Known installs (give the same PREFIX and DESTDIR):"
        echo "$known"
    else
        echo "No install is known in this build tree."
    fi
    exit 1
fi
# Only paths under the destination are removed, whatever the record says; then the
# directories that only korvane and zapisim use, once empty.
while IFS= read -r file; do
    [[ $file == "$destdir$prefix"/* ]] || continue
    if [[ -e $file || -L $file ]]; then
        rm -f -- "$file" && echo "removed $file"
    fi
    case $file in */libexec/zapisim/* | */doc/korvane/* | */doc/zapisim/*)
        rmdir -- "${file%/*}" 2> /dev/null || true ;;
    esac
done < <(tail -n +3 "$record")
rm -f -- "$record"
