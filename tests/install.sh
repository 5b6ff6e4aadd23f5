#!/bin/bash
# What cmake --install lays down, and that the programs work there.
# Arguments: the build folder, the source folder, static or dynamic, then
# a wrapper that runs the target's programs, if any. In the environment:
# PROGRAMS, their names.
set -u
build=$1 src=$2 link=$3; shift 3
run=("$@")
read -r -a programs <<<"$PROGRAMS"
# shellcheck source-path=SCRIPTDIR source=check.sh
. "$(dirname "$0")/check.sh"

cmake --install "$build" --prefix "$tmp/p" >/dev/null
pages=("${programs[@]/#/./share/man/man1/}") && pages=("${pages[@]/%/.1}")
notice=()
[ "$link" = static ] && notice=(./share/doc/colonsplit/COPYRIGHT)
# No licence of ours: a distribution's copyright file tells it.
check "cmake --install lays down the files" same "$tmp/p" \
	"${programs[@]/#/./bin/}" ./share/doc/colonsplit/README.md "${notice[@]}" "${pages[@]}"
[ "$link" = static ] && check "cmake --install: the notice of the libraries inside" cmp "$tmp/p/${notice[0]}" "$src/package/copyright"
check "installed programs work" works "$tmp/p/bin" "${run[@]}"
summary
