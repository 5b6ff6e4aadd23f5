#!/bin/bash
# The manual pages lint clean, carry the sections a reader looks for, and
# name the project's version.
# Arguments: the version, then the pages.
set -u
version=$1; shift
command -v groff >/dev/null || { echo "groff not found: skipped"; exit 77; }
fail=0 n=0
for page in "$@"; do
	n=$((n + 1))
	msg=$(groff -t -mandoc -ww -z "$page" 2>&1)
	# Style notes about other pages missing from this machine's
	# database are not the page's own.
	command -v mandoc >/dev/null && msg+=$(mandoc -T lint -W warning "$page" 2>&1)
	for sh in NAME SYNOPSIS DESCRIPTION 'EXIT STATUS' EXAMPLES 'SEE ALSO'; do
		grep -qx "\.Sh $sh" "$page" || msg+="no section $sh"$'\n'
	done
	grep -qx "\.Os colonsplit $version" "$page" || msg+="no .Os colonsplit $version"$'\n'
	if [ -n "$msg" ]; then
		fail=$((fail + 1))
		printf 'FAIL: %s\n%s\n' "$page" "$msg"
	fi
done
echo "$((n - fail)) passed, $fail failed"
[ $fail -eq 0 ]
