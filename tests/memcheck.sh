#!/bin/bash
# Output that cannot be written must not corrupt memory: about 100 KB of
# output to a full device, and ordinary runs, under memcheck.
set -u
command -v valgrind >/dev/null || { echo "valgrind not found: skipped"; exit 77; }
tmp=$(mktemp -d) && trap 'rm -rf "$tmp"' EXIT
fail=0 n=0
long=$(yes 'Some Words/Here' | tr -d '\n' | head -c 102400)

mc() { # wanted status, where the output goes, command...
	local want=$1 out=$2 rc; shift 2
	valgrind -q --error-exitcode=99 --log-file="$tmp/log" "$@" >"$out"
	rc=$?
	n=$((n + 1))
	if [ $rc -ne "$want" ] || [ -s "$tmp/log" ]; then
		fail=$((fail + 1))
		echo "FAIL: ${1##*/} (argument of ${#2} bytes) >$out: status $rc (want $want)"
		head -20 "$tmp/log"
	fi
}

# The argument gives each program about 100 KB to write.
progs=("$1" "$2") args=("$long:" ":$long")
for i in 0 1; do
	prog=${progs[i]} arg=${args[i]}
	mc 0 /dev/null "$prog" "Hello World: Body text"
	mc 0 /dev/null "$prog"
	mc 0 /dev/null "$prog" "$arg"
	mc 1 /dev/full "$prog" "$arg"
	mc 1 /dev/full "$prog" "A: b"
done

echo "$((n - fail)) passed, $fail failed"
[ $fail -eq 0 ]
