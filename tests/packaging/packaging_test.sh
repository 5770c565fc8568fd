#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# What an administrator gets: installs korvane and zapisim into a temporary root,
# the way `make install` or the Debian packages put them there, and runs the
# installed tool against a simulated storage system.
#
#   packaging_test.sh manual SOURCE_DIR   the manual pages format without a warning
#   packaging_test.sh install BUILD_DIR   cmake --install with a prefix and DESTDIR
#   packaging_test.sh deb BUILD_DIR SOURCE_DIR
#                                         dpkg-buildpackage builds both packages from a
#                                         copy of the tree; lintian shows no tag but the
#                                         overridden ones; the maintainer scripts stop
#                                         and forget the units; dpkg -x them
#   packaging_test.sh uninstall BUILD_DIR SOURCE_DIR
#                                         two installs at two destinations; uninstalling
#                                         one leaves the other, an unknown one is refused
#   packaging_test.sh readme BUILD_DIR SOURCE_DIR
#                                         the README's session, run with the built
#                                         binaries, prints what the README shows
#
# Exit status 0: passed, 77: skipped (a tool it needs is missing), other: failed.
set -euo pipefail

mode=${1:?mode}
dir=${2:?directory}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
skip() { echo "SKIP: $*"; exit 77; }

# expect_file FILE TEXT: FILE holds exactly the bytes of TEXT (printf %s).
expect_file() {
  printf '%s' "$2" > "$work/expected"
  cmp -s "$work/expected" "$1" || {
    echo "--- expected" >&2; cat -A "$work/expected" >&2
    echo "--- got ($1)" >&2; cat -A "$1" >&2
    fail "unexpected content of $1"
  }
}

# groff_clean PAGE: the page formats with every warning on and prints nothing.
groff_clean() {
  local page=$1 out
  out=$( (if [[ $page == *.gz ]]; then zcat "$page"; else cat "$page"; fi) \
         | groff -ww -z -man 2>&1) || fail "groff failed on $page"
  [[ -z $out ]] || fail "groff warns on $page: $out"
}

