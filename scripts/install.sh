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
# installed path per line, DESTDIR included, and each directory the install made there
# with a trailing slash. Installing again at the same destination adds to its record,
# so files an older install left there go too.
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

# under DIR: DIR is the destination or lies within it.
under() { [[ $1 == "$destdir$prefix" || $1 == "$destdir$prefix"/* ]]; }

if [[ $mode == install ]]; then
    # The directories it will make: those of its files, up to the destination, that
    # are not there yet. A first install into a scratch root names the files.
    scratch=$(mktemp -d)
    trap 'rm -rf "$scratch"' EXIT
    DESTDIR="$scratch" cmake --install "$build_dir" --prefix "$prefix" > /dev/null
    made=$(while IFS= read -r file; do
        dir=$destdir${file%/*}
        while under "$dir" && [[ ! -e $dir ]]; do
            echo "$dir/"
            dir=${dir%/*}
        done
    done < "$build_dir/install_manifest.txt")
    DESTDIR="$destdir" cmake --install "$build_dir" --prefix "$prefix" --strip
    mkdir -p "$records"
    {
        printf 'DESTDIR=%s\nPREFIX=%s\n' "$destdir" "$prefix"
        { [[ -f $record ]] && tail -n +3 "$record"
          [[ -z $made ]] || echo "$made"
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
# directories the installs made, deepest first, once empty.
while IFS= read -r file; do
    [[ $file != */ ]] && under "$file" || continue
    if [[ -e $file || -L $file ]]; then
        rm -f -- "$file" && echo "removed $file"
    fi
done < <(tail -n +3 "$record")
while IFS= read -r dir; do
    under "${dir%/}" && rmdir -- "$dir" 2> /dev/null || true
done < <(tail -n +3 "$record" | grep '/$' | LC_ALL=C sort -r)
rm -f -- "$record"
