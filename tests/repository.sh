#!/bin/bash
# The signed repositories that package/repository makes, proven with the
# real clients, offline, with throw-away keys. apt runs with a
# configuration of its own, which reads nothing of the host's and checks
# dates and Valid-Until, and installs into a root of its own; dnf installs
# into an empty root, seeing the root's keys where the host's would be.
# Refused means an exit status, or a package that cannot be installed,
# never a warning alone.
# - refuse: a key or a date that cannot be used: status 2, nothing written;
# - atomic: a run that fails leaves OUT as it was; modes whatever the umask;
# - apt: apt installs from it; the key files hold the signing key alone,
#   and no secret; a tampered index, another key, an expired Valid-Until
#   and a future Date are refused; a re-signing revives an expired one;
# - dnf: dnf installs from it into an empty root, and removes it; another
#   key is refused;
# - rotation: three releases rotate the key, which users follow with
#   their upgrades alone; the retired key is refused after them.
# Arguments: the mode; for rotation, settings for cmake, else a wrapper
# that runs the target's programs, if any. In the environment: PKGS, the
# folder of the packages; SRC, the source folder; DEB_ARCH, the target's
# Debian name.
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
unset COLONSPLIT_SIGNING_KEY COLONSPLIT_TRUSTED_KEYS SOURCE_DATE_EPOCH

key() { # user id, then usage and expiry: a new key without a passphrase; its fingerprint
	gpg --batch --quiet --passphrase '' --quick-gen-key "$1" ed25519 "${2:-sign}" "${3:-never}" 2>/dev/null
	gpg --batch --with-colons --list-keys "$1" 2>/dev/null | awk -F: '/^fpr/ { print $10; exit }'
}
publish() { # key, folder, then options: the repositories of the packages (PKGS, or pkgs)
	COLONSPLIT_SIGNING_KEY=$1 "$repository" "${@:3}" "${pkgs:-$PKGS}" "$tmp/$2" >"$tmp/said" 2>&1 </dev/null ||
		{ local status=$?; cat "$tmp/said"; return $status; }
}
signer() { # signature, then the signed file: the fingerprint of the (sub)key that made it
	gpgv --status-fd 1 --keyring "$tmp/keys.gpg" "$@" 2>/dev/null | awk '$2 == "VALIDSIG" { print $3 }'
}
keys() { # key file: its primary keys' fingerprints, and "secret" for each secret packet
	gpg --batch --with-colons --show-keys "$1" 2>/dev/null | awk -F: '$1 == "pub" { p = 1; next } $1 == "fpr" && p { print $10; p = 0 }'
	gpg --batch --list-packets "$1" 2>/dev/null | grep -o '^:secret' | sed 's/^:secret/secret/'
}
snapshot() { # folder: every file and folder, with its mode and, for a file, its bytes' hash
	(cd "$1" && find . -printf '%M %p\n' | sort && find . -type f -exec sha256sum {} + | sort)
}

