#!/bin/bash
# Packages are identical to the byte whoever builds them: a copy of the
# sources, and the source tarball it makes, unpacked without git in a
# folder of another name, built at another time under another umask,
# with nothing set by hand, give the same packages, the same source
# tarball and the same SHA256SUMS. Each build maps its own folder out of
# what it compiles, as a distribution maps its own (-ffile-prefix-map):
# the builder's flags may ask for debugging information.
# Plain cpack makes every kind this machine can make.
# Arguments: the source folder, then settings for cmake.
set -u
src=$1; shift
# shellcheck source-path=SCRIPTDIR source=check.sh
. "$(dirname "$0")/check.sh"
unset SOURCE_DATE_EPOCH

build() { # umask, source folder, then settings
	local dir=$2 settings=() s
	for s in "${@:3}"; do
		[[ $s == -DCMAKE_CXX_FLAGS=* ]] && s="$s -ffile-prefix-map=$dir=."
		settings+=("$s")
	done
	(umask "$1" && cmake -S "$dir" -B "$dir/out" -DBUILD_TESTING=OFF "${settings[@]}" &&
		cmake --build "$dir/out" && cd "$dir/out" && cpack &&
		cmake --build . --target package_source) >"$tmp/log" 2>&1 ||
		{ cat "$tmp/log"; exit 1; }
}

one=$tmp/one/colonsplit
sources "$src" "$one"
build 077 "$one" "$@"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$one/out/CMakeCache.txt")
release=$one/out/colonsplit-$version.tar.gz
check "a source tarball" test -f "$release"
check "it holds nothing built, and no git" eval "! tar -tzf '$release' | grep -E '/(out|build[^/]*|\.git)/'"
sleep 1
mkdir -p "$tmp/two/deeper"
(umask 002 && tar -xzf "$release" -C "$tmp/two/deeper")
two=$tmp/two/deeper/colonsplit-$version
# A build folder there, named by one letter: its tarball leaves that out,
# and nothing else.
mkdir "$two/b" && touch "$two/b/CMakeCache.txt"
build 002 "$two" "$@"

for pkg in "$one"/out/*.{deb,tar.gz,rpm} "$one/out/SHA256SUMS"; do
	[ -e "$pkg" ] && check "${pkg##*/} identical" cmp "$pkg" "$two/out/${pkg##*/}"
done
[ $n -ge 5 ] || check "packages made" false

# Where git cannot list the tracked files (here it refuses the checkout,
# as it does one that another user owns), the source tarball still holds
# every file it held, no .git and nothing built.
if [ ! -e "$one/.git" ]; then
	echo "left out: git refusing the checkout: the sources are no git checkout"
	summary
	exit
fi
mkdir "$tmp/refusing"
printf '#!/bin/sh\necho "fatal: detected dubious ownership in repository" >&2\nexit 128\n' >"$tmp/refusing/git"
chmod +x "$tmp/refusing/git"
tar -tzf "$release" | sort >"$tmp/listed"
check "git refusing: a source tarball, and why" eval "(PATH='$tmp/refusing':\$PATH &&
	cmake --build '$one/out' --target package_source) >'$tmp/log' 2>&1 &&
	grep -q 'git cannot list the tracked files (fatal: detected dubious ownership' '$tmp/log'"
tar -tzf "$release" | sort >"$tmp/refused"
check "it holds every file git listed" eval "! comm -23 '$tmp/listed' '$tmp/refused' | grep ."
check "and nothing built, and no git" eval "! grep -E '/(out|build[^/]*|\.git)/' '$tmp/refused'"
summary
