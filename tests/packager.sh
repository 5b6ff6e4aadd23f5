#!/bin/bash
# A distribution's build of the source tarball, as its packager would make
# it: the minimal debian/ beside this script (dh with the cmake build
# system, linked dynamically, hardening +all), its changelog written from
# NEWS, built offline by dpkg-buildpackage, the whole suite with it.
# lintian finds nothing of the package's own to say, blhc finds no
# hardening flag missing from the build log, and Depends asks for the C
# library that the programs need. Where a tool for it is missing, or no
# network namespace can be made here, it is left out, and says why.
# Run once by CI, as root; the tests are the build's own.
# Arguments: the source tarball, colonsplit-VERSION.tar.gz.
set -u
here=$(cd "$(dirname "$0")" && pwd)
tarball=$(realpath -- "$1")
# shellcheck source-path=SCRIPTDIR source=check.sh
. "$here/check.sh"
for tool in dpkg-buildpackage dh lintian blhc; do
	command -v "$tool" >/dev/null || { echo "left out: a packager's build: $tool not found"; exit 0; }
done
unshare -n true 2>/dev/null || { echo "left out: a packager's build: no network namespace can be made here (it needs root)"; exit 0; }

tar -xzf "$tarball" -C "$tmp"
tree=$tmp/$(tar -tzf "$tarball" | head -1 | cut -d/ -f1)
cp -RL "$here/debian" "$tree/debian"
# The latest release's entry of NEWS, as its first upload.
read -r version day < <(sed -n '1s/^colonsplit \([^ ]*\) (\([0-9-]*\))$/\1 \2/p' "$tree/NEWS")
printf '%s\n' "colonsplit ($version-1) unstable; urgency=medium" '' '  * Packaged from the release tarball.' '' \
	" -- A Packager <packager@example.org>  $(LC_ALL=C date -u -R -d "$day")" >"$tree/debian/changelog"

build() { (cd "$tree" && unshare -n dpkg-buildpackage -us -uc -b) >"$tmp/build.log" 2>&1 || { tail -20 "$tmp/build.log"; return 1; }; }
check "dpkg-buildpackage builds it offline, and its tests pass" build
[ $fail = 0 ] || { summary; exit; }
deb=$tmp/colonsplit_${version}-1_$(dpkg --print-architecture).deb
# (The changelog is the test's own: a first upload closes no bug.)
check "lintian finds nothing to say of the package" lintian -I --pedantic --allow-root \
	--fail-on error,warning,info,pedantic --suppress-tags initial-upload-closes-no-bugs "$deb"
check "blhc finds every hardening flag in the build log" blhc --all "$tmp/build.log"
dpkg-deb -x "$deb" "$tmp/installed"
check "Depends asks for the C library that the programs need" covered "$(dpkg-deb -f "$deb" Depends)" "$tmp"/installed/usr/bin/*
grep -E '^[0-9]+: left out: |tests passed' "$tmp/build.log" | sort -u
summary
