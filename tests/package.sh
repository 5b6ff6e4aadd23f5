#!/bin/bash
# The packages, one kind at a time: "make" makes them all with plain
# cpack, as a packager would; tgz, deb, rpm and sbom check what that kind
# holds and what it says of itself.
# Arguments: the kind; then for make the build folder, for the others a
# wrapper that runs the target's programs, if any. In the environment:
# PKGS, the folder of the packages; SRC, the source folder; LINK, static
# or dynamic; PROGRAMS, their names; VERSION; CPU, DEB_ARCH and RPM_ARCH, the target's processor
# (as uname -m names it), Debian and RPM names; LIBC, the C library that
# static programs carry, as "version source source-version" of its
# package, where known.
set -u
kind=$1
shift
run=("$@")
pkgs=$PKGS src=$SRC version=$VERSION cpu=$CPU arch=$DEB_ARCH rpmarch=$RPM_ARCH
read -r -a libc <<<"${LIBC:-}"
read -r -a programs <<<"$PROGRAMS"
# shellcheck source-path=SCRIPTDIR source=check.sh
. "$(dirname "$0")/check.sh"
static=false
[ "$LINK" = static ] && static=true
tgz=$pkgs/colonsplit-$version-Linux-$cpu.tar.gz
deb=$pkgs/colonsplit_${version}_$arch.deb
rpm=$pkgs/colonsplit-$version-1.$rpmarch.rpm
bins=("${programs[@]/#/./bin/}")
pages=("${programs[@]/#/./share/man/man1/}") && pages=("${pages[@]/%/.1}")
usr=("${pages[@]/#./.\/usr}") && usr=("${usr[@]/%/.gz}")
doc=./usr/share/doc/colonsplit
lic=./usr/share/licenses/colonsplit

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
# The .tar.gz's tree, whose SBOM every kind carries too.
mkdir "$tmp/tgz" && tar -xzf "$tgz" -C "$tmp/tgz" --strip-components=1 2>/dev/null
sbom=$tmp/tgz/colonsplit.cdx.json

case $kind in
make)
	rm -rf "$pkgs"
	# Under a strict umask: the packages' modes must not follow it.
	(umask 077 && cd "$1" && cpack -B "$pkgs" >"$tmp/log" 2>&1) || { cat "$tmp/log"; exit 1; }
	check "the packages made, a .tar.gz among them" test -f "$tgz"
	check "SHA256SUMS lists every package made" test "$(cd "$pkgs" && LC_ALL=C ls -- *.deb *.rpm *.tar.gz 2>/dev/null)" = \
		"$(sed 's/^[0-9a-f]*  //' "$pkgs/SHA256SUMS")"
	check "SHA256SUMS verifies" eval "cd '$pkgs' && sha256sum --quiet -c SHA256SUMS"
	;;
tgz)
	check ".tar.gz named with the architecture" test -f "$tgz"
	check ".tar.gz: a plain tree" same "$tmp/tgz" ./LICENSE ./README.md ./COPYRIGHT ./colonsplit.cdx.json \
		"${bins[@]}" "${pages[@]}"
	check ".tar.gz: the notice" cmp "$tmp/tgz/COPYRIGHT" "$src/package/copyright"
	check ".tar.gz: modes, whatever the umask" eval "tar -tvzf '$tgz' | modes"
	check ".tar.gz: programs work" works "$tmp/tgz/bin" "${run[@]}"
	;;
