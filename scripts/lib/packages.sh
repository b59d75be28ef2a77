# shellcheck shell=bash disable=SC2034 # the lists are read by the scripts that source this file
# The Debian packages the project needs, one list per Debian release. Source it.
# Debian 12 (OBS 29, Qt 5): what scripts/install-deps.sh installs on this machine, the sanitizers and the format
# check included. Debian 13 (OBS 30, Qt 6) and Debian testing, forky (OBS 32, Qt 6): what the roots of
# scripts/debian-root.sh are made from (a changed list makes a new root), and what install-deps.sh installs on a
# machine of that release.

kavren_packages_debian12=(
	build-essential cmake pkg-config git dpkg-dev
	qtbase5-dev libqt5svg5-dev qttools5-dev-tools
	libobs-dev obs-studio
	nlohmann-json3-dev libwebsocketpp-dev libasio-dev libsdl2-dev
	xvfb xauth xdotool x11-apps imagemagick iproute2 util-linux
	clang libclang-rt-14-dev clang-format-19 valgrind
	python3 python3-websockets
	at-spi2-core python3-pyatspi gir1.2-atspi-2.0 dbus-x11 nodejs
	# Qt 6's core beside OBS's Qt 5, for the check that a module built with Qt 6 refuses to load into OBS 29
	libqt6core6
)

kavren_packages_debian13=(
	# OBS 30 and what the module builds and packages with; libobs-dev brings obs-websocket-api.h and its CMake
	# package, qt6-svg-plugins the SVG image plug-in that every image of the window is loaded through
	obs-studio libobs-dev qt6-base-dev qt6-base-private-dev qt6-svg-dev qt6-svg-plugins
	cmake make g++ pkg-config dpkg-dev file nlohmann-json3-dev libwebsocketpp-dev libasio-dev libsdl2-dev
	# what the tests drive OBS with (the npm clients are installed into the build from outside the root)
	xvfb xauth xdotool x11-apps imagemagick iproute2 util-linux mount procps libgl1-mesa-dri
	python3 python3-websockets at-spi2-core python3-pyatspi gir1.2-atspi-2.0 dbus-x11 nodejs
	# Qt 5 beside OBS's Qt 6, for the check that a module built for OBS 29 refuses to load into OBS 30
	libqt5core5t64 libqt5gui5t64 libqt5widgets5t64 libqt5network5t64 libqt5svg5
)

# Debian testing (forky): the same names serve OBS 32. Its libsdl2-dev is sdl2-compat over SDL 3, which the gamepad
# test drives there too.
kavren_packages_debian14=("${kavren_packages_debian13[@]}")
