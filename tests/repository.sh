#!/bin/bash
# The release chain: package/release and package/repository, run from a
# copy of the sources whose KEYS this test writes, with throw-away keys,
# offline. Their clients are apt and dnf, each in a root of its own (this
# machine's, every change kept in a folder of the test's), set up by the
# README's first install, literally, but for the address and the keys.
# - refuse: a table of bad inputs, each refused with status 2, and all
#   that the scripts could touch byte for byte as before;
# - first: the README's first install installs the programs, with apt
#   and with dnf, and stops at a stranger's key, a swapped keyring or
#   release package, or a repository a stranger signed;
# - apt: the key files published hold exactly KEYS, the keyring package
#   lints clean; apt refuses a package changed after signing, a future
#   Date and an expired Valid-Until, and takes what the same command
#   again makes; SHA-512 whatever gpg.conf says; dates read as decimal;
# - dnf: the release package lints clean; dnf refuses a stranger's
#   signature, and removes what it installed;
# - rotation: three releases rotate the key, by changes to KEYS, which
#   users follow by their upgrades alone, the retired key refused after
#   them; a client that read the index before a switch finds its files.
# Arguments: the mode; for rotation, settings for cmake. In the
# environment: PKGS, the folder of the packages; SRC, the source folder.
set -u
mode=$1
shift
# shellcheck source-path=SCRIPTDIR source=check.sh
. "$(dirname "$0")/check.sh"
trap 'gpgconf --kill all 2>/dev/null; rm -rf "$tmp"' EXIT
# (apt fetches as a user of its own.)
chmod 755 "$tmp"
export GNUPGHOME=$tmp/gnupg
mkdir -m 700 "$GNUPGHOME"
unset COLONSPLIT_SIGNING_KEY SOURCE_DATE_EPOCH
src=$tmp/src www=$tmp/www
git=(git -c user.name=test -c user.email=test@example.org)
sources "$SRC" "$src"
[ -d "$src/.git" ] || "${git[@]}" -C "$src" init -q
"${git[@]}" -C "$src" add -A && "${git[@]}" -C "$src" commit -qm 'the sources under test' --allow-empty || exit 1

