#!/bin/bash
# Two copies of the source, in folders of different names, built at
# different times under different umasks, with nothing set by hand, give
# packages identical to the byte.
# Arguments: the source folder, then settings for cmake.
set -u
src=$1; shift
. "$(dirname "$0")/check.sh"
unset SOURCE_DATE_EPOCH
gens=DEB\;TGZ
command -v rpmbuild >/dev/null && gens+=\;RPM || echo "rpmbuild not found: no .rpm compared"

copy() { # destination: the tree as it stands, with its git history
	mkdir -p "$1"
	if git -C "$src" rev-parse --git-dir >/dev/null 2>&1; then
		(cd "$src" && { git ls-files -z --cached --others --exclude-standard; printf '.git\0'; } |
			tar --null --ignore-failed-read -T - -cf - 2>/dev/null) | tar -xf - -C "$1"
	else
		(cd "$src" && tar --exclude=./build --exclude='./build-*' -cf - .) | tar -xf - -C "$1"
	fi
}
build() { # umask, folder
	(umask "$1" && copy "$2" &&
		cmake -S "$2" -B "$2/out" -DBUILD_TESTING=OFF "${@:3}" &&
		cmake --build "$2/out" && cd "$2/out" && cpack -G "$gens") >"$tmp/log" 2>&1 ||
		{ cat "$tmp/log"; exit 1; }
}

build 077 "$tmp/one/colonsplit" "$@"
sleep 1
build 002 "$tmp/two/deeper/src" "$@"

for pkg in "$tmp"/one/colonsplit/out/*.{deb,tar.gz,rpm}; do
	[ -e "$pkg" ] && check "${pkg##*/} identical" cmp "$pkg" "$tmp/two/deeper/src/out/${pkg##*/}"
done
[ $n -ge 2 ] || check "packages made" false
summary
