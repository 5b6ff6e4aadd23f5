# shellcheck shell=bash
# Sourced by package/release and package/repository: the rules they share.
# Each refusal is status 2, says why, and changes nothing.
# - plain NAME VALUE: no white space or control character in it.
# - claim OUT [RELEASE]: OUT may be absent, an empty folder, or what an
#   earlier run of this script made, known by the marker it wrote; never
#   the sources, in them or holding them, $HOME, /, RELEASE or in it, a
#   file or a mount point. Sets out, gens (its generations, beside it:
#   .OUT.gen) and prev (the one OUT is, if any).
# - lock: takes the lock beside OUT (.OUT.lock); another run that holds
#   it is refused.
# - keys: the trusted keys, KEYS at the root of the sources, each valid,
#   once, with no subkey expired or revoked, and no secret. Sets trusted,
#   their primary fingerprints, and writes them to $tmp/keys.gpg as
#   minimal writes them: from KEYS alone, with no signature but their own.
# - signer: COLONSPLIT_SIGNING_KEY, a full fingerprint: one secret key of
#   the caller's keyring, of a key in KEYS, valid, that signs here. Sets
#   fpr; sign signs with it alone, SHA-512 whatever gpg.conf says.
# - signed KEYRING KEY SIGNATURE [FILE]: made with SHA-2 by a key of
#   KEYRING, and where KEY is not empty, by that key itself.
# - tmp: a folder of the run's own, gone with it.
# - stage: a new generation, work, and scratch, beside OUT, where what a
#   killed run left is cleared first.
# - switch: work becomes what OUT is, in one rename; the generation it
#   was stays, as the one before, and older ones go.
# (Under pipefail, a reader that stops before the end of its pipe fails
# the writer by SIGPIPE, now and then: no grep -q after a pipe.)
set -euo pipefail
shopt -s inherit_errexit
umask 022
export LC_ALL=C
me=package/${0##*/}
src=$(cd "$(dirname "$0")/.." && pwd)
gpg=(gpg --batch --no-tty --no-options --pinentry-mode error --no-auto-check-trustdb)
tmp=$(mktemp -d) && trap 'rm -rf "$tmp"' EXIT
refuse() { echo "$me: $*; nothing changed" >&2; exit 2; }
plain() { [[ $2 != *[[:space:][:cntrl:]]* ]] || refuse "$1 holds white space or a control character"; }

claim() {
	local p
	plain OUT "$1"
	out=$(realpath -m -- "$(dirname -- "$1")")/$(basename -- "$1")
	case ${1##*/} in / | . | .. | '') out=$(realpath -m -- "$1") ;; esac
	for p in "$src" "${HOME:-/}" / "${@:2}"; do
		case $(realpath -m -- "$p")/ in "$out"/*) refuse "OUT, $out, is or holds $p" ;; esac
	done
	for p in "$src" "${@:2}"; do
		case $out/ in "$(realpath -m -- "$p")"/*) refuse "OUT, $out, lies in $p" ;; esac
	done
	gens=${out%/*}/.${out##*/}.gen prev=''
	if [ -e "$gens" ] && [ "$(cat "$gens/made-by" 2>/dev/null)" != "$me" ]; then
		refuse "$gens is not the generations of $me"
	elif [ -L "$out" ]; then
		prev=${out%/*}/$(readlink -- "$out")
		[ "$prev" -ef "$gens/${prev##*/}" ] && [[ ${prev##*/} =~ ^[0-9]+$ ]] ||
			refuse "OUT, $out, is a link that $me did not make"
	elif [ -e "$out" ]; then
		[ -d "$out" ] || refuse "OUT, $out, is not a folder"
		! mountpoint -q -- "$out" || refuse "OUT, $out, is a mount point: name a folder in it"
		[ -z "$(ls -A -- "$out")" ] || refuse "OUT, $out, holds what $me did not make"
	fi
}
lock() {
	mkdir -p "${out%/*}"
	exec {lock}>>"${out%/*}/.${out##*/}.lock"
	flock -n "$lock" || refuse "another run is making $out"
}

keys() {
	local listing
	[ -f "$src/KEYS" ] || refuse "no KEYS in $src"
	[ -z "$("${gpg[@]}" --list-packets "$src/KEYS" 2>/dev/null | grep '^:secret')" ] || refuse "KEYS holds a secret key"
	# A line a key: pub or sub, validity, fingerprint.
	listing=$("${gpg[@]}" --with-colons --show-keys "$src/KEYS" 2>/dev/null |
		awk -F: '$1 == "pub" || $1 == "sub" { k = $1; v = $2 } $1 == "fpr" && k { print k, v, $10; k = "" }') ||
		refuse "KEYS holds no key gpg can read"
	read -r -a trusted < <(awk '$1 == "pub" { printf "%s ", $3 } END { print "" }' <<<"$listing")
	[ ${#trusted[@]} -gt 0 ] || refuse "KEYS holds no key"
	awk '$2 ~ /[er]/ { print; exit 1 } { n[$3]++ } n[$3] == 2 { print; exit 1 }' <<<"$listing" >/dev/null ||
		refuse "KEYS holds a key expired, revoked, or twice: $(awk '$2 ~ /[er]/ || n[$3]++' <<<"$listing")"
	minimal >"$tmp/keys.gpg" 2>/dev/null || refuse "gpg cannot read KEYS"
}
# (To standard output: to --output, each key would take the place of the
# one before. package/repository asks for --armor too.)
# shellcheck disable=SC2120
minimal() { "${gpg[@]}" --homedir "$tmp" --import-options import-export,import-minimal --import "$@" "$src/KEYS"; }

signer() {
	local key=${COLONSPLIT_SIGNING_KEY:-} listing secs kind valid caps token primary pvalid why
	[[ $key =~ ^([0-9A-Fa-f]{40}|[0-9A-Fa-f]{64})!?$ ]] ||
		refuse "COLONSPLIT_SIGNING_KEY must be a key's full fingerprint (a subkey's may end in !), not '$key'"
	fpr=${key%!} && fpr=${fpr^^}
	listing=$("${gpg[@]}" --with-colons --list-secret-keys -- "$fpr" 2>/dev/null) || refuse "no secret key $fpr in the keyring"
	# How many secret keys match; then of the key itself: its type,
	# validity, capabilities, whether its secret part is here, and its
	# primary key's fingerprint and validity.
	read -r secs kind valid caps token primary pvalid < <(awk -F: -v want="$fpr" '
		$1 == "sec" || $1 == "ssb" { type = $1; v = $2; c = $12; t = $15; if (type == "sec") { n++; pv = $2 } next }
		$1 == "fpr" && type { if (type == "sec") p = $10
			if ($10 == want) found = type " " v " " c " " (t == "#" ? "missing" : "here") " " p " " pv
			type = "" }
		END { print n + 0, found }' <<<"$listing")
	[ "$secs" = 1 ] || refuse "$fpr matches $secs secret keys"
	[ -n "${kind:-}" ] || refuse "no secret key $fpr in the keyring"
	case $valid$pvalid in
	*r*) refuse "the key $fpr is revoked" ;;
	*e*) refuse "the key $fpr has expired" ;;
	*[idn]*) refuse "the key $fpr is not valid" ;;
	esac
	[[ $caps == *s* ]] || refuse "the key $fpr cannot sign"
	[ "$token" = here ] || refuse "the secret part of $fpr is not in the keyring"
	[[ " ${trusted[*]} " == *" $primary "* ]] || refuse "the key $fpr is not of a key in KEYS"
	why=$(printf 'trial\n' | sign --detach-sign 2>&1 >/dev/null) || refuse "cannot sign with $fpr here: $(tail -1 <<<"$why")"
}
sign() { "${gpg[@]}" --local-user "$fpr!" --digest-algo SHA512 --quiet --yes "$@"; }

signed() {
	gpgv --status-fd 1 --keyring "$1" "${@:3}" 2>/dev/null |
		awk -v k="$2" '$2 == "VALIDSIG" && $10 >= 8 && (k == "" || $3 == k) { ok = 1 } END { exit !ok }'
}

stage() {
	[ -d "$gens" ] || { mkdir "$gens" && echo "$me" >"$gens/made-by"; }
	rm -rf "$gens"/new.*
	work=$(mktemp -d "$gens/new.XXXXXX") scratch=$(mktemp -d "$gens/new.XXXXXX")
	trap 'rm -rf "$tmp" "$work" "$scratch"' EXIT
}

switch() {
	local next=1 g
	for g in "$gens"/*; do
		if [[ ${g##*/} =~ ^[0-9]+$ ]] && ((${g##*/} >= next)); then next=$((${g##*/} + 1)); fi
	done
	chmod -R u=rwX,go=rX "$work" && mv -T "$work" "$gens/$next" && ln -s "${gens##*/}/$next" "$scratch/link" &&
		{ [ -L "$out" ] || [ ! -d "$out" ] || rmdir -- "$out"; } && mv -T "$scratch/link" "$out" || return 1
	for g in "$gens"/*; do
		case ${g##*/} in "$next" | "${prev##*/}" | *[!0-9]*) ;; *) rm -rf -- "$g" ;; esac
	done
}
