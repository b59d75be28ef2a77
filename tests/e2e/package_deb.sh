#!/usr/bin/env bash
# The Debian package: builds it with CPack and checks its control fields and its exact file list. As root it then
# installs it with dpkg, has the real OBS (under Xvfb, HOME in a temporary folder, no copy of the module there) load
# the module from the installed system folders, and removes it with dpkg, checking that every file it installed is
# gone. The install runs in a mount namespace over throw-away overlays of /usr and /var, so this machine's system
# and other OBS runs never see the package, and in a network namespace of its own; without namespaces or overlays
# it installs on this machine and removes the package again, unless it is installed already. A package for OBS 29
# (Qt 5) must keep away from OBS 30, and one for OBS 30 or 32 (Qt 6) needs that OBS or a later one.
# Usage: package_deb.sh BUILD_DIR DATA_DIR PACKAGE_NAME VERSION QT_MAJOR
# shellcheck source-path=SCRIPTDIR source=lib/obs-session.sh
source "$(dirname "$0")/lib/obs-session.sh"

build=$1 data=$2 name=$3 version=$4 qt_major=$5

deb="$build/${name}_${version}_$(dpkg --print-architecture).deb"

# Where Debian's OBS keeps its own modules and their data: ours must land beside them. From OBS 32 on the data is
# in a package of its own.
obs_files=$(dpkg -L obs-studio) || fail "obs-studio is not installed"
obs_files+=$'\n'$(dpkg -L obs-studio-common 2>/dev/null)
obs_folder() { grep -m 1 -x "$1" <<<"$obs_files"; }
module_dir=$(obs_folder '/usr/lib/[^/]*/obs-plugins') || fail "obs-studio has no module folder"
data_dir=$(obs_folder '/usr/share/obs/obs-plugins')/$name || fail "obs-studio has no module data folder"

# The files the package must hold, no more and no fewer.
expected_files() {
	echo "/usr/bin/kavren-camera-sim"
	echo "/usr/bin/kavren-visca"
	echo "$module_dir/$name.so"
	echo "/usr/share/doc/$name/copyright"
	echo "/usr/share/doc/$name/changelog.Debian.gz"
	(cd "$data" && find . -type f | sed "s|^\.|$data_dir|")
}

check_contents() {
	local fields
	fields=$(dpkg-deb -f "$deb" Package Version Architecture Maintainer Depends Description) ||
		fail "dpkg-deb cannot read $deb"
	grep -qx "Package: $name" <<<"$fields" || fail "package name: $fields"
	grep -qx "Version: $version" <<<"$fields" || fail "version is not the project's $version"
	grep -qx "Architecture: $(dpkg --print-architecture)" <<<"$fields" || fail "architecture: $fields"
	grep -q "^Maintainer: .\+<.\+@.\+>$" <<<"$fields" || fail "no maintainer address"
	grep -q "^Description: .\+" <<<"$fields" || fail "no description"
	local dependency dependencies
	case "$qt_major" in
	5) dependencies=("obs-studio (>= 29), obs-studio (<< 30)" libobs0 libqt5core5a libqt5gui5 libqt5widgets5
		libqt5network5 libqt5svg5) ;;
	# A Qt 6 build loads into the OBS it was built for and later ones on a Qt at least as new.
	*) dependencies=("obs-studio (>= $obs_major)" libobs0t64 libqt6core6t64 libqt6gui6 libqt6widgets6
		libqt6network6 qt6-svg-plugins) ;;
	esac
	local depends
	depends=$(sed -n 's/^Depends: //p' <<<"$fields")
	for dependency in "${dependencies[@]}"; do
		[[ ", $depends," == *", $dependency"[,\ ]* ]] || fail "does not depend on $dependency: $depends"
	done
	local twice
	twice=$(tr ',' '\n' <<<"$depends" | awk '{print $1}' | sort | uniq -d | grep -v '^obs-studio$' || true)
	[ -z "$twice" ] || fail "Depends names $twice more than once: $depends"
	dpkg-deb --fsys-tarfile "$deb" | tar -xO "./usr/share/doc/$name/changelog.Debian.gz" | gzip -dc |
		sed -n 1p | grep -q "^$name ($version) " || fail "the changelog's first entry is not version $version"
	dpkg-deb --fsys-tarfile "$deb" | tar -xO "./usr/share/doc/$name/copyright" | grep -x "License: GPL-2+" >/dev/null ||
		fail "the copyright file does not license the module under GPL-2+"

	local listing
	listing=$(dpkg-deb --fsys-tarfile "$deb" | tar -tv) || fail "cannot list $deb"
	diff <(expected_files | sort) <(awk '$1 !~ /^d/ {sub(/^\./, "", $6); print $6}' <<<"$listing" | sort) ||
		fail "the package's files differ from the expected ones (< expected, > in the package)"
	local tool
	for tool in kavren-visca kavren-camera-sim; do
		grep -q "^-rwxr-xr-x .* \./usr/bin/$tool$" <<<"$listing" || fail "$tool is not executable"
	done
	echo "Package $(basename "$deb") ($(du -k "$deb" | cut -f1) KiB) holds exactly the module, its data and the tools"
}