deb)
	field() { dpkg-deb -f "$deb" "$1"; }
	check ".deb named with the architecture" test -f "$deb"
	check ".deb: package name" test "$(field Package)" = colonsplit
	check ".deb: version from the project" test "$(field Version)" = "$version"
	check ".deb: section" test "$(field Section)" = utils
	check ".deb: architecture" test "$(field Architecture)" = "$arch"
	check ".deb: description" test "$(field Description | wc -l)" -gt 1
	dpkg-deb -x "$deb" "$tmp/deb"
	# lintian's override is for static programs only.
	override=()
	$static && override=(./usr/share/lintian/overrides/colonsplit)
	check ".deb contents" same "$tmp/deb" "${bins[@]/#./.\/usr}" \
		$doc/README.md $doc/copyright $doc/changelog.gz $doc/colonsplit.cdx.json "${override[@]}" "${usr[@]}"
	check ".deb: programs work" works "$tmp/deb/usr/bin" "${run[@]}"
	check ".deb: programs lean" lean "$tmp"/deb/usr/bin/*
	check ".deb: modes, whatever the umask" eval "dpkg-deb -c '$deb' | modes"
	check ".deb: member modes, whatever the umask" test "$(ar tv "$deb" | cut -c1-9 | sort -u)" = rw-r--r--
	check ".deb: man pages gzip -9n" gz9n "$tmp"/deb/usr/share/man/man1/*.gz "$tmp/deb/$doc/changelog.gz"
	check ".deb: copyright is the notice" cmp "$tmp/deb/$doc/copyright" "$src/package/copyright"
	check ".deb: the SBOM of every package" cmp "$tmp/deb/$doc/colonsplit.cdx.json" "$sbom"
	if $static; then
		check ".deb: no Depends" test -z "$(field Depends)"
		[ ${#libc[@]} -eq 3 ] && check ".deb: Built-Using names the C library's source" \
			eval "field Built-Using | grep -Fq '${libc[1]} (= ${libc[2]})'"
	else
		depends=$(field Depends)
		check ".deb: Depends on the target's own packages" eval "! grep -Eq ':|-cross' <<<'$depends'"
		check ".deb: Depends on libc6 and libstdc++6" \
			eval "grep -Eq '(^|, )libc6 ' <<<'$depends' && grep -Eq '(^|, )libstdc\+\+6 ' <<<'$depends'"
		check ".deb: the C and C++ runtime at least as new as the programs need" \
			eval "! sed 's/, /\\n/g' <<<'$depends' | grep -E '^(libc6|libstdc\+\+6|libgcc-s1)( |$)' |
				grep -Ev ' \(>= [0-9][^)]*\)$'"
		check ".deb: Depends asks for the C library that the programs need" covered "$depends" "$tmp"/deb/usr/bin/*
	fi
	;;
rpm)
	query() { rpm -qp --qf "$1" "$rpm" 2>/dev/null; }
	check ".rpm named with release and architecture" test -f "$rpm"
	check ".rpm: architecture" test "$(query '%{ARCH}')" = "$rpmarch"
	requires=$(rpm -qp --requires "$rpm" 2>/dev/null)
	if $static; then
		check ".rpm: licence of what is inside" eval "query '%{LICENSE}' | grep -q '^MIT AND LGPL-2.1-or-later AND .*GCC-exception-3.1'"
		[ ${#libc[@]} -eq 3 ] && check ".rpm: provides bundled(glibc)" \
			eval "rpm -qp --provides '$rpm' 2>/dev/null | grep -qx 'bundled(glibc) = ${libc[0]%-*}'"
		# rpm would read a need for the dynamic loader into a static PIE.
		check ".rpm: requires nothing but rpm's own features" eval "! grep -v '^rpmlib(' <<<'$requires'"
	else
		check ".rpm: licence" test "$(query '%{LICENSE}')" = MIT
		check ".rpm: requires the C and C++ libraries" eval "grep -q '^libc\.so\.6' <<<'$requires' &&
			grep -q '^libstdc++\.so\.6' <<<'$requires'"
	fi
	check ".rpm: our own changelog" eval "rpm -qp --changelog '$rpm' 2>/dev/null | head -1 |
		grep -Eq '^\* .* colonsplit developers <.*> - $version-1\$'"
	check ".rpm: summary and group" test -n "$(query '%{SUMMARY}')" -a "$(query '%{GROUP}')" != Unspecified
	check ".rpm: licences marked as such" test "$(query '[%{FILEFLAGS:fflags} %{FILENAMES}\n]' | grep "^l " | sort)" = \
		"l ${lic#.}/COPYRIGHT"$'\n'"l ${lic#.}/LICENSE"
	mkdir "$tmp/rpm" && (cd "$tmp/rpm" && rpm2cpio "$rpm" | cpio -idm --quiet)
	check ".rpm contents" same "$tmp/rpm" "${bins[@]/#./.\/usr}" \
		$doc/README.md $doc/colonsplit.cdx.json $lic/LICENSE $lic/COPYRIGHT "${usr[@]}"
	check ".rpm: the notice" cmp "$tmp/rpm/$lic/COPYRIGHT" "$src/package/copyright"
	check ".rpm: programs work" works "$tmp/rpm/usr/bin" "${run[@]}"
	check ".rpm: the SBOM of every package" cmp "$tmp/rpm/$doc/colonsplit.cdx.json" "$sbom"
	;;
sbom)
	# Valid CycloneDX, naming the programs as shipped and the C library
	# inside them.
	check "SBOM: valid CycloneDX" eval "node '$(dirname "$0")/sbom.js' '$sbom' >'$tmp/said'"
	for prog in "${programs[@]}"; do
		check "SBOM: $prog as shipped" grep -qx "$prog $(sha256sum <"$tmp/tgz/bin/$prog" | cut -d' ' -f1)" "$tmp/said"
	done
	[ ${#libc[@]} -eq 3 ] && check "SBOM: the C library's version" grep -qx "glibc ${libc[0]}" "$tmp/said"
	;;
*)
	echo "no such kind: $kind"
	exit 2
	;;
esac
summary
