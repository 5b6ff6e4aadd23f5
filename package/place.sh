# shellcheck shell=bash
# Sourced by package/release and package/repository: how their output is
# made beside OUT and put in its place only when whole.
# begin OUT: sets work, a new folder beside OUT, and scratch, one apart,
#   both removed on exit.
# place: work becomes OUT; the old OUT, if any, goes.
begin() {
	out=$1
	mkdir -p "$(dirname "$out")"
	work=$(mktemp -d "$(dirname "$out")/.${out##*/}.new.XXXXXX")
	scratch=$(mktemp -d)
	trap 'rm -rf "$work" "$scratch"' EXIT
}
place() {
	local aside
	if [ -e "$out" ]; then
		aside=$(mktemp -d "$(dirname "$out")/.${out##*/}.old.XXXXXX")
		mv -T "$out" "$aside/out"
		mv -T "$work" "$out" || { mv -T "$aside/out" "$out"; return 1; }
		rm -rf "$aside"
	else
		mv -T "$work" "$out"
	fi
}
