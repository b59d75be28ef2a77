#!/usr/bin/env bash
# Takes README's pictures of the controller window in the real OBS under Xvfb, connected to a simulated camera: the
# simple and the advanced view under OBS's default theme, the advanced view under its Light theme, the simple view
# with preset pictures taken of a colour source and one of them shown larger, and the controller docked beside OBS's
# docks on a 1366x768 screen.
# Saves them to docs/images/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KAVREN_BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" >/dev/null
shoot() {
	"$root/tests/e2e/obs_window.sh" "$build/plugin/kavren-camera-controller.so" "$root/data" \
		"$build/sim/kavren-camera-sim" --screenshot "$root/docs/images/$1.png" "$2" "$3"
}
shoot controller-simple simple Yami
shoot controller-advanced advanced Yami
shoot controller-light advanced Light
shoot controller-pictures pictures Yami
shoot controller-docked docked Yami
