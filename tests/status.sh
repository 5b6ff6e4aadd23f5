#!/bin/bash
# Exit status and silence where the output cannot go, and where the
# process has nothing or little to start with.
set -u
tmp=$(mktemp -d) && trap 'rm -rf "$tmp"' EXIT
fail=0 n=0
long=$(yes 'Some Words/Here' | tr -d '\n' | head -c 131071)
arg() { [ "$1" = headslug ] && printf '%s' "$long" || printf ':%s' "${long:1}"; }

check() { # name, wanted status (a list: "141 1"), got status, output wanted
	n=$((n + 1))
	local ok=0 s
	for s in $2; do [ "$3" -eq "$s" ] && ok=1; done
	[ -s "$tmp/err" ] && ok=0
	[ -n "$4" ] && ! cmp -s "$tmp/out" "$4" && ok=0
	if [ $ok -eq 0 ]; then
		fail=$((fail + 1))
		echo "FAIL: $1: status $3 (want $2)"
		head -c 300 "$tmp/err"
	fi
}

for prog in "$@"; do
	name=${prog##*/}
	: >"$tmp/empty"

	"$prog" >"$tmp/out" 2>"$tmp/err"
	check "$name, no argument" 0 $? "$tmp/empty"

	# A failed write must not pass for success, short or long.
	"$prog" 'Ab: c' >/dev/full 2>"$tmp/err"
	check "$name, short output to /dev/full" 1 $? ''
	"$prog" "$(arg "$name")" >/dev/full 2>"$tmp/err"
	check "$name, long output to /dev/full" 1 $? ''
	"$prog" 'Ab: c' >&- 2>"$tmp/err"
	check "$name, closed standard output" 1 $? ''
	# A reader that leaves early ends the writer by SIGPIPE, or by status
	# 1 where the caller ignores SIGPIPE; never by success, never a hang.
	"$prog" "$(arg "$name")" 2>"$tmp/err" | head -c 1 >/dev/null
	check "$name, reader leaves early" '141 1' "${PIPESTATUS[0]}" ''

	# Nothing but the argument is read.
	"$prog" 'Ab Cd: e' >"$tmp/want" 2>"$tmp/err"
	env -i "$prog" 'Ab Cd: e' >"$tmp/out" 2>"$tmp/err"
	check "$name, empty environment" 0 $? "$tmp/want"
	"$prog" 'Ab Cd: e' <&- >"$tmp/out" 2>"$tmp/err"
	check "$name, closed standard input" 0 $? "$tmp/want"
done

echo "$((n - fail)) passed, $fail failed"
[ $fail -eq 0 ]
