#!/bin/bash
# What an install and the packages lay down, that it works there, and
# that the packages say truly what is inside them.
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
lean() {
	[ $# -gt 0 ] || return 1
	for f; do
		sections=$(readelf -SW "$f") || return 1
		grep -Eq '\.symtab|\.comment' <<<"$sections" && return 1
	done
	return 0
}
modes() { # a listing as tar tv gives it: directories and programs 0755, the rest 0644
	awk '{ ok = $1 ~ /^d/ ? $1 == "drwxr-xr-x" : $NF ~ /\/bin\// ? $1 == "-rwxr-xr-x" : $1 == "-rw-r--r--"
		if (!ok) { print; bad = 1 } } END { exit bad || NR == 0 }'
}
# The target's architecture as Debian and rpm name it.
case $cpu in
x86_64) arch=amd64 rpmarch=x86_64 ;;
aarch64) arch=arm64 rpmarch=aarch64 ;;
armv7l) arch=armhf rpmarch=armv7hl ;;
i686) arch=i386 rpmarch=i686 ;;
riscv64) arch=riscv64 rpmarch=riscv64 ;;
ppc64le) arch=ppc64el rpmarch=ppc64le ;;
s390x) arch=s390x rpmarch=s390x ;;
*) arch=$(dpkg --print-architecture 2>/dev/null) rpmarch=$cpu ;;
esac
# Linked static, the programs carry the C library: the one the compiler
# links, from the package that holds it, if the package database says.
static=false
readelf -lW "$build/headslug" | grep -q INTERP || static=true
libc=() libcsrc=()
if $static && command -v dpkg-query >/dev/null; then
	cxx=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$build/CMakeCache.txt")
	owner=$(dpkg -S "$(realpath "$("$cxx" -print-file-name=libc.a)")" 2>/dev/null | sed 's/:.*//')
	[ -n "$owner" ] && read -r -a libc < <(dpkg-query -W -f='${Version} ${source:Package} ${source:Version}' "$owner")
