#!/bin/bash
# The signed repositories that package/repository makes of the packages,
# proven with the real clients, offline, with throw-away keys:
# - refuse: without a key it refuses, with status 2, and writes nothing;
# - apt: apt, in a private folder, verifies the repository and fetches a
#   package whose bytes are the original's; it refuses a Packages file
#   changed after signing, and a repository signed by another key;
# - dnf: dnf installs the package into an empty root with both gpg checks
#   on, and the programs work there; removing it leaves nothing of ours;
#   it refuses a repository signed by another key.
# Arguments: the mode, then a wrapper that runs the target's programs, if
# any. In the environment: PKGS, the folder of the packages; SRC, the
# source folder; DEB_ARCH, the target's Debian name.
set -u
mode=$1
shift
run=("$@")
# shellcheck source-path=SCRIPTDIR source=check.sh
. "$(dirname "$0")/check.sh"
trap 'gpgconf --kill all 2>/dev/null; rm -rf "$tmp"' EXIT
repository=$SRC/package/repository
export GNUPGHOME=$tmp/gnupg
mkdir -m 700 "$GNUPGHOME"
unset COLONSPLIT_SIGNING_KEY SOURCE_DATE_EPOCH
key() { # a new key without a passphrase: its fingerprint
	gpg --batch --quiet --passphrase '' --quick-gen-key "$1" ed25519 sign never 2>/dev/null
	gpg --batch --list-secret-keys --with-colons "$1" | awk -F: '/^fpr/ { print $10; exit }'
}
publish() { # key, folder: the repositories of the packages, signed by the key
	COLONSPLIT_SIGNING_KEY=$1 "$repository" "$PKGS" "$tmp/$2" >/dev/null </dev/null
}
clean() { # a command that must succeed and say no error or warning
	"$@" >"$tmp/said" 2>&1 && ! grep -E '^(E|W|Error):' "$tmp/said"
}

case $mode in
refuse)
	refused() { # folder: package/repository refuses to write it, and says so
		"$repository" "$PKGS" "$tmp/$1" >/dev/null 2>"$tmp/said" </dev/null
		[ $? -eq 2 ] && grep -q 'nothing written' "$tmp/said" && [ ! -e "$tmp/$1" ]
	}
	check "no key: refused, nothing written" refused none
	check "a key not in the keyring: refused, nothing written" eval \
		"COLONSPLIT_SIGNING_KEY=0123456789ABCDEF0123456789ABCDEF01234567 refused unknown"
	;;
apt)
	good=$(key 'colonsplit test <good@example.org>') other=$(key 'someone else <other@example.org>')
	publish "$good" good && publish "$good" tampered && publish "$other" other
	# The tampered repository: its first Packages file, after signing.
	packages=$(find "$tmp/tampered/apt/dists" -name Packages | head -1)
	sed -i 's/^Version: .*/Version: 99/' "$packages"
	xz -kf "$packages" && gzip -9nkf "$packages"
	apt_in() { # repository, then apt-get's arguments: an apt of its own, that trusts our key
		local d=$tmp/apt-${1##*/}
		mkdir -p "$d/etc/sources.list.d" "$d/etc/trusted.gpg.d" "$d/etc/preferences.d" \
			"$d/state/lists/partial" "$d/cache/archives/partial"
		touch "$d/status"
		sed "s|^Signed-By: .*|Signed-By: $tmp/good/colonsplit.gpg|" "$1/colonsplit.sources" \
			>"$d/etc/sources.list.d/colonsplit.sources"
		apt-get -q -o Dir="$d" -o Dir::State="$d/state" -o Dir::State::status="$d/status" \
			-o Dir::Cache="$d/cache" -o Dir::Etc="$d/etc" -o Dir::Etc::sourcelist=- \
			-o Dir::Etc::Trusted="$d/none" -o Dir::Etc::TrustedParts="$d/etc/trusted.gpg.d" \
			-o Debug::NoLocking=1 -o APT::Sandbox::User="$(id -un)" \
			-o APT::Architecture="$DEB_ARCH" -o APT::Architectures="$DEB_ARCH" "${@:2}"
	}
	check "apt verifies and reads the repository" clean apt_in "$tmp/good" update
	mkdir "$tmp/fetched"
	check "apt fetches the package" eval "(cd '$tmp/fetched' && apt_in '$tmp/good' download colonsplit >/dev/null)"
	check "the very bytes of the package" cmp "$tmp/fetched/colonsplit_"*"_$DEB_ARCH.deb" "$PKGS/colonsplit_"*"_$DEB_ARCH.deb"
	check "a Packages file changed after signing: refused" eval "! clean apt_in '$tmp/tampered' update"
	check "signed by another key: refused" eval "! clean apt_in '$tmp/other' update"
	;;
dnf)
	good=$(key 'colonsplit test <good@example.org>') other=$(key 'someone else <other@example.org>')
	publish "$good" good && publish "$other" other
	# The other repository's users hold our key, not the one it was signed by.
	cp "$tmp/good/colonsplit.asc" "$tmp/other/colonsplit.asc"
	dnf_in() { # repository, root, then dnf's arguments
		mkdir -p "$tmp/repos-${2##*/}"
		cp "$1/colonsplit.repo" "$tmp/repos-${2##*/}"
		printf '[main]\nreposdir=%s\ncachedir=/var/cache/dnf\n' "$tmp/repos-${2##*/}" >"$tmp/dnf-${2##*/}.conf"
		dnf -y -q --config "$tmp/dnf-${2##*/}.conf" --installroot "$2" --releasever stable "${@:3}"
	}
	ours() { # root: what of ours it holds
		find "$1/usr" \( -path '*colonsplit*' -o -name 'headslug*' -o -name 'tailecho*' \) 2>/dev/null | grep .
	}
	check "dnf installs colonsplit into an empty root, both gpg checks on" \
		eval "grep -qx 'gpgcheck=1' '$tmp/good/colonsplit.repo' && grep -qx 'repo_gpgcheck=1' '$tmp/good/colonsplit.repo' &&
			dnf_in '$tmp/good' '$tmp/root' install colonsplit >'$tmp/said' 2>&1"
	check "the installed programs work" works "$tmp/root/usr/bin" "${run[@]}"
	check "dnf removes it, and nothing of ours is left" eval "dnf_in '$tmp/good' '$tmp/root' remove colonsplit >'$tmp/said' 2>&1 &&
		! ours '$tmp/root'"
	check "signed by another key: refused" eval "! dnf_in '$tmp/other' '$tmp/stranger' install colonsplit >'$tmp/said' 2>&1 &&
		! ours '$tmp/stranger'"
	;;
*)
	echo "no such mode: $mode"
	exit 2
	;;
esac
summary
