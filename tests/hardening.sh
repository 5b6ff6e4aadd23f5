#!/bin/bash
# The shipping programs carry the hardening CONTRIBUTING.md claims, read off
# the binaries: PIE, static where built static, full RELRO, a non-executable
# stack, relative relocations where the linker was found to pack them, no
# file page mapped executable that holds anything but code where the
# linker was found to keep code apart, and
# GCC's record of its switches (stack protector, stack clash protection,
# the architecture's control-flow protection, optimisation). Fortify is a
# macro, which that record leaves out, and marks nothing in a program that
# makes no fortifiable call: it is read off the compile command, as the
# other switches are for a compiler that keeps no record, or a build
# with link-time optimisation, which drops it. Where a switch
# is given twice the last one counts, as it does for the compiler.
# Arguments: static or dynamic, relr or norelr, apart or together,
# compile_commands.json, then the programs.
set -u
link=$1 relr=$2 code=$3 db=$4; shift 4
# shellcheck source-path=SCRIPTDIR source=check.sh
. "$(dirname "$0")/check.sh"
# The sections, but code, that share a file page with an executable
# segment: mapped with it, they would be executable too.
exposed() { # program
	local ranges name type off size flags o s
	ranges=$(readelf -lW "$1" | awk '$1 == "LOAD" { e = 0; for (i = 7; i < NF; i++) if ($i ~ /E/) e = 1; if (e) print $2, $5 }')
	readelf -SW "$1" | sed -n 's/^ *\[ *[0-9]*\] //p' | awk 'NF >= 9 { print $1, $2, $4, $5, NF == 10 ? $7 : "-" }' |
		while read -r name type off size flags; do
			case $type/$flags in NULL/* | NOBITS/* | */*X*) continue ;; esac
			while read -r o s; do
				((0x$off < (o + s + 4095) / 4096 * 4096 && 0x$off + 0x$size > o / 4096 * 4096)) && echo "$name"
			done <<<"$ranges"
		done
}
# Does the last word of $words that matches a pattern match another?
last() { printf '%s\n' $words | grep -E "^($1)$" | tail -1 | grep -Eqx -e "$2"; }

for bin in "$@"; do
	name=${bin##*/}
	check "$name: PIE" eval "readelf -h '$bin' | grep -q 'Type:.*DYN'"
	if [ "$link" = static ]; then
		check "$name: static, no program interpreter" eval "! readelf -lW '$bin' | grep -q INTERP"
		check "$name: static, no shared library needed" eval "! readelf -d '$bin' | grep -q NEEDED"
	fi
	check "$name: RELRO" eval "readelf -lW '$bin' | grep -q GNU_RELRO"
	check "$name: full RELRO (BIND_NOW)" eval "readelf -d '$bin' | grep -Eq 'BIND_NOW|FLAGS_1.*NOW'"
	[ "$code" = apart ] && check "$name: no file page mapped executable holds other than code" eval "! exposed '$bin' | grep ."
	check "$name: stack not executable" eval "readelf -lW '$bin' | awk '\$1 == \"GNU_STACK\" { s = \$7 } END { exit s != \"RW\" }'"
	# A linker that only warns about the flag leaves none.
	[ "$relr" = relr ] && check "$name: relative relocations packed" eval "readelf -d '$bin' | grep -q '(RELR)'"

	# The program's own object, not the test suite's debug build of it.
	cmd=$(grep '"command"' "$db" | grep -F "CMakeFiles/$name.dir/")
	check "$name: compile command found" test -n "$cmd"
	words=$cmd
	check "$name: -D_FORTIFY_SOURCE=3" last '-D_FORTIFY_SOURCE(=.*)?|-U_FORTIFY_SOURCE' '-D_FORTIFY_SOURCE=3'

	# Where the compiler was asked to keep its record (GCC), the rest
	# is read off the binary; link-time optimisation keeps none.
	if [[ $cmd == *-frecord-gcc-switches* && $cmd != *-flto* ]]; then
		words=$(readelf -p .GCC.command.line "$bin" 2>/dev/null)
		check "$name: compiler's record of its switches" test -n "$words"
	fi
	check "$name: optimised, as fortify needs" last '-O.*' '-O([1-3sgz]|fast)?'
	check "$name: -fstack-protector-strong" last '-f(no-)?stack-protector(-.*)?' '-fstack-protector-strong'
	check "$name: -fstack-clash-protection" last '-f(no-)?stack-clash-protection' '-fstack-clash-protection'
	case $(readelf -h "$bin" | sed -n 's/^ *Machine: *//p') in
	*X86-64* | *80386*) check "$name: -fcf-protection" last '-f(no-)?cf-protection(=.*)?' '-fcf-protection(=full)?' ;;
	AArch64) check "$name: -mbranch-protection=standard" last '-mbranch-protection=.*' '-mbranch-protection=standard' ;;
	esac
done
summary