key() { # user id, then usage and expiry, then other options: a new key without a passphrase; its fingerprint
	gpg --batch --quiet --passphrase '' "${@:4}" --quick-gen-key "$1" ed25519 "${2:-sign}" "${3:-never}" 2>/dev/null
	gpg --batch --with-colons --list-keys "$1" 2>/dev/null | awk -F: '/^fpr/ { print $10; exit }'
}
trust() { # keys: KEYS holds them, committed
	gpg --batch --armor --export "$@" >"$src/KEYS" && "${git[@]}" -C "$src" add KEYS && "${git[@]}" -C "$src" commit -qm KEYS --allow-empty
}
release() { # folder, signing key, then the packages' folder (PKGS): a release as package/release makes it
	mkdir -p "$1" && cp "${3:-$PKGS}"/*.deb "${3:-$PKGS}"/*.rpm "$1" && (cd "$1" && sha256sum -- * >SHA256SUMS) &&
		gpg --batch --local-user "$2!" --armor --detach-sign --output "$1/SHA256SUMS.asc" "$1/SHA256SUMS"
}
publish() { # signing key, release, then package/repository's options: its repositories at www/colonsplit
	COLONSPLIT_SIGNING_KEY=$1 "$src/package/repository" "${@:3}" "$2" "$www/colonsplit" >"$tmp/said" 2>&1 </dev/null ||
		{ local status=$?; cat "$tmp/said"; return $status; }
}
listed() { # key file: its primary keys' fingerprints, and "secret" for each secret packet
	gpg --batch --with-colons --show-keys "$1" 2>/dev/null | awk -F: '$1 == "fpr" && p { print $10 } { p = $1 == "pub" }'
	gpg --batch --list-packets "$1" 2>/dev/null | grep -o '^:secret' | sed 's/^:secret/secret/'
}
signed() { # keys: they sign SHA256SUMS of a release of PKGS, at release
	trust "$@" && rm -rf "$tmp/release" && release "$tmp/release" "$1"
}

# A root of its own: this machine's, seen through an overlay that keeps
# every change in the folder given, offline, with the repositories at
# their own paths; what the command leaves running (dnf's gpg-agent) ends
# with it.
inroot() { # folder, then a command to run as root in it
	local d=$1
	shift
	mkdir -p "$d/upper" "$d/work" "$d/root"
	unshare -m -n -p -f bash -c 'd=$1 www=$2 && shift 2 &&
		mount -t overlay overlay -o "lowerdir=/,upperdir=$d/upper,workdir=$d/work" "$d/root" &&
		mount -t proc proc "$d/root/proc" && mount --rbind /dev "$d/root/dev" &&
		mkdir -p "$d/root$www" && mount --rbind "$www" "$d/root$www" && exec chroot "$d/root" "$@"' sh "$d" "$www" "$@"
}
# The README's first install, on Debian or on Fedora, for the repository
# and the keys given, in a new root that knows no package source of this
# machine's, and no apt configuration but its packages'; dnf, as Fedora
# has it, fails where a repository does. What it said, in $tmp/said.
readme() { # Debian or Fedora, root folder, repository, then the keys' fingerprints
	local block
	block=$(awk -v on="On $1 and" 'index($0, on) == 1 { f = 1 } f && /^```$/ && b { exit } b; f && /^```sh$/ { b = 1 }' "$SRC/README.md" |
		sed -e "s|^repo=.*|repo=file://$3|" -e "s|^keys=.*|keys='${*:4}'|")
	inroot "$2" sh -c 'rm -f /etc/apt/sources.list /etc/apt/sources.list.d/* /etc/yum.repos.d/* &&
		for f in /etc/apt/apt.conf.d/*; do dpkg -S "$f" >/dev/null 2>&1 || rm "$f"; done &&
		mkdir -p /etc/dnf/vars /etc/yum.repos.d && echo stable >/etc/dnf/vars/releasever &&
		sed -i "s/^skip_if_unavailable=.*/skip_if_unavailable=False/" /etc/dnf/dnf.conf' &&
		yes | inroot "$2" bash -c "$block" >"$tmp/said" 2>&1
}
has() { # root folder: what of colonsplit's it has installed, by dpkg or rpm
	inroot "$1" sh -c "dpkg-query -W -f '\${Package} \${Version}\n' 'colonsplit*' 2>/dev/null
		rpm -qa --qf '%{NAME} %{VERSION}\n' 'colonsplit*' 2>/dev/null"
}
runs() { # root folder: its programs work
	[ "$(inroot "$1" sh -c "printf 'A B/C: d\n' | colonsplit head; headslug 'A B/C: d'; tailecho 'A B: c'")" = $'a-b-c\na-b-c c' ]
}
copy() { # folder: a copy of the repositories as published
	mkdir -p "$1" && cp -a "$www/colonsplit/." "$1"
}
strange() { # repositories: their indexes signed anew, by the key stranger
	local dists=$1/apt/dists/stable
	gpg --batch --yes --local-user "$stranger!" --clearsign --output "$dists/InRelease" "$dists/Release" &&
		gpg --batch --yes --local-user "$stranger!" --armor --detach-sign --output "$dists/Release.gpg" "$dists/Release" &&
		gpg --batch --yes --local-user "$stranger!" --armor --detach-sign --output "$1/rpm/repodata/repomd.xml.asc" "$1/rpm/repodata/repomd.xml"
}
good=$(key 'colonsplit test <good@example.org>')
signed "$good"

