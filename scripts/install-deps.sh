#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test: Debian 12's (OBS 29) or, on Debian 13 or
# Debian testing (forky), theirs (OBS 30, OBS 32). Safe to run again.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=lib/packages.sh
source "$root/scripts/lib/packages.sh"
# shellcheck source=/dev/null
release=$(. /etc/os-release && echo "${VERSION_ID:-${VERSION_CODENAME:-}}")
# Debian testing has no version number yet, only its code name.
case "$release" in
13) packages=("${kavren_packages_debian13[@]}") ;;
14 | forky) packages=("${kavren_packages_debian14[@]}") ;;
*) packages=("${kavren_packages_debian12[@]}") ;;
esac

missing=()
for package in "${packages[@]}"; do
	dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
# npm installs the relay's Node client into the build. Debian ships it apart from nodejs; a nodejs of another origin
# brings its own. The Debian roots have none and no network: the clients come into its build from outside.
[ -n "${KAVREN_ROOT:-}" ] || command -v npm >/dev/null || missing+=(npm)
if [ ${#missing[@]} -eq 0 ]; then
	echo "All needed packages are installed."
	exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
	SUDO=sudo
else
	SUDO=
fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
