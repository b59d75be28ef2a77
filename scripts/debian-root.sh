#!/usr/bin/env bash
# A Debian system made only from Debian's packages, for building and testing the module for the OBS of that release
# on a Debian 12 machine: trixie (Debian 13) has OBS 30 on Qt 6.8, forky (Debian testing) OBS 32 on Qt 6.11. The
# root is made on first use with mmdebstrap and kept outside the clone, in /var/cache/kavren/<release>-<hash of the
# package list>: a changed list makes a new root, the old one stays until removed by hand. A command runs inside it
# in private mount and network namespaces (only loopback up, so nothing it does reaches another machine) with /proc,
# /dev, a fresh /tmp and the clone at /src.
# Usage: debian-root.sh RELEASE [--path | --build-dir] [COMMAND [ARGUMENT...]]
#   no command: makes the root when missing; --path: prints where it is (making it when missing); --build-dir:
#   prints where, in this clone, the build made inside the root is (KAVREN_BUILD_DIR inside).
# Needs root (mmdebstrap, chroot and namespaces).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# shellcheck source=lib/packages.sh
source "$root/scripts/lib/packages.sh"
release=${1:-}
shift || true
# Each release's packages, and the OBS it brings, which names the build and demo folders made inside it, apart
# from the Debian 12 build in build/ and from each other's.
case "$release" in
trixie)
	packages=("${kavren_packages_debian13[@]}") obs=obs30 name="Debian 13"
	;;
forky)
	packages=("${kavren_packages_debian14[@]}") obs=obs32 name="Debian testing (forky)"
	;;
*)
	echo "Usage: $0 trixie|forky [--path | --build-dir] [COMMAND [ARGUMENT...]]" >&2
	exit 2
	;;
esac
cache=/var/cache/kavren
list_hash=$(printf '%s\n' "$release" "${packages[@]}" | sort | sha256sum | cut -c1-16)
system="$cache/$release-$list_hash"
build_folder=build-$obs
if [ "${1:-}" = --build-dir ]; then
	echo "$root/$build_folder"
	exit 0
fi

# host_mirror: the Debian mirror this machine's apt already uses, so the root comes from the same place.
host_mirror() {
	local url
	url=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
		awk '$1 == "deb" && $0 !~ /security/ {for (i = 2; i <= NF; i++) if ($i ~ /^https?:/) {print $i; exit}}')
	if [ -z "$url" ]; then
		url=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '
			/^URIs:/ {uri = $2} /^Suites:/ && uri != "" && uri !~ /security/ && $0 ~ /bookworm|trixie|forky|stable/ {print uri; exit}
			/^$/ {uri = ""}')
	fi
	echo "${url:-http://deb.debian.org/debian}"
}

make_root() {
	command -v mmdebstrap >/dev/null || {
		apt-get update -qq
		DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends mmdebstrap
	}
	local mirror partial="$system.partial"
	mirror=$(host_mirror)
	echo "Making the $name root $system from $mirror (a few minutes, once)"
	rm -rf "$partial"
	mkdir -p "$cache"
	local include
	include=$(
		IFS=,
		echo "${packages[*]}"
	)
	# A mirror that serves a fixed snapshot keeps a Release file past its Valid-Until date; the packages are still
	# checked against the Release file's signed hashes.
	mmdebstrap --quiet --variant=apt --aptopt='Acquire::Check-Valid-Until "false"' --include="$include" \
		"$release" "$partial" "$mirror"
	# Only a finished root gets the name that marks it ready.
	mv "$partial" "$system"
}

ensure_root() {
	[ -x "$system/usr/bin/obs" ] && return 0
	[ "$(id -u)" -eq 0 ] || { echo "Making the $name root needs root" >&2; exit 1; }
	mkdir -p "$cache"
	# One maker at a time: a second run waits and then finds the root made.
	exec 9>"$cache/$release.lock"
	flock 9
	[ -x "$system/usr/bin/obs" ] || make_root
	exec 9>&-
}

# Runs inside the new namespaces: mounts what the command needs, then enters the root.
enter_root() {
	mount --make-rprivate /
	# A mount point of its own, so that namespaces made inside (the package test's) can change its propagation.
	mount --bind "$system" "$system"
	mount -t proc proc "$system/proc"
	mount --rbind /dev "$system/dev"
	mount -t tmpfs -o mode=1777 tmpfs "$system/tmp"
	mkdir -p "$system/src"
	mount --bind "$root" "$system/src"
	ip link set lo up
	# Inside, the scripts keep their build and demo apart from the ones made outside, in the same clone.
	exec chroot "$system" /usr/bin/env -i PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin HOME=/root \
		LANG=C.UTF-8 TERM="${TERM:-dumb}" ${CI:+CI=$CI} KAVREN_ROOT="$release" \
		KAVREN_BUILD_DIR="/src/$build_folder" KAVREN_DEMO_DIR="/src/.demo-$obs" \
		bash -c 'cd /src && exec "$@"' bash "$@"
}

if [ "${KAVREN_ROOT_STAGE:-}" = enter ]; then
	enter_root "$@"
fi

ensure_root
if [ "${1:-}" = --path ]; then
	echo "$system"
	exit 0
fi
[ $# -gt 0 ] || exit 0
[ "$(id -u)" -eq 0 ] || { echo "Entering the $name root needs root" >&2; exit 1; }
KAVREN_ROOT_STAGE=enter exec unshare --mount --net "$0" "$release" "$@"