case $mode in
refuse)
	stranger=$(key 'someone else <other@example.org>')
	publish "$good" "$tmp/release" || exit 1
	# Bad releases: changed after signing; signed by a stranger; with
	# a package not colonsplit's, or named as the keyring package.
	cp -a "$tmp/release" "$tmp/tampered" && printf 'x' >>"$(ls "$tmp"/tampered/colonsplit_*.deb)"
	release "$tmp/strangers" "$stranger"
	for bad in bash_99_all.deb colonsplit-archive-keyring_9.9_all.deb bash-99-1.noarch.rpm; do
		mkdir "$tmp/pkgs-$bad" && cp "$PKGS"/*.deb "$PKGS"/*.rpm "$tmp/pkgs-$bad" && cp "$PKGS"/colonsplit_*.deb "$tmp/pkgs-$bad/$bad"
		release "$tmp/with-$bad" "$good" "$tmp/pkgs-$bad"
	done
	# Sources whose KEYS will not do: with an expired key, a revoked one,
	# a key twice, or a key with an expired subkey.
	expired=$(key 'expired <expired@example.org>' sign 1d --faked-system-time 20200101T000000!)
	revoked=$(key 'revoked <revoked@example.org>')
	sed 's/^:-----BEGIN/-----BEGIN/' "$GNUPGHOME/openpgp-revocs.d/$revoked.rev" | gpg --batch --quiet --import 2>/dev/null
	old=$(key 'old subkey <old@example.org>' sign never --faked-system-time 20200101T000000!)
	gpg --batch --quiet --passphrase '' --faked-system-time 20200101T000100! --quick-add-key "$old" ed25519 sign 1d 2>/dev/null
	for keys in "an expired key:$good $expired" "a revoked key:$good $revoked" "a key twice:$good $good" "an expired subkey:$good $old"; do
		mkdir -p "$tmp/${keys%%:*}/cmake" && cp -r "$src/package" "$tmp/${keys%%:*}" && cp "$src/cmake/arches.txt" "$tmp/${keys%%:*}/cmake"
		read -r -a fprs <<<"${keys#*:}"
		for fpr in "${fprs[@]}"; do gpg --batch --armor --export "$fpr"; done >"$tmp/${keys%%:*}/KEYS"
	done
	# Sources with changes, and with a row of the table that has no preset.
	sources "$src" "$tmp/dirty" && echo 'SECRET=1' >"$tmp/dirty/.env"
	sources "$src" "$tmp/mips" && echo 'mips64el mips64el-linux-gnuabi64 mips64 qemu-mips64el mips64el' >>"$tmp/mips/cmake/arches.txt" &&
		"${git[@]}" -C "$tmp/mips" commit -qam mips
	mkdir -p "$tmp/home/notes" "$tmp/empty" && echo mine >"$tmp/home/notes/mine" && echo mine >"$tmp/file"
	# All the scripts could touch: every file and link, and what it holds.
	snapshot() {
		(cd "$tmp" && find . \( -path ./gnupg -o -name said -o -name why -o -name before \) -prune -o -printf '%y %M %p %l\n' | sort &&
			find . \( -path ./gnupg -o -name said -o -name why -o -name before \) -prune -o -type f -exec sha256sum {} + | sort)
	}
	refused() { # why, settings (NAME=value), then the command: status 2, it says why, nothing changed
		local why=$1 settings=()
		shift
		while [[ $1 == *=* ]]; do settings+=("$1") && shift; done
		snapshot >"$tmp/before"
		env COLONSPLIT_SIGNING_KEY="$good" "${settings[@]}" "$@" >/dev/null 2>"$tmp/said" </dev/null
		[ $? -eq 2 ] && grep -q "^package/[a-z]*: .*$why.*; nothing changed\$" "$tmp/said" && snapshot | cmp -s - "$tmp/before" &&
			cat "$tmp/said"
	}
	repository=$src/package/repository release=$src/package/release out=$www/colonsplit
	live=$(date -d "$(sed -n 's/^Date: //p' "$out/apt/dists/stable/Release")" +%s)
	check "RELEASE changed after signing" refused "not those SHA256SUMS names" "$repository" "$tmp/tampered" "$out"
	check "RELEASE signed by a key not in KEYS" refused "not signed by a key of KEYS" "$repository" "$tmp/strangers" "$out"
	for bad in bash_99_all.deb colonsplit-archive-keyring_9.9_all.deb bash-99-1.noarch.rpm; do
		check "RELEASE with $bad, signed" refused "no colonsplit package" "$repository" "$tmp/with-$bad" "$out"
	done
	check "a signing key not in KEYS" refused "not of a key in KEYS" COLONSPLIT_SIGNING_KEY="$stranger" "$repository" "$tmp/release" "$out"
	check "a signing key by its user ID" refused "full fingerprint" COLONSPLIT_SIGNING_KEY='colonsplit test' "$repository" "$tmp/release" "$out"
	for keys in "an expired key" "a revoked key" "a key twice" "an expired subkey"; do
		check "KEYS with $keys" refused "expired, revoked, or twice" "$tmp/$keys/package/repository" "$tmp/release" "$out"
	done
	check "OUT the sources" refused "is or holds" "$repository" "$tmp/release" "$src"
	check "OUT in the sources" refused "lies in" "$repository" "$tmp/release" "$src/www"
	check "OUT a file" refused "not a folder" "$repository" "$tmp/release" "$tmp/file"
	check "OUT a folder of someone's" refused "holds what" "$repository" "$tmp/release" "$tmp/home"
	check "OUT the home folder, empty" refused "is or holds" HOME="$tmp/empty" "$repository" "$tmp/release" "$tmp/empty"
	check "OUT the release" refused "is or holds" "$repository" "$tmp/release" "$tmp/release"
	check "OUT being made by another run" refused "another run" flock "$www/.colonsplit.lock" "$repository" "$tmp/release" "$out"
	if unshare -m true 2>/dev/null; then
		check "OUT a mount point" refused "mount point" unshare -m sh -c 'mount -t tmpfs tmpfs "$1" && exec "$2" "$3" "$1"' sh \
			"$tmp/empty" "$repository" "$tmp/release"
	else
		echo "left out: OUT a mount point: unshare -m cannot mount here (it needs root)"
	fi
	check "a Date no later than the live one's" refused "not after the live" SOURCE_DATE_EPOCH="$live" "$repository" "$tmp/release" "$out"
	check "a Valid-Until already past" refused "has passed" SOURCE_DATE_EPOCH=$((live - 864000)) "$repository" --valid-for 1 "$tmp/release" "$out"
	check "a Date in the future" refused "in the future" SOURCE_DATE_EPOCH=$(($(date +%s) + 3600)) "$repository" "$tmp/release" "$out"
	check "an address with a newline" refused "white space or a control" "$repository" --url $'https://example.org\nTrusted: yes' "$tmp/release" "$out"
	check "an address of another scheme" refused "must be https" "$repository" --url ftp://example.org "$tmp/release" "$out"
	check "release: a work tree with changes" refused "has changes" "$tmp/dirty/package/release" "$tmp/out"
	check "release: a row of the table without its preset" refused "no workflow preset" "$tmp/mips/package/release" "$tmp/out"
	check "release: OUT the sources" refused "is or holds" "$release" "$src"
	check "release: OUT in the sources" refused "lies in" "$release" "$src/release"
	check "release: OUT the home folder, empty" refused "is or holds" HOME="$tmp/empty" "$release" "$tmp/empty"
	check "release: a signing key not in KEYS" refused "not of a key in KEYS" COLONSPLIT_SIGNING_KEY="$stranger" "$release" "$tmp/out"
	;;
first)
	stranger=$(key 'someone else <other@example.org>')
	publish "$good" "$tmp/release" || exit 1
	check "apt: the README's first install installs the programs" readme Debian "$tmp/apt" "$www/colonsplit" "$good"
	check "apt: and they work" runs "$tmp/apt"
	check "dnf: the README's first install installs the programs" readme Fedora "$tmp/dnf" "$www/colonsplit" "$good"
	check "dnf: and they work" runs "$tmp/dnf"
	check "dnf: the .repo the README writes is the release package's" test -z "$(find "$tmp/dnf/upper/etc/yum.repos.d" -name '*.rpm*')"
	# Copies of the repositories, each with a file swapped: all signed
	# anew by a stranger, who serves their own key; a keyring package of
	# the genuine keys with a script; a release package unsigned with a
	# script; a Release a stranger signed.
	copy "$tmp/key" && gpg --batch --armor --export "$stranger" >"$tmp/key/colonsplit.asc"
	GPG_TTY=none rpmsign --define "_gpg_name $stranger!" --define "__gpg $(command -v gpg)" --resign "$tmp"/key/rpm/*.rpm >/dev/null &&
		createrepo_c --quiet --update "$tmp/key/rpm" && strange "$tmp/key"
	copy "$tmp/keyring" && dpkg-deb -R "$(ls "$tmp"/keyring/apt/pool/main/colonsplit-archive-keyring_*.deb)" "$tmp/evil"
	printf '#!/bin/sh\ntouch /ran\n' >"$tmp/evil/DEBIAN/postinst" && chmod 755 "$tmp/evil/DEBIAN/postinst"
	dpkg-deb --root-owner-group -b "$tmp/evil" "$(ls "$tmp"/keyring/apt/pool/main/colonsplit-archive-keyring_*.deb)" >/dev/null
	copy "$tmp/release-rpm"
	printf '%s\n' 'Name: colonsplit-release' "Version: $(rpm -qp --qf '%{VERSION}' "$tmp"/release-rpm/rpm/colonsplit-release-*.rpm 2>/dev/null)" \
		'Release: 1' 'Summary: s' 'License: MIT' 'BuildArch: noarch' '%description' 'd' '%post' 'touch /ran' '%files' >"$tmp/evil.rpmspec"
	rpmbuild --quiet -bb --define "_topdir $tmp/rpmbuild" "$tmp/evil.rpmspec" >/dev/null 2>&1 &&
		cp "$tmp"/rpmbuild/RPMS/noarch/*.rpm "$(ls "$tmp"/release-rpm/rpm/colonsplit-release-*.rpm)"
	copy "$tmp/signed" && strange "$tmp/signed" &&
		printf 'Types: deb\nURIs: file://%s/apt\nSuites: stable\nComponents: main\nTrusted: yes\n' "$tmp/signed" >"$tmp/signed/colonsplit.sources"
	stops() { # Debian or Fedora, the swapped repositories: the README's steps fail, and nothing of ours ran or is installed
		! readme "$1" "$tmp/root-$2-$1" "$tmp/$2" "$good" && [ ! -e "$tmp/root-$2-$1/upper/ran" ] &&
			[ -z "$(has "$tmp/root-$2-$1")" ]
	}
	check "apt: a stranger's key stops it" stops Debian key
	check "dnf: a stranger's key stops it" stops Fedora key
	check "apt: a swapped keyring package is refused, its script never run" stops Debian keyring
	check "dnf: a swapped release package is refused, its script never run" stops Fedora release-rpm
	check "apt: a Release a stranger signed is refused, whatever a .sources served trusts" stops Debian signed
	;;
apt)
	publish "$good" "$tmp/release" || exit 1
	dpkg-deb --fsys-tarfile "$www"/colonsplit/apt/pool/main/colonsplit-archive-keyring_*.deb |
		tar -xOf - ./usr/share/keyrings/colonsplit-archive-keyring.gpg >"$tmp/keyring.gpg"
	rpm2archive - <"$(ls "$www"/colonsplit/rpm/colonsplit-release-*.rpm)" | tar -xzOf - ./etc/pki/rpm-gpg/RPM-GPG-KEY-colonsplit >"$tmp/release.asc"
	for f in "$www/colonsplit/colonsplit.gpg" "$www/colonsplit/colonsplit.asc" "$tmp/keyring.gpg" "$tmp/release.asc"; do
		check "${f##*/}: the keys of KEYS alone, and no secret" test "$(listed "$f")" = "$good"
	done
	check "lintian finds nothing to say of the keyring package" lintian -I --pedantic --allow-root \
		--fail-on error,warning,info,pedantic "$www"/colonsplit/apt/pool/main/colonsplit-archive-keyring_*.deb
	check "the README's first install" readme Debian "$tmp/root" "$www/colonsplit" "$good"
	update() { inroot "$tmp/root" apt-get -q update >"$tmp/said" 2>&1 && ! grep -E '^(E|W):' "$tmp/said"; }
	# What no run of package/repository makes, at another address: a
	# package changed after signing; Releases signed anew with a Date of
	# tomorrow, and with a Valid-Until of yesterday.
	copy "$tmp/changed" && printf 'x' >>"$(ls "$tmp"/changed/apt/pool/main/colonsplit_*.deb)"
	stale() { # field, its value: a copy whose Release has it, signed anew
		local dists=$tmp/$1/apt/dists/stable
		copy "$tmp/$1" && sed -i -e "/^$1:/d" -e "1i $1: $2" "$dists/Release" &&
			gpg --batch --yes --local-user "$good!" --clearsign --output "$dists/InRelease" "$dists/Release"
	}
	stale Date "$(date -u -d tomorrow '+%a, %d %b %Y %H:%M:%S UTC')"
	stale Valid-Until "$(date -u -d yesterday '+%a, %d %b %Y %H:%M:%S UTC')"
	takes() { # repositories: apt updates from them and installs from them
		inroot "$tmp/root" sed -i "s|^URIs: .*|URIs: file://$1/apt|" /etc/apt/sources.list.d/colonsplit.sources &&
			update && inroot "$tmp/root" apt-get -q -y --reinstall install colonsplit >"$tmp/said" 2>&1
	}
	refuses() { ! takes "$@"; }
	check "a package changed after signing: refused" refuses "$tmp/changed"
	check "a Date in the future: refused" refuses "$tmp/Date"
	check "an expired Valid-Until: refused" refuses "$tmp/Valid-Until"
	check "the repositories as published: taken" takes "$www/colonsplit"
	# Published again, some seconds on: with the date given with a
	# leading zero, which is decimal; and by a signer whose gpg.conf asks
	# for SHA-1.
	sleep 1
	decimal() { # seconds since 1970: published with them written with a leading zero, the Release is dated them
		SOURCE_DATE_EPOCH=0$1 publish "$good" "$tmp/release" --valid-for 7 &&
			grep -qx "Date: $(date -u -d "@$1" '+%a, %d %b %Y %H:%M:%S UTC')" "$www/colonsplit/apt/dists/stable/Release"
	}
	check "SOURCE_DATE_EPOCH with a leading zero, read as decimal" decimal "$(date +%s)"
	check "the same command again, a new Date: taken" takes "$www/colonsplit"
	sleep 1
	echo 'digest-algo SHA1' >"$GNUPGHOME/gpg.conf"
	check "a signer's gpg.conf asking for SHA-1" publish "$good" "$tmp/release"
	check "signed by the key given, with SHA-512 (10)" test "$(gpgv --status-fd 1 --keyring "$www/colonsplit/colonsplit.gpg" \
		"$www/colonsplit/apt/dists/stable/InRelease" 2>/dev/null | awk '$2 == "VALIDSIG" { print $3, $10 }')" = "$good 10"
	check "and apt takes it" takes "$www/colonsplit"
	;;
