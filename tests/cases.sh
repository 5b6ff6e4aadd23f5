#!/bin/bash
# Each case: program, argument, the exact bytes expected on standard output.
# Every case must also leave standard error empty and exit 0, and give the
# same bytes with a second argument; and colonsplit, given the argument as
# a record (-z), must give them too, then the NUL. Run "locale", the
# headslug cases run instead under a locale whose case mapping differs
# from the POSIX one, and colonsplit's head too.
# Arguments: plain or locale, headslug, tailecho, colonsplit, then a
# wrapper that runs them (an emulator, say), if any.
set -u
mode=$1 headslug=$2 tailecho=$3 colonsplit=$4; shift 4
run=("$@")
tmp=$(mktemp -d) && trap 'rm -rf "$tmp"' EXIT
fail=0 n=0

# In tr_TR.ISO-8859-9, tolower('I') is 0xFD: a program that took the
# environment's locale would show it.
if [ "$mode" = locale ]; then
	localedef -i tr_TR -f ISO-8859-9 "$tmp/tr_TR.ISO-8859-9" || exit 1
	locale=(env LOCPATH="$tmp" LC_ALL=tr_TR.ISO-8859-9)
	[ "$(printf I | "${locale[@]}" tr '[:upper:]' '[:lower:]' | od -An -tx1)" = ' fd' ] ||
		{ echo "the tr_TR locale does not fold I to 0xFD"; exit 1; }
fi

check() { # name, expected file, command...
	local name=$1 exp=$2; shift 2
	"$@" >"$tmp/out" 2>"$tmp/err"
	local rc=$?
	n=$((n + 1))
	if [ $rc -ne 0 ] || [ -s "$tmp/err" ] || ! cmp -s "$tmp/out" "$exp"; then
		fail=$((fail + 1))
		echo "FAIL: $name: status $rc"
		printf '  want: '; od -An -c "$exp" | head -3
		printf '  got:  '; od -An -c "$tmp/out" | head -3
		[ -s "$tmp/err" ] && { printf '  stderr: '; head -3 "$tmp/err"; }
	fi
}

t() { # program, argument, expected output
	local bin split; bin=$([ "$1" = headslug ] && echo "$headslug" || echo "$tailecho")
	split=$([ "$1" = headslug ] && echo head || echo tail)
	printf '%s' "$3" >"$tmp/exp"
	printf '%s\0' "$3" >"$tmp/exp0"
	printf '%s\0' "$2" >"$tmp/in"
	local name; name="$1 $(printf '%q' "$2")"
	if [ "$mode" = plain ]; then
		check "$name" "$tmp/exp" "${run[@]}" "$bin" "$2"
		check "$name (second argument)" "$tmp/exp" "${run[@]}" "$bin" "$2" 'Other: ARG I'
		check "colonsplit -z $split, $name" "$tmp/exp0" "${run[@]}" "$colonsplit" -z "$split" "$tmp/in"
	elif [ "$1" = headslug ]; then
		check "$name (tr_TR locale)" "$tmp/exp" "${locale[@]}" "${run[@]}" "$bin" "$2"
		check "colonsplit -z $split, $name (tr_TR locale)" "$tmp/exp0" "${locale[@]}" "${run[@]}" "$colonsplit" -z "$split" "$tmp/in"
	fi
}

# The slug: space and slash to dash, A-Z folded, all else as it stands.
t headslug 'Hello World: Body text' 'hello-world'
t headslug 'Dev/Test Build:x' 'dev-test-build'
t headslug 'No Colon Here' 'no-colon-here'
t headslug 'Ends In Space :rest' 'ends-in-space-'
t headslug ' Lead' '-lead'
t headslug 'a  b' 'a--b'
t headslug 'x - y' 'x---y'
t headslug '//' '--'
t headslug 'a:b:c' 'a'
t headslug ':x' ''
t headslug ':' ''
t headslug '' ''
t headslug 'MiXeD_Case.2' 'mixed_case.2'
t headslug 'ABCDEFGHIJKLMNOPQRSTUVWXYZ' 'abcdefghijklmnopqrstuvwxyz'
t headslug 'IJ I:I' 'ij-i'
t headslug $'tab\there\\back' $'tab\there\\back'
t headslug $'new\nline\r:' $'new\nline\r'
t headslug '@[`{~!#$%&*()+,;<=>?"'"'"']_-.' '@[`{~!#$%&*()+,;<=>?"'"'"']_-.'
t headslug $'\x01\x7f' $'\x01\x7f'
t headslug 'Ça Été Ünïcode: x' 'Ça-Été-Ünïcode'
t headslug $'\x80\xC9\xDD\xFD\xFF A' $'\x80\xC9\xDD\xFD\xFF-a'
t headslug '-n' '-n'
t headslug '--help' '--help'

# The tail: written as it stands after the first colon, but a colon that
# starts a step is dropped and the byte after it written untested.
t tailecho 'Title: body text' ' body text'
t tailecho 'Title:body' 'body'
t tailecho 'Title:  body  ' '  body  '
t tailecho 'no colon' ''
t tailecho '' ''
t tailecho ':x' 'x'
t tailecho 'Time: 9:45' ' 945'
t tailecho 'a:b:c' 'bc'
t tailecho 'key: x::y' ' x:y'
t tailecho 'x:: y' ': y'
t tailecho 'a:' ''
t tailecho ':' ''
t tailecho 'a::' ':'
t tailecho 'a:::' ':'
t tailecho 'a::::' '::'
t tailecho 'a::b' ':b'
t tailecho 'a:::b' ':b'
t tailecho 'a::::b' '::b'
t tailecho 'a:::::b' '::b'
t tailecho ':::::::' ':::'
t tailecho 'K: UPPER/Mixed Case' ' UPPER/Mixed Case'
t tailecho $'k:\ttab\nline\r\n' $'\ttab\nline\r\n'
t tailecho $'k:\x80\xC9\xFF\x01' $'\x80\xC9\xFF\x01'
t tailecho 'Ünï: çödé' ' çödé'
t tailecho '-n: -e' ' -e'

# The longest single argument Linux passes: 131,071 bytes.
max=131071
long=$(yes 'Ab Cd/Ef' | tr -d '\n' | head -c $max)
t headslug "$long" "$(printf '%s' "$long" | tr 'A-Z /' 'a-z--')"
t headslug "${long:0:$((max - 6))}: tail" "$(printf '%s' "${long:0:$((max - 6))}" | tr 'A-Z /' 'a-z--')"
t tailecho ":${long:1}" "${long:1}"
colons=$(head -c $max /dev/zero | tr '\0' :)
t tailecho "$colons" "${colons:0:$((max / 2))}"

echo "$((n - fail)) passed, $fail failed"
[ $fail -eq 0 ]