# An apt of its own, in folder d: it reads no configuration of the host's
# (APT_CONFIG names its parts and main file), checks dates, and installs
# into d/root, whose keyring its sources name where a system's would be.
aptdir() { # folder
	local d=$1
	mkdir -p "$d"/etc/{apt.conf.d,preferences.d,sources.list.d,trusted.gpg.d} "$d"/state/lists/partial \
		"$d"/cache/archives/partial "$d"/root/var/lib/dpkg/{info,updates} "$d/log"
	touch "$d/root/var/lib/dpkg/status"
	# The target's packages install where it is not the build machine's.
	dpkg --root="$d/root" --admindir="$d/root/var/lib/dpkg" --add-architecture "$DEB_ARCH"
	cat >"$d/apt.conf" <<-EOF
		Dir::Etc "$d/etc/";
		Dir::Etc::main "apt.conf";
		Dir::Etc::parts "apt.conf.d";
		Dir::State "$d/state/";
		Dir::State::status "$d/root/var/lib/dpkg/status";
		Dir::Cache "$d/cache/";
		Dir::Log "$d/log/";
		Debug::NoLocking "true";
		APT::Sandbox::User "$(id -un)";
		APT::Architecture "$DEB_ARCH";
		APT::Architectures { "$DEB_ARCH"; };
		Acquire::Check-Date "true";
		Acquire::Check-Valid-Until "true";
		DPkg::Options { "--root=$d/root"; "--admindir=$d/root/var/lib/dpkg"; "--log=$d/log/dpkg.log"; "--force-not-root"; };
	EOF
}
apt_in() { # folder, then apt-get's arguments
	local d=$1
	shift
	APT_CONFIG=$d/apt.conf apt-get -q -y "$@"
}
point() { # apt folder, repository: its sources as published, but for the root's keyring in Signed-By
	sed "s|^Signed-By: /|Signed-By: $1/root/|" "$2/colonsplit.sources" >"$1/etc/sources.list.d/colonsplit.sources"
}
first() { # apt folder, repository: as the README's first install: the keyring package, then the sources
	dpkg --root="$1/root" --admindir="$1/root/var/lib/dpkg" --log="$1/log/dpkg.log" --force-not-root \
		-i "$2/colonsplit-archive-keyring.deb" >/dev/null && point "$1" "$2"
}
clean() { # a command that must succeed and say no error or warning
	"$@" >"$tmp/said" 2>&1 && ! grep -E '^(E|W|Error):' "$tmp/said"
}
installed() { # apt folder: the versions of colonsplit and its keyring installed in its root
	dpkg-query --admindir="$1/root/var/lib/dpkg" -W -f '${Package} ${Version}\n' 'colonsplit*' 2>/dev/null
}

# dnf, installing into root, with gpg checks on, in a mount namespace of
# its own where /etc/pki is the root's: dnf takes gpgkey=file:// paths
# from the host, and the keys must be the ones the root's packages hold.
# The host's /etc stays as it is (an overlay takes the link).
dnf_in() { # root, then dnf's arguments
	local root=$1
	shift
	mkdir -p "$root/etc/pki" "$tmp/ns"
	# (cachedir lies in the root, reposdir not.)
	printf '[main]\ngpgcheck=1\nreposdir=%s\ncachedir=/var/cache/dnf\n' "$root/etc/yum.repos.d" >"$tmp/dnf.conf"
	unshare -m bash -c 'mount -t tmpfs tmpfs "$1" && mkdir "$1/u" "$1/w" &&
		mount -t overlay overlay -o "lowerdir=/etc,upperdir=$1/u,workdir=$1/w" /etc &&
		rm -rf /etc/pki && ln -s "$2/etc/pki" /etc/pki && shift 2 && exec dnf "$@"' \
		sh "$tmp/ns" "$root" -y -q --config "$tmp/dnf.conf" --installroot "$root" --releasever stable "$@"
}
rpms() { # root: the versions of colonsplit and its release package installed there
	rpm --root "$1" -q --qf '%{NAME} %{VERSION}\n' colonsplit colonsplit-release 2>/dev/null
}