dnf)
	stranger=$(key 'someone else <other@example.org>')
	publish "$good" "$tmp/release" || exit 1
	lint() { # the release package: rpmlint, with the published key known, finds no error
		inroot "$tmp/lint" sh -c 'rpmkeys --import "$1" && rpmlint "$2"' sh "$www/colonsplit/colonsplit.asc" \
			"$(ls "$www"/colonsplit/rpm/colonsplit-release-*.rpm)" >"$tmp/said" 2>&1 || { cat "$tmp/said"; return 1; }
		grep -q ' 0 errors' "$tmp/said"
	}
	check "rpmlint finds no error in the release package" lint
	check "the README's first install" readme Fedora "$tmp/root" "$www/colonsplit" "$good"
	copy "$tmp/signed" && strange "$tmp/signed"
	at() { # repositories: the root's dnf takes colonsplit from them anew
		inroot "$tmp/root" sed -i "s|^baseurl=.*|baseurl=file://$1/rpm|" /etc/yum.repos.d/colonsplit.repo &&
			inroot "$tmp/root" dnf -y reinstall colonsplit >"$tmp/said" 2>&1
	}
	refuses() { ! at "$@"; }
	removes() { # dnf removes what the README installed, and nothing of ours is left
		inroot "$tmp/root" dnf -y remove colonsplit colonsplit-release >"$tmp/said" 2>&1 && [ -z "$(has "$tmp/root")" ] &&
			! inroot "$tmp/root" sh -c 'ls /usr/bin/headslug /etc/yum.repos.d/colonsplit.repo' 2>/dev/null
	}
	check "a stranger's signature: refused" refuses "$tmp/signed"
	check "the repositories as published: taken" at "$www/colonsplit"
	check "dnf removes them, and nothing of ours is left" removes
	;;
