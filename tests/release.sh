#!/bin/bash
# package/release refuses, before it touches anything, an OUT that is or
# holds the sources or the home folder, a folder that holds more than an
# earlier release, an architecture without its preset, and a key that
# cannot sign; OUT is taken from the caller's folder. Each is tried on a
# copy of the sources, which must come out as it went in.
# Arguments: the source folder.
set -u
src=$1
# shellcheck source-path=SCRIPTDIR source=check.sh
. "$(dirname "$0")/check.sh"
trap 'gpgconf --kill all 2>/dev/null; rm -rf "$tmp"' EXIT
copy=$tmp/top/colonsplit
sources "$src" "$copy"
mkdir -p "$tmp/home" "$tmp/elsewhere" && echo mine >"$tmp/home/notes" && echo mine >"$tmp/elsewhere/notes"
export GNUPGHOME=$tmp/gnupg
mkdir -m 700 "$GNUPGHOME"
unset COLONSPLIT_SIGNING_KEY
# All but its own notes: meta, and check's why.
mkdir "$tmp/meta"
snapshot() { (cd "$tmp" && find . \( -path ./gnupg -o -path ./meta -o -path ./why \) -prune -o -printf '%M %s %p\n' | sort); }
snapshot >"$tmp/meta/before"
refused() { # the folder it runs in, then settings (NAME=value) and its arguments: status 2, said why, nothing changed
	local dir=$1 settings=()
	shift
	while [[ ${1:-} == *=* ]]; do settings+=("$1") && shift; done
	(cd "$dir" && env HOME="$tmp/home" "${settings[@]}" "$copy/package/release" "$@") >"$tmp/meta/said" 2>&1
	[ $? -eq 2 ] && grep -q 'package/.*: .*; nothing' "$tmp/meta/said" && snapshot | cmp -s - "$tmp/meta/before" &&
		cat "$tmp/meta/said"
}
check "OUT the sources" refused "$tmp/elsewhere" "$copy"
check "OUT . in the sources: the sources" eval "refused '$copy' . | grep -q 'OUT, $copy, is or holds $copy'"
check "OUT . elsewhere: that folder" eval "refused '$tmp/elsewhere' . | grep -q '$tmp/elsewhere is not an earlier release'"
check "OUT holding the sources" refused "$tmp/elsewhere" "$tmp/top"
check "OUT the home folder" refused "$tmp/elsewhere" "$tmp/home"
check "OUT a folder of someone's" refused "$copy" "$tmp/elsewhere"
check "a key by its user ID" refused "$copy" COLONSPLIT_SIGNING_KEY=colonsplit "$tmp/out"
check "no OUT made" test ! -e "$tmp/out"
echo 'mips64el mips64el-linux-gnuabi64 mips64 qemu-mips64el mips64el' >>"$copy/cmake/arches.txt"
snapshot >"$tmp/meta/before"
check "a row of the table without its preset" eval "refused '$copy' '$tmp/out' | grep -q 'mips64el.*no workflow preset'"
summary
