#!/bin/bash
# What an install and the packages lay down, and that it works there.
# Arguments: the build folder, the source folder.
set -u
build=$1 src=$2
tmp=$(mktemp -d) && trap 'rm -rf "$tmp"' EXIT
fail=0 n=0
check() { # name, then a command that must succeed
	local name=$1; shift
	n=$((n + 1))
	"$@" >"$tmp/why" 2>&1 || { fail=$((fail + 1)); echo "FAIL: $name"; head -20 "$tmp/why"; }
}
same() { diff <(printf '%s\n' "${@:2}" | sort) <(cd "$1" && find . -type f | sort); }
works() { # root of an installed tree
	[ "$("$1/headslug" 'A B/C: d')" = a-b-c ] && [ "$("$1/tailecho" 'A B: c')" = ' c' ]
}
# gzip -9n: no name, no time stamp, best compression.
gz9n() { for f; do [ "$(od -An -tx1 -j3 -N6 "$f" | tr -d ' ')" = 000000000002 ] || return 1; done; }
stripped() { for f; do readelf -S "$f" | grep -q '\.symtab' && return 1; done; return 0; }

cmake --install "$build" --prefix "$tmp/p" >/dev/null
check "cmake --install lays down the files" same "$tmp/p" \
	./bin/headslug ./bin/tailecho ./share/doc/colonsplit/LICENSE ./share/doc/colonsplit/README.md \
	./share/man/man1/headslug.1 ./share/man/man1/tailecho.1
check "installed programs work" works "$tmp/p/bin"

if ! command -v dpkg-deb >/dev/null; then
	echo "dpkg-deb not found: packages left out"
else
	(cd "$build" && cpack -G 'DEB;TGZ' -B "$tmp/pkg" >"$tmp/cpack.log" 2>&1) || { cat "$tmp/cpack.log"; exit 1; }
	deb=$(echo "$tmp"/pkg/colonsplit_*.deb)
	tgz=$(echo "$tmp"/pkg/colonsplit-*.tar.gz)
	field() { dpkg-deb -f "$deb" "$1"; }
	check "package name" test "$(field Package)" = colonsplit
	check "package version from the project" test "$(field Version)" = \
		"$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
	check "package section" test "$(field Section)" = utils
	check "package architecture" test "$(field Architecture)" = "$(dpkg --print-architecture)"
	check "package maintainer" test -n "$(field Maintainer)"
	check "package description" test "$(field Description | wc -l)" -gt 1
	dpkg-deb -x "$deb" "$tmp/deb"
	mkdir "$tmp/tgz" && tar -xzf "$tgz" -C "$tmp/tgz" --strip-components=1
	files=(./share/doc/colonsplit/README.md ./share/doc/colonsplit/copyright ./share/doc/colonsplit/changelog.gz
		./share/man/man1/headslug.1.gz ./share/man/man1/tailecho.1.gz)
	check ".deb contents" same "$tmp/deb" ./usr/bin/headslug ./usr/bin/tailecho "${files[@]/./.\/usr}"
	check ".tar.gz contents" same "$tmp/tgz" ./bin/headslug ./bin/tailecho "${files[@]}"
	check ".deb programs work" works "$tmp/deb/usr/bin"
	check ".tar.gz programs work" works "$tmp/tgz/bin"
	check ".deb programs stripped" stripped "$tmp"/deb/usr/bin/*
	check ".deb man pages gzip -9n" gz9n "$tmp"/deb/usr/share/man/man1/*.gz
	check ".deb copyright is the licence" cmp "$tmp/deb/usr/share/doc/colonsplit/copyright" "$src/LICENSE"
fi
echo "$((n - fail)) passed, $fail failed"
[ $fail -eq 0 ]
