#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# make reproducible: the committed tree, cloned into two directories of different
# names and depths and built there by dpkg-buildpackage (without the test suite),
# gives the same Debian packages, byte for byte. Each differing package is named;
# diffoscope, when installed, says where they differ.
#
#   reproducible.sh
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

builds=("$work/one" "$work/two/deeper")
for build in "${builds[@]}"; do
    mkdir -p "$build"
    git clone -q "$source" "$build/korvane"
    (cd "$build/korvane" && DEB_BUILD_OPTIONS=nocheck dpkg-buildpackage -us -uc -b) \
        > "$build/build.log" 2>&1 || { tail -n 40 "$build/build.log"; echo "dpkg-buildpackage failed in $build"; exit 1; }
done

differing=0 compared=0
for deb in "${builds[0]}"/*.deb; do
    name=${deb##*/} compared=$((compared + 1))
    if ! cmp -s "$deb" "${builds[1]}/$name"; then
        echo "$name differs between two builds of $(git rev-parse --short HEAD)"
        if command -v diffoscope > /dev/null; then
            diffoscope "$deb" "${builds[1]}/$name" | head -n 60 || true
        fi
        differing=$((differing + 1))
    fi
done
((compared > 0)) || { echo "no package was built"; exit 1; }
((differing == 0)) || exit 1
echo "Reproducible: $compared packages, the same from both builds"
