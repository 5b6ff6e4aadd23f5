#!/bin/bash
# The start-up layout holds: the functions that cmake/startup.order lists,
# which a call's start-up runs, lie together in each program's text, read
# off its symbols. Scattered, as a linker leaves them by itself, they span
# most of the text, and a call faults in many more pages.
# Arguments: the ordering file, then the programs.
set -u
order=$1; shift
# shellcheck source-path=SCRIPTDIR source=check.sh
. "$(dirname "$0")/check.sh"
limit=300 # KiB
span() { # program: how many of the listed functions it holds, and their span in KiB
	nm -S --radix=d --defined-only "$1" | awk 'NR == FNR { if (!/^#/) want[$1]; next }
		NF == 4 && $3 ~ /^[tTiW]$/ && $4 in want { a = $1 + 0; e = a + $2
			if (!n++ || a < lo) lo = a
			if (e > hi) hi = e }
		END { print n + 0, int((hi - lo) / 1024) }' "$order" -
}
for prog in "$@"; do
	read -r found kib < <(span "$prog")
	echo "${prog##*/}: $found functions of the layout, within $kib KiB"
	check "${prog##*/}: the layout's functions are there" test "$found" -ge 100
	check "${prog##*/}: they lie within $limit KiB" test "$kib" -le $limit
done
summary
