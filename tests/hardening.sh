#!/bin/bash
# The shipping programs carry the hardening the README claims, read off the
# binaries: PIE, static where built static, full RELRO, a non-executable
# stack, and the compiler's own record of its switches (stack protector,
# stack clash protection, control-flow protection, optimisation). Fortify
# is a macro, which that record leaves out, and marks nothing in a program
# that makes no fortifiable call: it is read off the compile command. Where
# a switch is given twice the last one counts, as it does for the compiler.
# Arguments: static or dynamic, compile_commands.json, then the programs.
set -u
link=$1 db=$2; shift 2
fail=0 n=0
want() { # what, then a command that must succeed
	n=$((n + 1))
	"${@:2}" >/dev/null 2>&1 || { fail=$((fail + 1)); echo "FAIL: $1"; }
}
# Does the last word of $words that matches a pattern match another?
last() { printf '%s\n' $words | grep -E "^($1)$" | tail -1 | grep -Eqx -e "$2"; }

for bin in "$@"; do
	name=${bin##*/}
	want "$name: PIE" eval "readelf -h '$bin' | grep -q 'Type:.*DYN'"
	if [ "$link" = static ]; then
		want "$name: static, no program interpreter" eval "! readelf -lW '$bin' | grep -q INTERP"
		want "$name: static, no shared library needed" eval "! readelf -d '$bin' | grep -q NEEDED"
	fi
	want "$name: RELRO" eval "readelf -lW '$bin' | grep -q GNU_RELRO"
	want "$name: full RELRO (BIND_NOW)" eval "readelf -d '$bin' | grep -Eq 'BIND_NOW|FLAGS_1.*NOW'"
	want "$name: stack not executable" eval "readelf -lW '$bin' | awk '\$1 == \"GNU_STACK\" { s = \$7 } END { exit s != \"RW\" }'"

	words=$(readelf -p .GCC.command.line "$bin" 2>/dev/null)
	want "$name: compiler's record of its switches" test -n "$words"
	want "$name: optimised, as fortify needs" last '-O.*' '-O([1-3sgz]|fast)?'
	want "$name: -fstack-protector-strong" last '-f(no-)?stack-protector(-.*)?' '-fstack-protector-strong'
	want "$name: -fstack-clash-protection" last '-f(no-)?stack-clash-protection' '-fstack-clash-protection'
	want "$name: -fcf-protection" last '-f(no-)?cf-protection(=.*)?' '-fcf-protection(=full)?'

	# The program's own object, not the test suite's debug build of it.
	words=$(grep '"command"' "$db" | grep -F "CMakeFiles/$name.dir/")
	want "$name: compile command found" test -n "$words"
	want "$name: -D_FORTIFY_SOURCE=3" last '-D_FORTIFY_SOURCE(=.*)?|-U_FORTIFY_SOURCE' '-D_FORTIFY_SOURCE=3'
done
echo "$((n - fail)) passed, $fail failed"
[ $fail -eq 0 ]