case $mode in
refuse)
	good=$(key 'colonsplit test <good@example.org>') other=$(key 'someone else <other@example.org>')
	refuses() { # settings (NAME=value), the key, then package/repository's options: status 2, nothing written
		local settings=()
		while [[ $1 == *=* ]]; do settings+=("$1") && shift; done
		env "${settings[@]}" COLONSPLIT_SIGNING_KEY="$1" "$repository" "${@:2}" "$PKGS" "$tmp/out" >/dev/null 2>"$tmp/said" </dev/null
		[ $? -eq 2 ] && grep -q 'nothing written' "$tmp/said" && [ ! -e "$tmp/out" ] &&
			! find "$tmp" -maxdepth 1 -name '.out.*' | grep -q .
	}
	# Keys that cannot be used: expired (made in the past, for a day),
	# revoked (by the certificate gpg made with it), only for certifying,
	# and one with a passphrase, which nothing here can give.
	expired=$(gpg --batch --quiet --passphrase '' --faked-system-time 20200101T000000! \
		--quick-gen-key 'expired <expired@example.org>' ed25519 sign 1d 2>/dev/null && key 'expired <expired@example.org>')
	revoked=$(key 'revoked <revoked@example.org>')
	sed 's/^:-----BEGIN/-----BEGIN/' "$GNUPGHOME/openpgp-revocs.d/$revoked.rev" | gpg --batch --quiet --import 2>/dev/null
	certifier=$(key 'certifies only <cert@example.org>' cert)
	gpg --batch --quiet --passphrase secret --pinentry-mode loopback --quick-gen-key 'locked <locked@example.org>' ed25519 sign never 2>/dev/null
	locked=$(key 'locked <locked@example.org>')
	check "no key" refuses ''
	check "a user ID" refuses 'colonsplit test'
	check "a short ID" refuses "${good: -16}"
	check "a long ID" refuses "${good: -16}!"
	check "a key not in the keyring" refuses 0123456789ABCDEF0123456789ABCDEF01234567
	check "an expired key" refuses "$expired"
	check "a revoked key" refuses "$revoked"
	check "a key that cannot sign" refuses "$certifier"
	check "a key locked by a passphrase" refuses "$locked"
	check "a date in the future" refuses SOURCE_DATE_EPOCH=$(($(date +%s) + 3600)) "$good"
	check "a date that is not digits" refuses SOURCE_DATE_EPOCH=yesterday "$good"
	check "trusted keys without the signing key" refuses COLONSPLIT_TRUSTED_KEYS="$other" "$good"
	check "a trusted key by user ID" refuses COLONSPLIT_TRUSTED_KEYS="$good colonsplit" "$good"
	check "Valid-Until in no days" refuses "$good" --valid-for 0
	check "a re-signing of nothing published" eval "COLONSPLIT_SIGNING_KEY=$good '$repository' --resign '$tmp/out' 2>/dev/null; [ \$? = 2 ] && [ ! -e '$tmp/out' ]"

	# Exactly the key given: the primary key, though a newer subkey signs
	# too; a subkey, by its fingerprint and !.
	gpg --batch --quiet --passphrase '' --quick-add-key "$good" ed25519 sign never 2>/dev/null
	sub=$(gpg --batch --with-colons --list-keys "$good" | awk -F: '$1 == "sub" { s = 1 } $1 == "fpr" && s { f = $10 } END { print f }')
	gpg --batch --export "$good" >"$tmp/keys.gpg"
	check "signed by the primary key given, not its newer subkey" eval "publish $good primary &&
		[ \"\$(signer '$tmp/primary/apt/dists/stable/InRelease')\" = $good ] &&
		[ \"\$(signer '$tmp/primary/rpm/repodata/repomd.xml.asc' '$tmp/primary/rpm/repodata/repomd.xml')\" = $good ]"
	check "signed by the subkey given" eval "publish '$sub!' subkey && [ \"\$(signer '$tmp/subkey/apt/dists/stable/InRelease')\" = $sub ]"
	;;
atomic)
	good=$(key 'colonsplit test <good@example.org>')
	locked=$(gpg --batch --quiet --passphrase secret --pinentry-mode loopback --quick-gen-key 'locked <l@example.org>' \
		ed25519 sign never 2>/dev/null && key 'locked <l@example.org>')
	mkdir "$tmp/site"
	echo 'an earlier page' >"$tmp/site/index.html"
	publish "$good" site || exit 1
	snapshot "$tmp/site" >"$tmp/before"
	# A .deb that apt-ftparchive cannot read, which it says with status 0.
	mkdir "$tmp/broken" && cp "$PKGS"/*.deb "$PKGS"/*.rpm "$tmp/broken"
	head -c 100 "$PKGS"/colonsplit_*.deb >"$tmp/broken/colonsplit-broken_1_$DEB_ARCH.deb"
	unchanged() { # OUT is byte for byte as it was, and nothing is left beside it
		snapshot "$tmp/site" | cmp -s - "$tmp/before" && ! find "$tmp" -maxdepth 1 -name '.site.*' | grep -q .
	}
	check "a package apt-ftparchive cannot read: failed" eval "! pkgs='$tmp/broken' publish $good site"
	check "and the published repositories as they were" unchanged
	check "a key that cannot sign here: refused" eval "publish $locked site; [ \$? = 2 ]"
	check "and the published repositories as they were" unchanged
	check "a run that works replaces them" eval "publish $good site && ! snapshot '$tmp/site' | cmp -s - '$tmp/before'"
	check "and leaves nothing of the earlier run" test ! -e "$tmp/site/index.html"
	for mask in 077 000; do
		check "under umask $mask: folders 0755, files 0644" eval "(umask $mask && publish $good umask$mask) &&
			[ -z \"\$(find '$tmp/umask$mask' \\( -type d ! -perm 0755 \\) -o \\( -type f ! -perm 0644 \\))\" ]"
	done
	;;
apt)
	good=$(key 'colonsplit test <good@example.org>') other=$(key 'someone else <other@example.org>')
	publish "$good" good && publish "$good" tampered && publish "$other" other || exit 1
	# The tampered repository: its first Packages file, after signing.
	packages=$(find "$tmp/tampered/apt/dists" -name Packages | head -1)
	sed -i 's/^Size: .*/Size: 1/' "$packages"
	xz -kf "$packages" && gzip -9nkf "$packages"
	# A Release dated tomorrow, signed by the right key, as no run of
	# package/repository makes it: apt's own check of the date.
	cp -a "$tmp/good" "$tmp/future"
	dists=$tmp/future/apt/dists/stable
	sed -i "s/^Date: .*/Date: $(LC_ALL=C date -u -d tomorrow '+%a, %d %b %Y %H:%M:%S UTC')/" "$dists/Release"
	gpg --batch --yes --local-user "$good!" --clearsign --output "$dists/InRelease" "$dists/Release"
	gpg --batch --yes --local-user "$good!" --armor --detach-sign --output "$dists/Release.gpg" "$dists/Release"
	# Dated ten days ago, valid for one.
	SOURCE_DATE_EPOCH=$(($(date +%s) - 864000)) publish "$good" expired --valid-for 1
	# Each one's users hold our keyring package and .sources, for its address.
	for repo in good tampered other future expired; do
		aptdir "$tmp/apt-$repo"
		first "$tmp/apt-$repo" "$tmp/good"
		sed -i "s|$tmp/good|$tmp/$repo|" "$tmp/apt-$repo/etc/sources.list.d/colonsplit.sources"
	done
	a=$tmp/apt-good
	check "the .sources names the keyring package's keys, and trusts nothing more" eval \
		"grep -qx 'Signed-By: /usr/share/keyrings/colonsplit-archive-keyring.gpg' '$tmp/good/colonsplit.sources' &&
			! grep -qi '^Trusted' '$tmp/good/colonsplit.sources'"
	# Every key file published, in the keyring and release packages too.
	dpkg-deb --fsys-tarfile "$tmp/good/colonsplit-archive-keyring.deb" | tar -xOf - ./usr/share/keyrings/colonsplit-archive-keyring.gpg >"$tmp/keyring.gpg"
	(cd "$tmp" && rpm2cpio "$tmp/good/colonsplit-release.rpm" | cpio -i --quiet --to-stdout ./etc/pki/rpm-gpg/RPM-GPG-KEY-colonsplit) >"$tmp/release.asc"
	for f in "$tmp/good/colonsplit.gpg" "$tmp/good/colonsplit.asc" "$tmp/keyring.gpg" "$tmp/release.asc"; do
		check "${f##*/}: the signing key alone, and no secret" test "$(keys "$f")" = "$good"
	done
	check "apt verifies and reads the repository" clean apt_in "$a" update
	check "apt fetches the very bytes of the package" eval "mkdir '$tmp/fetched' && (cd '$tmp/fetched' && apt_in '$a' download colonsplit >/dev/null) &&
		cmp '$tmp'/fetched/colonsplit_*_$DEB_ARCH.deb '$PKGS'/colonsplit_*_$DEB_ARCH.deb"
	check "the keyring package holds what the .sources names" cmp "$a/root/usr/share/keyrings/colonsplit-archive-keyring.gpg" "$tmp/good/colonsplit.gpg"
	# A dynamic package needs libraries that apt's empty root lacks.
	needs=$(dpkg-deb -f "$tmp"/fetched/colonsplit_*_"$DEB_ARCH".deb Depends)
	if [ -z "$needs" ]; then
		check "apt installs from it" eval "apt_in '$a' install colonsplit >'$tmp/said' 2>&1"
		check "the installed programs work" works "$a/root/usr/bin" "${run[@]}"
	else
		echo "left out: apt installs it into an empty root: it needs $needs"
	fi
	check "a Packages file changed after signing: refused" eval "! apt_in '$tmp/apt-tampered' update >/dev/null 2>&1 ||
		! (cd '$tmp/fetched' && apt_in '$tmp/apt-tampered' download colonsplit >/dev/null 2>&1)"
	check "signed by another key: refused" eval "! apt_in '$tmp/apt-other' update >/dev/null 2>&1"
	check "a Date in the future: refused" eval "! apt_in '$tmp/apt-future' update >/dev/null 2>&1"
	check "an expired Valid-Until: refused" eval "! apt_in '$tmp/apt-expired' update >/dev/null 2>&1"
	check "re-signed, the same repository is taken" eval "COLONSPLIT_SIGNING_KEY=$good '$repository' --resign --valid-for 7 '$tmp/expired' >/dev/null &&
		clean apt_in '$tmp/apt-expired' update && (cd '$tmp/fetched' && apt_in '$tmp/apt-expired' download colonsplit >/dev/null 2>&1)"
	;;
dnf)
	good=$(key 'colonsplit test <good@example.org>') other=$(key 'someone else <other@example.org>')
	# Users of the other repository hold our release package, for its address.
	publish "$good" good && publish "$good" mine --url "file://$tmp/other" && publish "$other" other || exit 1
	ours() { # root: what of ours it holds
		find "$1/usr" \( -path '*colonsplit*' -o -name 'headslug*' -o -name 'tailecho*' \) 2>/dev/null | grep .
	}
	check "the .repo checks packages and metadata, with the keys the release package installs" eval \
		"grep -qx 'gpgcheck=1' '$tmp/good/colonsplit.repo' && grep -qx 'repo_gpgcheck=1' '$tmp/good/colonsplit.repo' &&
			grep -qx 'gpgkey=file:///etc/pki/rpm-gpg/RPM-GPG-KEY-colonsplit' '$tmp/good/colonsplit.repo'"
	check "the release package requires nothing outside rpm" eval "! rpm -qp --requires '$tmp/good/colonsplit-release.rpm' 2>/dev/null | grep -v '^rpmlib('"
	check "dnf installs the release package, then colonsplit, into an empty root" eval \
		"dnf_in '$tmp/root' install '$tmp/good/colonsplit-release.rpm' >'$tmp/said' 2>&1 &&
			dnf_in '$tmp/root' install colonsplit >'$tmp/said' 2>&1"
	check "the installed programs work" works "$tmp/root/usr/bin" "${run[@]}"
	check "dnf removes it, and nothing of ours is left" eval "dnf_in '$tmp/root' remove colonsplit colonsplit-release >'$tmp/said' 2>&1 &&
		! ours '$tmp/root'"
	check "signed by another key: refused" eval "dnf_in '$tmp/stranger' install '$tmp/mine/colonsplit-release.rpm' >/dev/null 2>&1;
		! dnf_in '$tmp/stranger' install colonsplit >'$tmp/said' 2>&1 && [ -z \"\$(rpms '$tmp/stranger' | grep '^colonsplit ')\" ]"
	;;
rotation)
	# Four releases, built from a copy of the sources, each by one entry
	# more in NEWS: the version moves by that alone.
	sources "$SRC" "$tmp/src"
	cmake -S "$tmp/src" -B "$tmp/src/out" -DBUILD_TESTING=OFF "$@" >"$tmp/log" 2>&1 || { cat "$tmp/log"; exit 1; }
	for v in 1 2 3 4; do
		{ printf 'colonsplit 90.0.%s (%s)\n\n  * A release of the key rotation test.\n\n' $v "$(date -u +%F)"; cat "$tmp/src/NEWS"; } >"$tmp/news"
		mv "$tmp/news" "$tmp/src/NEWS"
		(cmake --build "$tmp/src/out" && cd "$tmp/src/out" && cpack -G 'DEB;RPM' -B "$tmp/rel$v") >"$tmp/log" 2>&1 || { cat "$tmp/log"; exit 1; }
	done
	check "the version moves by one NEWS entry" eval "ls '$tmp'/rel4/colonsplit_90.0.4_*.deb '$tmp'/rel4/colonsplit-90.0.4-1.*.rpm >/dev/null &&
		[ \"\$('$tmp/src/out/colonsplit' --version)\" = 'colonsplit 90.0.4' ]"
	old=$(key 'colonsplit old <old@example.org>') new=$(key 'colonsplit new <new@example.org>')
	stage() { # release, signing key, then the trusted keys: published at the one address users have
		pkgs=$tmp/rel$1 COLONSPLIT_TRUSTED_KEYS="${*:3}" publish "$2" site --url "file://$tmp/site"
	}
	up() { # apt and dnf users take the release: their upgrades, and no step of their own
		# Some hours later: dnf's metadata has expired, as the .repo says.
		find "$tmp/root/var/cache/dnf" -exec touch -d '7 hours ago' {} +
		clean apt_in "$tmp/apt" update && clean apt_in "$tmp/apt" upgrade && dnf_in "$tmp/root" upgrade >"$tmp/said" 2>&1
	}
	on() { # version: what apt's and dnf's users have installed
		installed "$tmp/apt" && rpms "$tmp/root"
		test "$(installed "$tmp/apt")" = "colonsplit 90.0.$1"$'\n'"colonsplit-archive-keyring 90.0.$1" &&
			test "$(rpms "$tmp/root")" = "colonsplit 90.0.$1"$'\n'"colonsplit-release 90.0.$1"
	}
	aptdir "$tmp/apt"
	check "(a) the old key signs, both are trusted" stage 1 "$old" "$old" "$new"
	check "a first install, as the README's" eval "first '$tmp/apt' '$tmp/site' && clean apt_in '$tmp/apt' update &&
		apt_in '$tmp/apt' install colonsplit >'$tmp/said' 2>&1 &&
		dnf_in '$tmp/root' install '$tmp/site/colonsplit-release.rpm' >'$tmp/said' 2>&1 &&
		dnf_in '$tmp/root' install colonsplit >'$tmp/said' 2>&1"
	check "users have (a)" on 1
	check "(b) the new key signs, both are trusted" stage 2 "$new" "$old" "$new"
	check "users upgrade to (b)" up
	check "users have (b)" on 2
	check "(c) the new key signs, and alone is trusted" stage 3 "$new" "$new"
	check "users upgrade to (c)" up
	check "users have (c)" on 3
	check "apt's keyring holds the new key alone" test "$(keys "$tmp/apt/root/usr/share/keyrings/colonsplit-archive-keyring.gpg")" = "$new"
	check "dnf's key file holds the new key alone" test "$(keys "$tmp/root/etc/pki/rpm-gpg/RPM-GPG-KEY-colonsplit")" = "$new"
	# The command RELEASING.md gives dnf's users, for the key rpm keeps.
	retired=${old: -8}
	check "rpm forgets the old key" rpm --root "$tmp/root" -e "gpg-pubkey-${retired,,}"
	# Then the retired key signs a newer release at the users' address.
	check "the old key signs a newer release" stage 4 "$old" "$old"
	find "$tmp/root/var/cache/dnf" -exec touch -d '7 hours ago' {} +
	apt_in "$tmp/apt" update >/dev/null 2>&1
	dnf_in "$tmp/root" upgrade >/dev/null 2>&1
	check "apt refuses it: it cannot install it" eval "! apt_in '$tmp/apt' install colonsplit=90.0.4 >'$tmp/said' 2>&1"
	check "dnf refuses it" eval "! dnf_in '$tmp/root' install colonsplit-90.0.4 >'$tmp/said' 2>&1"
	check "users keep (c)" on 3
	;;
*)
	echo "no such mode: $mode"
	exit 2
	;;
esac
summary