fi
[ ${#libc[@]} -eq 3 ] || echo "no package holds the C library: its version not checked"
# Each SBOM: valid CycloneDX where the CycloneDX library is installed,
# with the hashes of the programs beside it, and the C library's version.
export NODE_PATH=${NODE_PATH:-$(npm root -g 2>/dev/null)}
schema=--no-schema
if ! command -v node >/dev/null; then
	echo "node not found: no SBOM checked"
elif node -e "require('@cyclonedx/cyclonedx-library')" 2>/dev/null; then
	schema=
else
	echo "no @cyclonedx/cyclonedx-library (npm install -g): SBOMs not checked against the schema"
fi
sbom() { # the SBOM, the folder of the programs it speaks of
	node "$(dirname "$0")/sbom.js" $schema "$1" >"$tmp/said" || return 1
	for prog in headslug tailecho; do
		grep -qx "$prog $(sha256sum <"$2/$prog" | cut -d' ' -f1)" "$tmp/said" || return 1
	done
	[ ${#libc[@]} -ne 3 ] || grep -qx "glibc ${libc[0]}" "$tmp/said"
}

cmake --install "$build" --prefix "$tmp/p" >/dev/null
notice=()
$static && notice=(./share/doc/colonsplit/COPYRIGHT)
check "cmake --install lays down the files" same "$tmp/p" \
	./bin/headslug ./bin/tailecho ./share/doc/colonsplit/LICENSE ./share/doc/colonsplit/README.md \
	"${notice[@]}" ./share/man/man1/headslug.1 ./share/man/man1/tailecho.1
$static && check "cmake --install: the notice of the libraries inside" cmp "$tmp/p/${notice[0]}" "$src/package/copyright"
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
check ".tar.gz: a plain tree" same "$tmp/tgz" ./LICENSE ./README.md ./COPYRIGHT ./colonsplit.cdx.json \
	./bin/headslug ./bin/tailecho "${pages[@]}"
check ".tar.gz: the notice" cmp "$tmp/tgz/COPYRIGHT" "$src/package/copyright"
check ".tar.gz: modes, whatever the umask" eval "tar -tvzf '$tgz' | modes"
check ".tar.gz: programs work" works "$tmp/tgz/bin"
command -v node >/dev/null && check ".tar.gz: SBOM" sbom "$tmp/tgz/colonsplit.cdx.json" "$tmp/tgz/bin"

if [[ $gens == *DEB* ]]; then
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
		$doc/README.md $doc/copyright $doc/changelog.gz $doc/colonsplit.cdx.json "${override[@]}" "${usr[@]}"
	check ".deb: programs work" works "$tmp/deb/usr/bin"
	check ".deb: programs lean" lean "$tmp"/deb/usr/bin/*
	check ".deb: modes, whatever the umask" eval "dpkg-deb -c '$deb' | modes"
	check ".deb: member modes, whatever the umask" test "$(ar tv "$deb" | cut -c1-9 | sort -u)" = rw-r--r--
	check ".deb: man pages gzip -9n" gz9n "$tmp"/deb/usr/share/man/man1/*.gz "$tmp/deb/$doc/changelog.gz"
	check ".deb: copyright is the notice" cmp "$tmp/deb/$doc/copyright" "$src/package/copyright"
	command -v node >/dev/null && check ".deb: SBOM" sbom "$tmp/deb/$doc/colonsplit.cdx.json" "$tmp/deb/usr/bin"
	if $static; then
		check ".deb: no Depends" test -z "$(field Depends)"
		[ ${#libc[@]} -eq 3 ] && check ".deb: Built-Using names the C library's source" \
			eval "field Built-Using | grep -Fq '${libc[1]} (= ${libc[2]})'"
	else
		depends=$(field Depends)
		check ".deb: Depends on the target's own packages" eval "! grep -Eq ':|-cross' <<<'$depends'"
		check ".deb: Depends on libc6 and libstdc++6, with versions" \
			eval "grep -Eq 'libc6 \(>= [0-9.]+\)' <<<'$depends' && grep -Eq 'libstdc\+\+6 \(>= [0-9.]+\)' <<<'$depends'"
		if readelf -VW "$tmp/deb/usr/bin/headslug" | grep -q GLIBC_ABI_DT_RELR; then
			least=$(sed -n 's/.*libc6 (>= \([^)]*\)).*/\1/p' <<<"$depends")
			check ".deb: packed relocations need libc6 2.36" dpkg --compare-versions "$least" ge 2.36
		fi
	fi
fi

if [[ $gens == *RPM* ]]; then
	rpm=$tmp/pkg/colonsplit-$version-1.$rpmarch.rpm
	query() { rpm -qp --qf "$1" "$rpm" 2>/dev/null; }
	check ".rpm named with release and architecture" test -f "$rpm"
	check ".rpm: architecture" test "$(query '%{ARCH}')" = "$rpmarch"
	if $static; then
		check ".rpm: licence of what is inside" eval "query '%{LICENSE}' | grep -q '^MIT AND LGPL-2.1-or-later AND .*GCC-exception-3.1'"
		[ ${#libc[@]} -eq 3 ] && check ".rpm: provides bundled(glibc)" \
			eval "rpm -qp --provides '$rpm' 2>/dev/null | grep -qx 'bundled(glibc) = ${libc[0]%-*}'"
	else
		check ".rpm: licence" test "$(query '%{LICENSE}')" = MIT
	fi
	check ".rpm: our own changelog" eval "rpm -qp --changelog '$rpm' 2>/dev/null | head -1 |
		grep -Eq '^\* .* colonsplit developers <.*> - $version-1\$'"
	check ".rpm: summary and group" test -n "$(query '%{SUMMARY}')" -a "$(query '%{GROUP}')" != Unspecified
	lic=/usr/share/licenses/colonsplit
	check ".rpm: licences marked as such" test "$(query '[%{FILEFLAGS:fflags} %{FILENAMES}\n]' | grep "^l " | sort)" = \
		"l $lic/COPYRIGHT"$'\n'"l $lic/LICENSE"
	mkdir "$tmp/rpm" && (cd "$tmp/rpm" && rpm2cpio "$rpm" | cpio -idm --quiet)
	check ".rpm contents" same "$tmp/rpm" ./usr/bin/headslug ./usr/bin/tailecho \
		./usr/share/doc/colonsplit/README.md ./usr/share/doc/colonsplit/colonsplit.cdx.json .$lic/LICENSE .$lic/COPYRIGHT "${usr[@]}"
	check ".rpm: the notice" cmp "$tmp/rpm/$lic/COPYRIGHT" "$src/package/copyright"
	check ".rpm: programs work" works "$tmp/rpm/usr/bin"
	command -v node >/dev/null && check ".rpm: SBOM" sbom "$tmp/rpm/usr/share/doc/colonsplit/colonsplit.cdx.json" "$tmp/rpm/usr/bin"
fi
check "SHA256SUMS lists every package made" test "$(cd "$tmp/pkg" && LC_ALL=C ls -- *.deb *.rpm *.tar.gz 2>/dev/null)" = \
	"$(sed 's/^[0-9a-f]*  //' "$tmp/pkg/SHA256SUMS")"
check "SHA256SUMS verifies" eval "cd '$tmp/pkg' && sha256sum --quiet -c SHA256SUMS"
summary
