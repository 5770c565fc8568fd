#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Demo: back up the volume IDs of a simulated storage system into an ID list file,
# edit one ID in the file, see what a restore would do, and restore the file into the system.
# Usage: scripts/demo.sh BUILD_DIR   (called by `make demo` after the build)
# Ends with where the two programs are.
set -euo pipefail

build_dir=${1:?usage: scripts/demo.sh BUILD_DIR}

# The usual place first (src/command/korvane, sim/zapisim), else wherever the build put it.
find_binary() {
  local found=""
  for candidate in "$build_dir/src/command/$1" "$build_dir/sim/$1"; do
    if [[ -f "$candidate" && -x "$candidate" ]]; then found=$candidate; break; fi
  done
  if [[ -z "$found" ]]; then
    found=$(find "$build_dir" -type f -name "$1" -perm -u+x -print -quit 2>/dev/null || true)
  fi
  if [[ -z "$found" ]]; then
    echo "demo: no $1 binary under $build_dir (make demo builds it)" >&2
    exit 1
  fi
  printf '%s\n' "$found"
}

korvane=$(find_binary korvane)
zapisim=$(find_binary zapisim)

work=$(mktemp -d "${TMPDIR:-/tmp}/korvane-demo-XXXXXX")
trap 'rm -rf "$work"' EXIT
system="$work/system"
list="$work/volumes.xml"

heading() { printf '\n===== %s =====\n' "$*"; }

heading "A simulated storage system with two pools and four volumes (one inactive)"
"$zapisim" init "$system"
"$zapisim" add "$system" pool tank --id 0a1b2c3d-0001-4000-80-01-000000000001
"$zapisim" add "$system" pool vault --id 0a1b2c3d-0002-4000-80-02-000000000002
"$zapisim" add "$system" volume data --id 5e6f7a8b-0001-4000-90-01-000000000011
"$zapisim" add "$system" volume home --id 5e6f7a8b-0002-4000-90-02-000000000012
"$zapisim" add "$system" volume logs --id 5e6f7a8b-0003-4000-90-03-000000000013
"$zapisim" add "$system" volume scratch --state 2 --id 5e6f7a8b-0004-4000-90-04-000000000014
printf 'KIND\tNAME\tSTATE\tID\n'
"$zapisim" show "$system"

heading "korvane get volume $list"
"$zapisim" run "$system" -- "$korvane" get volume "$list"

heading "The ID list file"
cat "$list"
echo

new_id=feedface-0001-4000-a0-01-00000000beef
heading "Editing the file: volume data gets ID $new_id (and loses the check of its old one)"
sed -i "/<volumeName>data<\/volumeName>/{n;s|<volumeGUID>[^<]*</volumeGUID>.*|<volumeGUID>$new_id</volumeGUID>|}" "$list"
cat "$list"
echo

heading "korvane diff volume $list (what put would do; exit status 1: IDs would change)"
"$zapisim" run "$system" -- "$korvane" diff volume "$list" || echo "exit status $?"

heading "korvane put volume $list"
"$zapisim" run "$system" -- "$korvane" put volume "$list"

heading "The objects afterwards (only volume data has a new ID)"
printf 'KIND\tNAME\tSTATE\tID\n'
"$zapisim" show "$system"

heading "Demo finished"
korvane_dir=$(cd "$(dirname "$korvane")" && pwd)
zapisim_dir=$(cd "$(dirname "$zapisim")" && pwd)
echo "korvane: $korvane_dir/korvane"
echo "zapisim: $zapisim_dir/zapisim"
echo "To call them by name: export PATH=\"$korvane_dir:$zapisim_dir:\$PATH\" (or make install)"