check_manual_pages() {
  command -v groff > /dev/null || skip "groff is not installed"
  local pages=("$dir"/docs/*.1 "$dir"/docs/*.8)
  for page in "${pages[@]}"; do
    groff_clean "$page"
    if command -v man > /dev/null; then
      LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" > "$work/page.txt" 2> "$work/page.err" \
        || fail "man -l $page failed"
      [[ ! -s $work/page.err ]] || fail "man -l $page: $(cat "$work/page.err")"
      grep -q '^NAME' "$work/page.txt" || fail "man -l $page has no NAME section"
    fi
  done
}

banner=$'KORVANE v1.1 - Modify Pool or Volume GUID\n\n\n'
id_archive=d4c3b2a1-f6e5-b8a7-c9-da-ebfc0d1e2f3a
id_vol1=00d9f3c2-5a10-47e1-8b-04-1c2d3e4f5a6b
id_vol2=11111111-2222-3333-44-55-666666666666
id_other=99999999-8888-7777-66-55-444444444444
id_pool=0a0b0c0d-0e0f-1011-12-13-141516171819

# run_tool NAME COMMAND...: runs COMMAND with standard input piped from NAME.in
# (empty when absent), standard output and error kept in NAME.out and NAME.err and
# the exit status in NAME.rc. Standard output is a pipe too, as in a terminal
# session, so /dev/stdout as the list file does not truncate what came before it.
run_tool() {
  local name=$1; shift
  [[ -f $work/$name.in ]] || : > "$work/$name.in"
  set +e
  cat "$work/$name.in" | "$@" 2> "$work/$name.err" | cat > "$work/$name.out"
  echo "${PIPESTATUS[1]}" > "$work/$name.rc"
  set -e
}

expect_run() {  # NAME STATUS STDOUT [STDERR]
  [[ $(cat "$work/$1.rc") == "$2" ]] || fail "$1: exit status $(cat "$work/$1.rc"), expected $2"
  [[ $(cat "$work/$1.err") == "${4-}" ]] || fail "$1: wrote to standard error: $(cat "$work/$1.err")"
  expect_file "$work/$1.out" "$3"
}

# check_tree PREFIX: the installed files are where they belong and the installed
# korvane does its job under the installed simulator.
check_tree() {
  local prefix=$1
  local korvane=$prefix/sbin/korvane zapisim=$prefix/bin/zapisim
  [[ -x $korvane ]] || fail "no executable $korvane"
  [[ -L $zapisim ]] || fail "$zapisim is not a symbolic link"
  [[ -x $prefix/libexec/zapisim/zapisim ]] || fail "no zapisim in libexec/zapisim"
  [[ -f $prefix/libexec/zapisim/libzapisim.so ]] || fail "no libzapisim.so in libexec/zapisim"
  [[ $(readlink -f "$zapisim") == "$(readlink -f "$prefix/libexec/zapisim/zapisim")" ]] \
    || fail "$zapisim does not lead to libexec/zapisim/zapisim"
  [[ $(readlink "$zapisim") != /* ]] || fail "$zapisim is an absolute link"
  [[ -f $prefix/share/doc/korvane/README.md ]] || fail "no README.md"
  zcat "$prefix/share/doc/korvane/changelog.gz" | grep '^# Changelog' >/dev/null || fail "no changelog.gz"
  local package
  for package in korvane zapisim; do  # Debian's machine-readable copyright file
    grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
      "$prefix/share/doc/$package/copyright" && grep -qx 'License: Apache-2.0' \
      "$prefix/share/doc/$package/copyright" || fail "no copyright file for $package"
    grep -q "^complete -F _$package $package\$" "$prefix/share/bash-completion/completions/$package" \
      || fail "no bash completion for $package"
  done
  local page
  for page in "$prefix/share/man/man8/korvane.8.gz" "$prefix/share/man/man1/zapisim.1.gz"; do
    [[ -f $page ]] || fail "no manual page $page"
    command -v groff > /dev/null && groff_clean "$page"
  done

  run_tool version "$korvane" --version
  expect_run version 0 $'korvane 1.1.0\n'
  run_tool simversion "$zapisim" --version
  expect_run simversion 0 $'zapisim 1.1.0\n'
  # Without arguments: the banner and the usage lines.
  run_tool usage "$korvane"
  expect_run usage 255 "${banner}Usage: KORVANE get/put pool/volume <full path of file>
  KORVANE will get/put the specified Volume's or Pool's Tavro Object ID into/from the specified file 

"

  local sys=$work/system
  "$zapisim" init "$sys"
  "$zapisim" add "$sys" volume VOL1 --id "$id_vol1"
  "$zapisim" add "$sys" volume ARCHIVE --id "$id_archive"
  "$zapisim" add "$sys" volume VOL2 --state 2 --id "$id_vol2"
  "$zapisim" add "$sys" pool P1 --id "$id_pool"

  # Back up: the inactive volume is reported and left out; listing order is by name.
  run_tool get "$zapisim" run "$sys" -- "$korvane" get volume "$work/volumes.xml"
  expect_run get 0 "${banner}Volume VOL2 must be active to get its Tavro ID


Successfully updated the file \"$work/volumes.xml\" with Volume GUID List
"
  local list
  list=$(printf '<listVolumes>\n\t<volumeName>ARCHIVE</volumeName>\n\t\t<volumeGUID>%s</volumeGUID> <!-- check d9b462d5 -->\n\t<volumeName>VOL1</volumeName>\n\t\t<volumeGUID>%s</volumeGUID> <!-- check 1a5e963a -->\n</listVolumes>' \
    "$id_archive" "$id_vol1")
  expect_file "$work/volumes.xml" "$list"

  # The list alone on standard output, the messages on standard error.
  run_tool pools "$zapisim" run "$sys" -- "$korvane" GET Pool /dev/stdout
  [[ $(cat "$work/pools.rc") == 0 ]] || fail "pools: exit status $(cat "$work/pools.rc")"
  expect_file "$work/pools.out" "<listPools>
	<poolName>P1</poolName>
		<poolGUID>${id_pool}</poolGUID> <!-- check 0d0b1b4a -->
</listPools>"
  expect_file "$work/pools.err" "${banner}Successfully updated the file \"/dev/stdout\" with Pool GUID List
"
  check_units "$prefix" "$korvane" "$zapisim" "$sys"

  # Restore through a pipe after the ID was lost.
  "$zapisim" set "$sys" volume VOL1 --id "$id_other"
  cp "$work/volumes.xml" "$work/put.in"
  run_tool put "$zapisim" run "$sys" -- "$korvane" put volume /dev/stdin
  expect_run put 0 "${banner}

Successfully updated from file \"/dev/stdin\" to the Volume's GUID
" 'korvane: put volume from "/dev/stdin": 1 changed, 1 already held their ID, 0 inactive skipped'
  "$zapisim" show "$sys" > "$work/show.out"
  expect_file "$work/show.out" "$(printf 'pool\tP1\t6\t%s\nvolume\tARCHIVE\t6\t%s\nvolume\tVOL1\t6\t%s\nvolume\tVOL2\t2\t%s' \
    "$id_pool" "$id_archive" "$id_vol1" "$id_vol2")
"
}

# check_units PREFIX KORVANE ZAPISIM SYSTEM: the backup units are installed (under
# PREFIX, or in the root's lib/systemd/system as the packages have them) and pass
# systemd-analyze verify without a word (their manual page found in PREFIX); the
# service's command names the tool by its installed path and, run twice under the
# simulator with its environment, its directory in the scratch directory and an ID
# changed in between, saves both lists and keeps the replaced volume list.
check_units() {
  local units=$1/lib/systemd/system
  [[ -d $units ]] || units=$work/root/lib/systemd/system
  [[ -f $units/korvane-backup.service && -f $units/korvane-backup.timer ]] \
    || fail "no korvane-backup units in $units"
  [[ $(grep -v '^#' "$1/lib/tmpfiles.d/korvane.conf") == "f /run/korvane.lock 0600 root root -" ]] \
    || fail "no run lock made at boot"
  if command -v systemd-analyze > /dev/null; then
    MANPATH=$1/share/man systemd-analyze verify "$units/korvane-backup.service" \
      "$units/korvane-backup.timer" > "$work/verify.log" 2>&1 && [[ ! -s $work/verify.log ]] \
      || fail "systemd-analyze verify: $(cat "$work/verify.log")"
  fi
  local script installed=${2#"$work/root"} environment
  script=$(sed -n "s|^ExecStart=/bin/sh -c '\(.*\)'$|\1|p" "$units/korvane-backup.service")
  [[ $script == "$installed get "*"; $installed get "* ]] \
    || fail "the service does not run $installed: $script"
  script=${script//\$\$/\$}
  script=${script//$installed/$2}
  read -r -a environment < <(sed -n 's/^Environment=//p' "$units/korvane-backup.service")
  mkdir -p "$work/state"
  env "${environment[@]}" DIRECTORY="$work/state" "$3" run "$4" -- /bin/sh -c "$script" > /dev/null \
    || fail "the service's command failed"
  "$3" set "$4" volume VOL1 --id "$id_other"
  env "${environment[@]}" DIRECTORY="$work/state" "$3" run "$4" -- /bin/sh -c "$script" > /dev/null \
    || fail "the service's command failed again"
  [[ -s $work/state/pools.xml && -s $work/state/volumes.xml && -s $work/state/volumes.xml.1 \
     && ! -e $work/state/pools.xml.1 ]] || fail "the service's lists: $(ls "$work/state")"
}

# check_readme SOURCE_DIR: the README's session (the indented block from its first
# "$ zapisim init"), each command run in turn with the built korvane and zapisim first
# on the PATH and echoed after a "$ ", gives the block byte for byte. Its files are
# in the scratch directory instead of /tmp.
check_readme() {
  awk '/^    \$ zapisim init/ { on = 1 } on && /^[^ ]/ { exit }
       on && $0 == "" { blank++ }  # kept until a line follows, so the block ends on text
       on && $0 != "" { for (; blank > 0; blank--) print ""; print substr($0, 5) }' \
    "$1/README.md" | sed "s|/tmp/|$work/|g" > "$work/session"
  [[ -s $work/session ]] || fail "no session in $1/README.md"
  local line
  while IFS= read -r line; do
    [[ $line == '$ '* ]] || continue
    printf 'status=$?; printf "%%s\\n" %q; (exit $status); %s\n' "$line" "${line#\$ }"
  done < "$work/session" > "$work/session.sh"
  PATH="$dir/src/command:$dir/sim:$PATH" bash "$work/session.sh" > "$work/transcript" 2>&1 || true
  expect_file "$work/transcript" "$(cat "$work/session")
"
}

# check_uninstall SOURCE_DIR: make install at a prefix (whose share/doc was there
# before) and at a prefix under a DESTDIR, then make uninstall of the first removes
# its files and the directories it made only, and of an unknown destination refuses
# and names the installs it knows.
check_uninstall() {
  local script=$1/scripts/install.sh records=$work/records
  mkdir -p "$work/a/share/doc"
  bash "$script" install "$dir" "$records" "$work/a" > /dev/null || fail "install at a"
  bash "$script" install "$dir" "$records" /usr "$work/stage" > /dev/null || fail "install at stage"
  local before
  before=$(cd "$work/stage" && find . | sort)
  [[ -x $work/a/sbin/korvane ]] || fail "install at a put no korvane there"
  run_tool unknown bash "$script" uninstall "$records" "$work/b"
  expect_run unknown 1 "make uninstall: no install known at PREFIX=$work/b
Known installs (give the same PREFIX and DESTDIR):
$(printf '  %s\n' "PREFIX=$work/a" "PREFIX=/usr DESTDIR=$work/stage" | sort)
"
  bash "$script" uninstall "$records" "$work/a/" > "$work/removed" || fail "uninstall of a failed"
  [[ $(grep -c '^removed ' "$work/removed") -ge 10 ]] || fail "uninstall of a: $(cat "$work/removed")"
  [[ $(find "$work/a" | sort) == "$(printf '%s\n' "$work/a" "$work/a/share" "$work/a/share/doc")" ]] \
    || fail "left in a: $(find "$work/a")"
  [[ $(cd "$work/stage" && find . | sort) == "$before" ]] || fail "uninstalling a changed stage"
  bash "$script" uninstall "$records" /usr "$work/stage" > /dev/null || fail "uninstall of stage failed"
  [[ -z $(find "$work/stage" -mindepth 1) ]] || fail "left in stage: $(find "$work/stage" -mindepth 1)"
}

# field DEB NAME: one control field of a package.
field() { dpkg-deb --field "$1" "$2"; }

# maintainer_script DEB SCRIPT ARGUMENT: runs the package's SCRIPT with ARGUMENT as on
# a machine booted with systemd (its test for /run/systemd/system pointed at a
# scratch directory) where the package was never installed, and prints the systemd
# commands it runs, with their arguments.
maintainer_script() {
  rm -rf "$work/control" "$work/calls"
  mkdir -p "$work/control" "$work/bin" "$work/systemd"
  dpkg-deb --control "$1" "$work/control"
  local command
  for command in deb-systemd-invoke deb-systemd-helper systemctl systemd-tmpfiles; do
    printf '#!/bin/sh\necho "%s $*" >> "%s"\ncase $1 in --quiet | debian-installed) exit 1 ;; esac\n' \
      "$command" "$work/calls" > "$work/bin/$command"
    chmod +x "$work/bin/$command"
  done
  sed "s|/run/systemd/system|$work/systemd|; s|/usr/bin/deb-systemd-helper|$work/bin/deb-systemd-helper|" \
    "$work/control/$2" > "$work/script"
  PATH="$work/bin:$PATH" sh "$work/script" "$3" || echo "$2 $3 failed"
  [[ ! -f $work/calls ]] || cat "$work/calls"
}

# fortified_gaps BINARY LIBRARY: every fortified C library call BINARY makes stands for a
# call LIBRARY interposes only when LIBRARY interposes the fortified one too.
fortified_gaps() {
  local symbol plain
  for symbol in $(nm -D --undefined-only "$1" | awk '{ sub(/@.*/, "", $2); print $2 }' \
                   | grep -E '^__[a-z0-9]+(_chk|_2)$'); do
    plain=${symbol#__}; plain=${plain%_chk}; plain=${plain%_2}
    nm -D --defined-only "$2" | grep -E " ($plain|${plain}64)\$" >/dev/null || continue
    nm -D --defined-only "$2" | grep " $symbol\$" >/dev/null || echo "$symbol"
  done
}

