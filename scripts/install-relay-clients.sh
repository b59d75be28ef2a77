#!/usr/bin/env bash
# Installs the npm "ws" package, one of the third-party clients the relay is measured and tested with, into a folder
# of the build (never globally). The relay benchmark finds it there. Safe to run again.
# Usage: install-relay-clients.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${KAVREN_BUILD_DIR:-$root/build}}
folder="$build/relay-clients"
ws_version=8.18.0

if [ -f "$folder/node_modules/ws/package.json" ] &&
	grep -q "\"version\": \"$ws_version\"" "$folder/node_modules/ws/package.json"; then
	echo "npm ws $ws_version is installed in $folder."
	exit 0
fi
mkdir -p "$folder"
echo "Installing npm ws $ws_version into $folder"
npm install --prefix "$folder" --no-save --no-audit --no-fund --no-package-lock --loglevel=error "ws@$ws_version"
