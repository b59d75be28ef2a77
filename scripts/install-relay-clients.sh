#!/usr/bin/env bash
# Installs the third-party npm clients our interfaces are measured and tested with into a folder of the build (never
# globally): "ws" for the relay (the relay benchmark finds it there) and "obs-websocket-js" for the camera requests
# offered through obs-websocket (tests/e2e/obs_integrations.sh). Safe to run again.
# Usage: install-relay-clients.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${KAVREN_BUILD_DIR:-$root/build}}
folder="$build/relay-clients"
# Installed together: an install of one without saving would drop the other.
packages=(ws@8.18.0 obs-websocket-js@5.0.6)

installed() {
	local package=${1%@*} version=${1##*@}
	[ -f "$folder/node_modules/$package/package.json" ] &&
		grep -q "\"version\": \"$version\"" "$folder/node_modules/$package/package.json"
}

missing=0
for package in "${packages[@]}"; do
	installed "$package" || missing=1
done
if [ "$missing" = 0 ]; then
	echo "npm ${packages[*]} are installed in $folder."
	exit 0
fi
mkdir -p "$folder"
echo "Installing npm ${packages[*]} into $folder"
npm install --prefix "$folder" --no-save --no-audit --no-fund --no-package-lock --loglevel=error "${packages[@]}"
