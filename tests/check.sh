# shellcheck shell=bash
# Sourced by the test scripts: a folder of their own, in tmp, and checks
# counted; summary says how many passed and fails if any did not.
tmp=$(mktemp -d) && trap 'rm -rf "$tmp"' EXIT
fail=0 n=0
check() { # name, then a command that must succeed; what it said shows if not
	local name=$1; shift
	n=$((n + 1))
	"$@" >"$tmp/why" 2>&1 || { fail=$((fail + 1)); echo "FAIL: $name"; head -20 "$tmp/why"; }
}
works() { # folder of the programs, then what runs them (an emulator), if anything
	local dir=$1; shift
	[ "$("$@" "$dir/headslug" 'A B/C: d')" = a-b-c ] && [ "$("$@" "$dir/tailecho" 'A B: c')" = ' c' ] &&
		[ "$(printf 'A B/C: d\nE: f' | "$@" "$dir/colonsplit" tail)" = $' d\n f' ]
}
covered() { # Depends, then the programs: it asks for a C library as new as every version
	# they need, and they need none that has no symbol (GLIBC_ABI_DT_RELR),
	# which dpkg-shlibdeps cannot see
	local depends=$1 versions least
	shift
	versions=$(readelf -VW "$@" | sed -n 's/.*Name: GLIBC_\([^ ]*\).*/\1/p' | sort -uV)
	least=$(sed -n 's/.*libc6 (>= \([^)]*\)).*/\1/p' <<<"$depends")
	[ -n "$versions" ] && [ -z "$(grep -v '^[0-9]' <<<"$versions")" ] &&
		dpkg --compare-versions "$least" ge "$(tail -1 <<<"$versions")" ||
		{ echo "Depends: $depends; the programs need GLIBC_ $(paste -sd' ' <<<"$versions")"; return 1; }
}
same() { # a folder holds these files and no others
	diff <(printf '%s\n' "${@:2}" | sort) <(cd "$1" && find . -type f | sort)
}
sources() { # source folder, destination: the tree as it stands, with its git history
	mkdir -p "$2"
	if git -C "$1" rev-parse --git-dir >/dev/null 2>&1; then
		(cd "$1" && { git ls-files -z --cached --others --exclude-standard; printf '.git\0'; } |
			tar --null --ignore-failed-read -T - -cf - 2>/dev/null) | tar -xf - -C "$2"
	else
		(cd "$1" && tar --exclude=./build --exclude='./build-*' -cf - .) | tar -xf - -C "$2"
	fi
}
summary() {
	echo "$((n - fail)) passed, $fail failed"
	[ $fail -eq 0 ]
}