check_packages() {
  local source=$1
  command -v dpkg-buildpackage > /dev/null || skip "dpkg-buildpackage is not installed"
  command -v dh > /dev/null || skip "debhelper is not installed"
  command -v lintian > /dev/null || fail "lintian is not installed (make deps DEPS=lintian)"
  git -C "$source" rev-parse 2> /dev/null || skip "$source is not a git work tree"
  # The tree as it is, less what git ignores (build trees and the like).
  mkdir -p "$work/src/korvane"
  (cd "$source" && git ls-files -z -c -o --exclude-standard \
     | while IFS= read -r -d '' file; do [[ -e $file ]] && printf '%s\0' "$file"; done \
     | tar --null -T - -cf -) | tar -xf - -C "$work/src/korvane"
  (cd "$work/src/korvane" && DEB_BUILD_OPTIONS=nocheck dpkg-buildpackage -us -uc -b) \
    > "$work/build.log" 2>&1 || { tail -n 40 "$work/build.log" >&2; fail "dpkg-buildpackage failed"; }
  local arch
  arch=$(dpkg --print-architecture)
  local tool=$work/src/korvane_1.1.0-1_$arch.deb sim=$work/src/zapisim_1.1.0-1_$arch.deb
  [[ -f $tool ]] || fail "no $(basename "$tool"): $(ls "$work/src")"
  [[ -f $sim ]] || fail "no $(basename "$sim"): $(ls "$work/src")"

  local deb
  for deb in "$tool" "$sim"; do
    [[ $(field "$deb" Version) == 1.1.0-1 ]] || fail "$deb: version $(field "$deb" Version)"
    [[ $(field "$deb" Architecture) == "$arch" ]] || fail "$deb: architecture"
    [[ -n $(field "$deb" Maintainer) ]] || fail "$deb: no maintainer"
    [[ $(field "$deb" Description) == *korvane* ]] || fail "$deb: description"
    # Computed dependencies: the C library at least, each with a version.
    [[ $(field "$deb" Depends) == *"libc6 (>= "* ]] || fail "$deb: depends $(field "$deb" Depends)"
  done
  [[ $(field "$tool" Package) == korvane ]] || fail "tool package name"
  [[ $(field "$sim" Package) == zapisim ]] || fail "simulator package name"
  # Each package's synopsis is its own, and the long description follows it.
  [[ $(field "$tool" Description | head -n 1) == "back up and restore the object IDs of Ostrel pools and volumes" ]] \
    || fail "tool synopsis: $(field "$tool" Description | head -n 1)"
  [[ $(field "$sim" Description | head -n 1) == "simulated Ostrel storage system for rehearsing korvane" ]] \
    || fail "simulator synopsis: $(field "$sim" Description | head -n 1)"
  [[ $(field "$tool" Description | wc -l) -gt 2 ]] || fail "tool has no long description"

  # The tool's package holds the tool, its manual page and its documents, no more.
  dpkg-deb --fsys-tarfile "$tool" | tar -t | grep -v '/$' | sort > "$work/tool.files"
  expect_file "$work/tool.files" "./lib/systemd/system/korvane-backup.service
./lib/systemd/system/korvane-backup.timer
./usr/lib/tmpfiles.d/korvane.conf
./usr/sbin/korvane
./usr/share/bash-completion/completions/korvane
./usr/share/doc/korvane/README.md
./usr/share/doc/korvane/changelog.Debian.gz
./usr/share/doc/korvane/changelog.gz
./usr/share/doc/korvane/copyright
./usr/share/lintian/overrides/korvane
./usr/share/man/man8/korvane.8.gz
"
  # Debian's own checks, every tag shown: none but those overridden (each override
  # says why in its comment), hardening included.
  lintian -I --pedantic --fail-on error,warning,info,pedantic "$work"/src/*.changes > "$work/lintian.log" 2>&1 \
    || { cat "$work/lintian.log" >&2; fail "lintian shows tags"; }

  # Shipped disabled and never started; stopped on removal, not on upgrade; the
  # enable links an administrator made stay on removal and go on purge.
  expect_file <(maintainer_script "$tool" postinst configure) "systemd-tmpfiles --create korvane.conf
deb-systemd-helper debian-installed korvane-backup.timer
deb-systemd-helper update-state korvane-backup.timer
"
  expect_file <(maintainer_script "$tool" prerm remove) "deb-systemd-invoke stop korvane-backup.timer korvane-backup.service
"
  expect_file <(maintainer_script "$tool" prerm upgrade) ""
  expect_file <(maintainer_script "$tool" postrm remove) "systemctl --system daemon-reload
"
  expect_file <(maintainer_script "$tool" postrm purge) "deb-systemd-helper purge korvane-backup.timer
"

  # The installed tool alone runs: its own dependencies are all it needs.
  dpkg -x "$tool" "$work/tool-only"
  run_tool alone "$work/tool-only/usr/sbin/korvane" get volume
  [[ $(cat "$work/alone.rc") == 255 ]] || fail "korvane from its package does not run"

  dpkg -x "$tool" "$work/root"
  dpkg -x "$sim" "$work/root"
  local gaps
  gaps=$(fortified_gaps "$work/root/usr/sbin/korvane" "$work/root/usr/libexec/zapisim/libzapisim.so")
  [[ -z $gaps ]] || fail "the simulator does not catch the hardened korvane's $gaps"
  check_tree "$work/root/usr"
}

case $mode in
  manual) check_manual_pages ;;
  install)
    DESTDIR="$work/root" cmake --install "$dir" --prefix /opt/korvane > "$work/install.log" \
      || { cat "$work/install.log" >&2; fail "cmake --install failed"; }
    check_tree "$work/root/opt/korvane"
    ;;
  deb) check_packages "${3:?source directory}" ;;
  readme) check_readme "${3:?source directory}" ;;
  uninstall) check_uninstall "${3:?source directory}" ;;
  *) fail "unknown mode $mode" ;;
esac
echo "PASS: $mode"
