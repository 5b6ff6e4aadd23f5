#!/bin/bash
# What an install and the packages lay down, and that it works there.
# Arguments: the build folder, the source folder, the target processor
# (as uname -m names it), then a wrapper that runs the target's programs.
set -u
build=$1 src=$2 cpu=$3; shift 3
run=("$@")
. "$(dirname "$0")/check.sh"
same() { diff <(printf '%s\n' "${@:2}" | sort) <(cd "$1" && find . -type f | sort); }
# gzip -9n: no name, no time stamp, best compression.
gz9n() { for f; do [ "$(od -An -tx1 -j3 -N6 "$f" | tr -d ' ')" = 000000000002 ] || return 1; done; }
# Stripped, and without the static libraries' compiler versions.
lean() { for f; do readelf -S "$f" | grep -Eq '\.symtab|\.comment' && return 1; done; return 0; }
modes() { # a listing as tar tv gives it: directories and programs 0755, the rest 0644
	awk '{ ok = $1 ~ /^d/ ? $1 == "drwxr-xr-x" : $NF ~ /\/bin\// ? $1 == "-rwxr-xr-x" : $1 == "-rw-r--r--"
		if (!ok) { print; bad = 1 } } END { exit bad }'
}

cmake --install "$build" --prefix "$tmp/p" >/dev/null
check "cmake --install lays down the files" same "$tmp/p" \
	./bin/headslug ./bin/tailecho ./share/doc/colonsplit/LICENSE ./share/doc/colonsplit/README.md \
	./share/man/man1/headslug.1 ./share/man/man1/tailecho.1
check "installed programs work" works "$tmp/p/bin"

gens=TGZ
command -v dpkg-deb >/dev/null && gens+=\;DEB || echo "dpkg-deb not found: no .deb checked"
command -v rpmbuild >/dev/null && gens+=\;RPM || echo "rpmbuild not found: no .rpm checked"
(umask 077 && cd "$build" && cpack -G "$gens" -B "$tmp/pkg" >"$tmp/cpack.log" 2>&1) || { cat "$tmp/cpack.log"; exit 1; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
pages=(./share/man/man1/headslug.1 ./share/man/man1/tailecho.1)
usr=("${pages[@]/#./.\/usr}") && usr=("${usr[@]/%/.gz}")

tgz=$tmp/pkg/colonsplit-$version-Linux-$cpu.tar.gz
check ".tar.gz named with the architecture" test -f "$tgz"
mkdir "$tmp/tgz" && tar -xzf "$tgz" -C "$tmp/tgz" --strip-components=1
check ".tar.gz: a plain tree" same "$tmp/tgz" ./LICENSE ./README.md ./COPYRIGHT ./bin/headslug ./bin/tailecho "${pages[@]}"
check ".tar.gz: the notice" cmp "$tmp/tgz/COPYRIGHT" "$src/package/copyright"
check ".tar.gz: modes, whatever the umask" eval "tar -tvzf '$tgz' | modes"
check ".tar.gz: programs work" works "$tmp/tgz/bin"

if [[ $gens == *DEB* ]]; then
	case $cpu in x86_64) arch=amd64 ;; aarch64) arch=arm64 ;; *) arch=$(dpkg --print-architecture) ;; esac
	deb=$tmp/pkg/colonsplit_${version}_$arch.deb
	field() { dpkg-deb -f "$deb" "$1"; }
	check ".deb named with the architecture" test -f "$deb"
	check ".deb: package name" test "$(field Package)" = colonsplit
	check ".deb: version from the project" test "$(field Version)" = "$version"
	check ".deb: section" test "$(field Section)" = utils
	check ".deb: architecture" test "$(field Architecture)" = "$arch"
	check ".deb: description" test "$(field Description | wc -l)" -gt 1
	dpkg-deb -x "$deb" "$tmp/deb"
	doc=./usr/share/doc/colonsplit
	# lintian's override is for static programs only.
	override=()
	readelf -lW "$tmp/deb/usr/bin/headslug" | grep -q INTERP || override=(./usr/share/lintian/overrides/colonsplit)
	check ".deb contents" same "$tmp/deb" ./usr/bin/headslug ./usr/bin/tailecho \
		$doc/README.md $doc/copyright $doc/changelog.gz "${override[@]}" "${usr[@]}"
	check ".deb: programs work" works "$tmp/deb/usr/bin"
	check ".deb: programs lean" lean "$tmp"/deb/usr/bin/*
	check ".deb: modes, whatever the umask" eval "dpkg-deb -c '$deb' | modes"
	check ".deb: member modes, whatever the umask" test "$(ar tv "$deb" | cut -c1-9 | sort -u)" = rw-r--r--
	check ".deb: man pages gzip -9n" gz9n "$tmp"/deb/usr/share/man/man1/*.gz "$tmp/deb/$doc/changelog.gz"
	check ".deb: copyright is the notice" cmp "$tmp/deb/$doc/copyright" "$src/package/copyright"
fi

if [[ $gens == *RPM* ]]; then
	rpm=$tmp/pkg/colonsplit-$version-1.$cpu.rpm
	query() { rpm -qp --qf "$1" "$rpm" 2>/dev/null; }
	check ".rpm named with release and architecture" test -f "$rpm"
	check ".rpm: licence" test "$(query '%{LICENSE}')" = MIT
	check ".rpm: summary and group" test -n "$(query '%{SUMMARY}')" -a "$(query '%{GROUP}')" != Unspecified
	lic=/usr/share/licenses/colonsplit
	check ".rpm: licences marked as such" test "$(query '[%{FILEFLAGS:fflags} %{FILENAMES}\n]' | grep "^l " | sort)" = \
		"l $lic/COPYRIGHT"$'\n'"l $lic/LICENSE"
	mkdir "$tmp/rpm" && (cd "$tmp/rpm" && rpm2cpio "$rpm" | cpio -idm --quiet)
	check ".rpm contents" same "$tmp/rpm" ./usr/bin/headslug ./usr/bin/tailecho \
		./usr/share/doc/colonsplit/README.md .$lic/LICENSE .$lic/COPYRIGHT "${usr[@]}"
	check ".rpm: the notice" cmp "$tmp/rpm/$lic/COPYRIGHT" "$src/package/copyright"
	check ".rpm: programs work" works "$tmp/rpm/usr/bin"
fi
summary
