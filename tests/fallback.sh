#!/bin/bash
# Where static C and C++ libraries are missing, or the C library has no
# start file for static PIE, a compiler refuses to link static. Then the
# build links dynamic PIE and says why in one line, in the linker's words,
# and an explicit COLONSPLIT_STATIC=ON stops at configure time instead.
# Arguments: the source folder, the C++ compiler, settings for cmake, then
# -- and a wrapper that runs the target's programs, if any.
set -u
src=$1 cxx=$2; shift 2
settings=() run=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do settings+=("$1"); shift; done
[ $# -gt 0 ] && shift && run=("$@")
# shellcheck source-path=SCRIPTDIR source=check.sh
. "$(dirname "$0")/check.sh"

# Named as the real one, so that CMake finds the binutils that go with it.
wrap=$tmp/${cxx##*/}
cat >"$wrap" <<EOF
#!/bin/sh
for a; do
	case \$a in -static|-static-pie)
		echo "/usr/bin/ld: \${LD_ERROR:-cannot find -lc: No such file or directory}" >&2
		exit 1
	esac
done
exec "$cxx" "\$@"
EOF
chmod +x "$wrap"
configure() { # build folder, then cache settings
	cmake -S "$src" -B "$tmp/$1" -DBUILD_TESTING=OFF "${settings[@]}" -DCMAKE_CXX_COMPILER="$wrap" "${@:2}" \
		>"$tmp/$1.log" 2>&1
}

check "configures without static libraries" configure auto
check "says why in one line, in the linker's words, and what to install" \
	test "$(grep -c 'dynamic PIE.*: ld: cannot find -lc: .*glibc-static and libstdc++-static' "$tmp/auto.log")" = 1
check "builds" cmake --build "$tmp/auto"
check "links dynamic PIE" eval "readelf -h '$tmp/auto/headslug' | grep -q 'Type:.*DYN' &&
	readelf -lW '$tmp/auto/headslug' | grep -q INTERP"
check "the dynamic programs work" works "$tmp/auto" "${run[@]}"

check "a missing start file is not missing libraries" eval "LD_ERROR='cannot find rcrt1.o: No such file or directory' configure rcrt1 &&
	grep -q 'dynamic PIE.*: ld: cannot find rcrt1.o: No such file or directory$' '$tmp/rcrt1.log' &&
	! grep -q glibc-static '$tmp/rcrt1.log'"

check "static asked for by name stops at configure time" eval "! configure on -DCOLONSPLIT_STATIC=ON"
# CMake folds the error's lines.
check "and says why" eval "tr -s '\n ' ' ' <'$tmp/on.log' | grep -q 'glibc-static and libstdc++-static'"

check "OFF configures dynamic without trying static" eval "configure off -DCOLONSPLIT_STATIC=OFF &&
	! grep -q 'dynamic PIE' '$tmp/off.log' && ! grep -q COLONSPLIT_STATIC_LINKS '$tmp/off.log'"

summary
