#!/usr/bin/env bash
# Installs every Debian 12 package the project needs to build, run and test. Safe to run again.
set -euo pipefail

packages=(
	build-essential cmake pkg-config git dpkg-dev
	qtbase5-dev libqt5svg5-dev qttools5-dev-tools
	libobs-dev obs-studio
	nlohmann-json3-dev libwebsocketpp-dev libasio-dev
	xvfb xauth xdotool x11-apps imagemagick iproute2 util-linux
	clang libclang-rt-14-dev clang-format-19 valgrind
	python3 python3-websockets
	at-spi2-core python3-pyatspi gir1.2-atspi-2.0 dbus-x11 nodejs
)

missing=()
for package in "${packages[@]}"; do
	dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
# npm installs the relay's Node client into the build. Debian ships it apart from nodejs; a nodejs of another origin
# brings its own.
command -v npm >/dev/null || missing+=(npm)
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