installed() { dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q "install ok installed"; }

check_install_load_remove() {
	dpkg -i "$deb" >"$session/dpkg-install.txt" 2>&1 || { cat "$session/dpkg-install.txt"; fail "dpkg -i failed"; }
	installed || fail "dpkg does not list the package as installed"
	local file
	while read -r file; do
		[ -f "$file" ] || fail "$file was not installed"
	done < <(expected_files)
	echo "dpkg -i installed every file"

	home="$session/home"
	obs_session_prepare_config "$home"
	e2e_start_obs
	[ -e "$home/.config/obs-studio/plugins" ] && fail "a module copy in HOME could have been loaded instead"
	grep -q "\[Kavren\] camera profiles: $data_dir/ini" "$(obs_session_log "$home")" ||
		fail "the module did not take its camera profiles from $data_dir/ini"
	obs_session_stop
	echo "OBS loaded the module from $module_dir"

	dpkg -r "$name" >"$session/dpkg-remove.txt" 2>&1 || { cat "$session/dpkg-remove.txt"; fail "dpkg -r failed"; }
	installed && fail "dpkg still lists the package as installed"
	while read -r file; do
		[ -e "$file" ] && fail "$file is still there after dpkg -r"
	done < <(expected_files)
	[ -e "$data_dir" ] && fail "$data_dir is still there after dpkg -r"
	echo "dpkg -r removed every file it installed"
}

# Inside the namespaces the package's files go to overlays that vanish with them. Exit status 3: no overlays here.
readonly kNoOverlays=3
if [ "${KAVREN_PACKAGE_STAGE:-}" = install ]; then
	session=$KAVREN_PACKAGE_SESSION
	scratch="$session/overlays"
	mount -t tmpfs tmpfs "$scratch" || exit $kNoOverlays
	for dir in /usr /var; do
		mkdir -p "$scratch$dir/upper" "$scratch$dir/work"
		mount -t overlay overlay -o "lowerdir=$dir,upperdir=$scratch$dir/upper,workdir=$scratch$dir/work" "$dir" ||
			exit $kNoOverlays
	done
	ip link set lo up
	trap obs_session_stop EXIT
	check_install_load_remove
	exit 0
fi

started=$(date +%s)
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$build" >"$build/cpack-deb.txt" 2>&1 ||
	{ cat "$build/cpack-deb.txt"; fail "cpack -G DEB failed"; }
[ -f "$deb" ] || fail "cpack did not make $deb"
check_contents

took() { echo "Package test took $(($(date +%s) - started)) s"; }
if [ "$(id -u)" -ne 0 ]; then
	echo "Not root: checked the package's contents only; installing, loading in OBS and removing need root."
	took
	exit 0
fi

session=$(mktemp -d /tmp/kavren-package.XXXXXX)
trap 'obs_session_stop; rm -rf "$session"' EXIT
mkdir "$session/overlays"
isolated=$kNoOverlays
if unshare --mount --net true 2>/dev/null; then
	KAVREN_PACKAGE_STAGE=install KAVREN_PACKAGE_SESSION=$session unshare --mount --net "$0" "$@"
	isolated=$?
fi
if [ $isolated -ne $kNoOverlays ]; then
	[ $isolated -eq 0 ] || exit 1
elif installed; then
	echo "No namespaces or overlays, and $name is installed on this machine: checked the package's contents only."
else
	echo "No namespaces or overlays: installing on this machine's system and removing it again."
	trap 'obs_session_stop; installed && dpkg -r "$name" >/dev/null 2>&1; rm -rf "$session"' EXIT
	check_install_load_remove
fi
took
