#!/bin/bash
# The manual pages: with "sections", they carry the sections a reader
# looks for, and no version of their own to fall behind (a bare .Os); with
# "groff" or "mandoc", that linter finds nothing to say of them.
# Arguments: sections, groff or mandoc; then the pages.
set -u
mode=$1; shift
fail=0 n=0
for page in "$@"; do
	n=$((n + 1))
	case $mode in
	sections)
		msg=
		for sh in NAME SYNOPSIS DESCRIPTION 'EXIT STATUS' EXAMPLES 'SEE ALSO'; do
			grep -qx "\.Sh $sh" "$page" || msg+="no section $sh"$'\n'
		done
		grep -qx '\.Os' "$page" || msg+="no bare .Os"$'\n'
		;;
	groff) msg=$(groff -t -mandoc -ww -z "$page" 2>&1) ;;
	# Style notes about other pages missing from this machine's database
	# are not the page's own.
	mandoc) msg=$(mandoc -T lint -W warning "$page" 2>&1) ;;
	esac
	if [ -n "$msg" ]; then
		fail=$((fail + 1))
		printf 'FAIL: %s\n%s\n' "$page" "$msg"
	fi
done
echo "$((n - fail)) passed, $fail failed"
[ $fail -eq 0 ]