rotation)
	# Four releases, built from the copy of the sources, each by one entry
	# more in NEWS: the version moves by that alone.
	cmake -S "$src" -B "$src/out" -DBUILD_TESTING=OFF "$@" >"$tmp/log" 2>&1 || { cat "$tmp/log"; exit 1; }
	for v in 1 2 3 4; do
		{ printf 'colonsplit 90.0.%s (%s)\n\n  * A release of the key rotation test.\n\n' $v "$(date -u +%F)"; cat "$src/NEWS"; } >"$tmp/news"
		mv "$tmp/news" "$src/NEWS"
		(cmake --build "$src/out" && cd "$src/out" && cpack -G 'DEB;RPM' -B "$tmp/pkgs$v") >"$tmp/log" 2>&1 || { cat "$tmp/log"; exit 1; }
	done
	check "the version moves by one NEWS entry" test "$(ls "$tmp"/pkgs4/colonsplit_90.0.4_*.deb "$tmp"/pkgs4/colonsplit-90.0.4-1.*.rpm | wc -l)" = 2
	old=$(key 'colonsplit old <old@example.org>') new=$(key 'colonsplit new <new@example.org>')
	stage() { # release, signing key, then KEYS: published at the one address users have
		sleep 1
		trust "${@:3}" && release "$tmp/rel$1" "$2" "$tmp/pkgs$1" && publish "$2" "$tmp/rel$1"
	}
	up() { # users take the release: their upgrades, and no step of their own
		# Some hours later: dnf's metadata has expired, as the .repo says.
		find "$tmp/dnf/upper/var/cache/dnf" -exec touch -d '7 hours ago' {} +
		inroot "$tmp/apt" sh -c 'apt-get -q update && apt-get -q -y upgrade' >"$tmp/said" 2>&1 && ! grep -E '^(E|W):' "$tmp/said" &&
			inroot "$tmp/dnf" dnf -y upgrade >"$tmp/said" 2>&1
	}
	on() { # version: what apt's and dnf's users have installed
		has "$tmp/apt" && has "$tmp/dnf"
		test "$(has "$tmp/apt" | sort)" = "colonsplit 90.0.$1"$'\n'"colonsplit-archive-keyring 90.0.$1" &&
			test "$(has "$tmp/dnf" | sort)" = "colonsplit 90.0.$1"$'\n'"colonsplit-release 90.0.$1"
	}
	check "(a) the old key signs, both are trusted" stage 1 "$old" "$old" "$new"
	check "apt: a first install, as the README's" readme Debian "$tmp/apt" "$www/colonsplit" "$old" "$new"
	check "dnf: a first install, as the README's" readme Fedora "$tmp/dnf" "$www/colonsplit" "$old" "$new"
	check "users have (a)" on 1
	# The index of (a), as a client read it just before the switch.
	copy "$tmp/a"
	check "(b) the new key signs, both are trusted" stage 2 "$new" "$old" "$new"
	check "users upgrade to (b)" up
	check "users have (b)" on 2
	# (b)'s repositories, but for the index of (a), as a client read it
	# before the switch: it finds the files that index names.
	copy "$tmp/across" && cp "$tmp"/a/apt/dists/stable/*Release* "$tmp/across/apt/dists/stable" &&
		cp "$tmp/a"/rpm/repodata/repomd.xml* "$tmp/across/rpm/repodata"
	across() { # apt or dnf, URL: that client reads the index there
		case $1 in
		apt) inroot "$tmp/apt" sh -c 'sed -i "s|^URIs: .*|URIs: $1/apt|" /etc/apt/sources.list.d/colonsplit.sources &&
			apt-get -q update' sh "$2" >"$tmp/said" 2>&1 && ! grep -E '^(E|W):' "$tmp/said" ;;
		dnf) inroot "$tmp/dnf" sh -c 'sed -i "s|^baseurl=.*|baseurl=$1/rpm|" /etc/yum.repos.d/colonsplit.repo && dnf -q -y clean all && dnf -q -y makecache' \
			sh "$2" >"$tmp/said" 2>&1 ;;
		esac
	}
	for client in apt dnf; do
		check "$client: a client that read (a)'s index as (b) went live finds its files" across $client "file://$tmp/across"
		across $client "file://$www/colonsplit"
	done
	check "(c) the new key signs, and alone is trusted" stage 3 "$new" "$new"
	check "users upgrade to (c)" up
	check "users have (c)" on 3
	check "apt's keyring holds the new key alone" test "$(listed "$tmp/apt/upper/usr/share/keyrings/colonsplit-archive-keyring.gpg")" = "$new"
	check "dnf's key file holds the new key alone" test "$(listed "$tmp/dnf/upper/etc/pki/rpm-gpg/RPM-GPG-KEY-colonsplit")" = "$new"
	# The command RELEASING.md gives dnf's users, for the key rpm keeps.
	retired=${old: -8}
	check "rpm forgets the old key" inroot "$tmp/dnf" rpm -e "gpg-pubkey-${retired,,}"
	# Then the retired key, trusted again, signs a newer release at the users' address.
	check "the old key signs a newer release" stage 4 "$old" "$old"
	up
	check "users keep (c): apt and dnf refuse what the old key signs" on 3
	;;
esac
summary
