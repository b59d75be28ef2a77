#!/usr/bin/env bash
# Takes README's pictures of the controller window, simple and advanced view, in the real OBS under Xvfb with
# OBS's default theme, connected to a simulated camera, and saves them to docs/images/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KAVREN_BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" >/dev/null
for view in simple advanced; do
	"$root/tests/e2e/obs_window.sh" "$build/plugin/kavren-camera-controller.so" "$root/data" \
		"$build/sim/kavren-camera-sim" --screenshot "$root/docs/images/controller-$view.png" "$view"
done
