#!/bin/bash
# Writes the start-up layout, cmake/startup.order: the functions that a
# call's start-up and a typical call run, which the linker lays out
# together (cmake/startup.cmake). Deterministic: the same toolchain gives
# the same file. Run it as `cmake --build build --target startup-order`.
# What it lists, from the static programs given:
# - what valgrind's callgrind sees them run, with their output a pipe and
#   a character device (a terminal's path through stdio);
# - the resolvers of their IRELATIVE relocations, and the entry path;
# - every variant of each string function that start-up calls, grouped
#   by the processor features they need: valgrind's processor reaches
#   one variant, a real one another (EVEX and AVX-512);
# - what valgrind hides: a real start-up sets up the vDSO, and reads the
#   cache sizes in its processor vendor's way.
# Symbols that another toolchain lacks are ignored by the linker.
# usage: cmake/startup.sh cmake/startup.order headslug tailecho
set -euo pipefail
export LC_ALL=C
tmp=$(mktemp -d) && trap 'rm -rf "$tmp"' EXIT
out=$1
shift

callgrind() { # run the program p under callgrind, its output where the caller sends it
	valgrind --tool=callgrind --callgrind-out-file="$tmp/cg" --compress-strings=no --demangle=no \
		"$p" 'Hello World: Body text' 2>/dev/null
}
seen() { # the functions it ran; what callgrind knows only by address or as
	# "below main" is the entry path, named below
	sed -n "s/^c\?fn=//p" "$tmp/cg" | sed "s/'[0-9]*$//" | grep -v '^0x\|^(below main)$'
}
for p in "$@"; do
	# The program's text symbols: address, name.
	nm --defined-only "$p" | awk '$2 ~ /^[tTiW]$/ { print $1, $3 }' | sort -u >"$tmp/syms"
	cut -d' ' -f2 "$tmp/syms" >>"$tmp/names"
	# Its output a pipe, then a character device (a terminal's way).
	callgrind | cat >/dev/null && seen
	callgrind >/dev/null && seen
	readelf -rW "$p" | awk '/IRELATIVE/ { print "0x" $NF }' | xargs -r printf '%016x\n' |
		awk 'NR == FNR { want[$1]; next } $1 in want { print $2 }' - "$tmp/syms"
done >"$tmp/run"
printf '%s\n' _start __libc_start_main __libc_start_call_main _init _fini \
	deregister_tm_clones register_tm_clones frame_dummy __do_global_dtors_aux \
	_dl_add_to_namespace_list _dl_new_object _dl_setup_hash _dl_lookup_symbol_x do_lookup_x check_match \
	__calloc ___pthread_mutex_lock ___pthread_mutex_unlock __pthread_mutex_unlock_usercnt \
	handle_intel intel_check_word handle_amd handle_zhaoxin >>"$tmp/run"
sort -u -o "$tmp/run" "$tmp/run"

# A variant: __<function>_<features>, as the C library names them.
variant='^__([a-z0-9]+)_(evex|avx|sse|ssse|erms)'
# (calloc, in the vDSO's set-up, clears with memset.)
families=$({ grep -E "$variant" "$tmp/run" | sed -E "s/$variant.*/\1/"; echo memset; } | sort -u | paste -sd'|')
class() { # the fastest features first: the variants a processor uses lie together
	awk '{ c = $0 ~ /_(evex|avx512)/ ? 0 : $0 ~ /_avx/ ? 1 : 2; print c, $0 }' | sort -k1,1n -k2 | cut -d' ' -f2
}

{
	echo "# The start-up layout, written by cmake/startup.sh: regenerate it with"
	echo "# cmake --build build --target startup-order"
	grep -Ev "$variant" "$tmp/run"
	grep -E "^__($families)_(evex|avx|sse|ssse|erms)" "$tmp/names" | sort -u | class
} >"$out"
