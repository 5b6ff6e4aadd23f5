#!/bin/bash
# colonsplit as a filter: records across files and the standard input,
# a last record without its terminator, -z, its options, and the status
# and message of each failure. Each case: the exact bytes expected on
# standard output, the status, and what standard error says (empty, or a
# pattern it must match).
# Arguments: colonsplit, the version it must report, then a wrapper that
# runs it (an emulator, say), if any.
set -u
colonsplit=$1 version=$2; shift 2
run=("$@")
# shellcheck source-path=SCRIPTDIR source=check.sh
. "$(dirname "$0")/check.sh"
cd "$tmp" || exit 1

is() { # expected status, stdout, stderr pattern ('' for none), stdin, then the arguments
	# (to: where the output goes, "closed" or a file; by default one to compare)
	local status=$1 out=$2 err=$3 in=$4 rc; shift 4
	case ${to:-out} in
	closed) printf '%s' "$in" | "${run[@]}" "$colonsplit" "$@" 2>err >&- ;;
	*) printf '%s' "$in" | "${run[@]}" "$colonsplit" "$@" 2>err >"${to:-out}" ;;
	esac
	rc=$?
	if [ -z "${to:-}" ]; then
		printf '%s' "$out" | cmp -s - out || { echo "stdout: $(od -An -c out | head -3)"; return 1; }
	fi
	[ "$rc" = "$status" ] || { echo "status $rc, not $status"; return 1; }
	if [ -z "$err" ]; then
		[ ! -s err ] || { echo "stderr: $(head -3 err)"; return 1; }
	else
		grep -Eq "$err" err || { echo "stderr: $(head -3 err)"; return 1; }
	fi
}
appended() { # the name said, what f holds after, then the arguments; standard input and output are f
	# (Output appended to an input would be read again, without end.)
	local name=$1 after=$2 rc
	shift 2
	printf 'F:f\n' >f
	timeout 10 "${run[@]}" "$colonsplit" "$@" <f >>f 2>err
	rc=$?
	[ "$rc" = 1 ] || { echo "status $rc"; return 1; }
	grep -qx "colonsplit: $name: input file is output file" err || { echo "stderr: $(head -3 err)"; return 1; }
	[ "$(cat f)" = "$after" ] || { echo "f: $(od -An -c f | head -3)"; return 1; }
}
helps() { # the help, to standard output, and status 0
	"${run[@]}" "$colonsplit" --help >out 2>err && [ ! -s err ] &&
		grep -qx 'usage: colonsplit \[-z\] head|tail \[FILE...\]' out && grep -q -- '-z, --zero' out
}

printf 'A:1\nB' >a        # its last record without a newline
printf 'C:2\n' >c
: >empty
printf 'dash: file\n' >-z  # named as an option
mkdir dir

check "head of each line" is 0 $'hello-world\ntitle\n' '' $'Hello World: Body text\nTitle: body\n' head
check "tail of each line" is 0 $' Body text\n body\n' '' $'Hello World: Body text\nTitle: body\n' tail
check "the last line without its newline gives one without" is 0 $'a\nc' '' $'a:b\nC:d' head
check "no input, no output" is 0 '' '' '' tail
check "an empty line" is 0 $'\n\n' '' $'\n\n' head
check "a carriage return is a byte like any" is 0 $' b\r\n' '' $'A: b\r\n' tail
check "a newline right after a dropped colon ends the record" is 0 $'\n:\n:\n' '' $'a:\na::\na:::\n' tail
check "a newline right after the head's colon" is 0 $'a\n\n' '' $'a:\n:\n' head
check "files in order; one without a final newline gets it where more follows" is 0 $'a\nb\nc\n' '' '' head a c
check "empty files after it do not" is 0 $'a\nb' '' '' head a empty empty
check "nor do empty files before" is 0 $'2\n' '' '' tail empty empty c
check "- is the standard input, among files" is 0 $'1\n\n3\n2\n' '' 'D:3' tail a - c
check "-- ends the options" is 0 $'dash\n' '' '' head -- -z
check "options after the mode" is 0 $'d\0' '' $'D:e\0' head -z
check "-z: NUL-terminated records, newlines inside" is 0 $'a\nb\0d\0' '' $'A\nB:c\0d:e\0' -z head
check "--zero: as -z" is 0 $'c\ne\0\0' '' $'A\nB:c\ne\0x:\0' --zero tail
check "--version" is 0 "colonsplit $version"$'\n' '' '' --version
check "--help" helps

check "no mode: usage, status 2" is 2 '' '^colonsplit: no mode: head or tail$' '' 
check "an unknown mode" is 2 '' "^colonsplit: unknown mode 'heads'" 'a:b' heads
check "an unknown option" is 2 '' "^colonsplit: unknown option '--frob'" 'a:b' --frob head
check "an unknown short option" is 2 '' "^colonsplit: unknown option '-q'" 'a:b' -q head
check "a value to an option that takes none, named as given" is 2 '' "^colonsplit: option '--zero' doesn't allow an argument$" '' --zero=x head
check "a value to --help" is 2 '' "^colonsplit: option '--help' doesn't allow an argument$" '' --help=x
check "usage after each error" is 2 '' '^usage: colonsplit' '' -q head
check "a file that cannot be read is named, the rest still read, status 1" \
	is 1 $'a\nb\nc\n' '^colonsplit: nothing: No such file or directory$' '' head a nothing c
check "a folder is no file" is 1 '' '^colonsplit: dir: Is a directory$' '' head dir
to=/dev/full check "a full device: said, status 1" is 1 '' '^colonsplit: write error: No space left on device$' 'a:b' head
to=closed check "a closed output: said, status 1" is 1 '' '^colonsplit: write error: Bad file descriptor$' 'a:b' head
to=/dev/full check "--help to a full device: said, status 1" is 1 '' '^colonsplit: write error: No space left on device$' '' --help
to=closed check "--version to a closed output: said, status 1" is 1 '' '^colonsplit: write error: Bad file descriptor$' '' --version
check "an input that is the output: said, status 1, the rest still read" appended f $'F:f\na\nb\nc' head a f c
check "the standard input that is the output" appended 'standard input' 'F:f' tail
summary
