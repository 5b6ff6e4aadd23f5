#!/bin/bash
# The shipping programs carry their hardening: PIE, full RELRO and a
# non-executable stack (read off the binaries), compiled with fortify,
# stack protector, stack clash protection and control-flow protection
# (read off the compile commands; where a flag is given twice, the last
# one counts, as it does for the compiler).
# Arguments: compile_commands.json, then the programs.
set -u
db=$1; shift
fail=0 n=0
want() { # what, then a command that must succeed
	n=$((n + 1))
	"${@:2}" >/dev/null 2>&1 || { fail=$((fail + 1)); echo "FAIL: $1"; }
}
# Does the last word of the command that matches a pattern match another?
last() { printf '%s\n' $cmd | grep -E "^($1)$" | tail -1 | grep -Eqx -e "$2"; }

for bin in "$@"; do
	name=${bin##*/}
	want "$name: PIE" eval "readelf -h '$bin' | grep -q 'Type:.*DYN'"
	want "$name: RELRO" eval "readelf -lW '$bin' | grep -q GNU_RELRO"
	want "$name: full RELRO (BIND_NOW)" eval "readelf -d '$bin' | grep -Eq 'BIND_NOW|FLAGS_1.*NOW'"
	want "$name: stack not executable" eval "readelf -lW '$bin' | awk '\$1 == \"GNU_STACK\" { s = \$7 } END { exit s != \"RW\" }'"

	# The program's own object, not the test suite's debug build of it.
	cmd=$(grep '"command"' "$db" | grep -F "CMakeFiles/$name.dir/")
	want "$name: compile command found" test -n "$cmd"
	want "$name: -D_FORTIFY_SOURCE=3" last '-D_FORTIFY_SOURCE(=.*)?|-U_FORTIFY_SOURCE' '-D_FORTIFY_SOURCE=3'
	want "$name: optimised, as fortify needs" last '-O.*' '-O([1-3sgz]|fast)?'
	want "$name: -fstack-protector-strong" last '-f(no-)?stack-protector(-.*)?' '-fstack-protector-strong'
	want "$name: -fstack-clash-protection" last '-f(no-)?stack-clash-protection' '-fstack-clash-protection'
	want "$name: -fcf-protection" last '-f(no-)?cf-protection(=.*)?' '-fcf-protection(=full)?'
done
echo "$((n - fail)) passed, $fail failed"
[ $fail -eq 0 ]
