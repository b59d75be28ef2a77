#!/usr/bin/env bash
# Renders the controller window, connected to a simulated camera, in the simple and the advanced view to
# docs/images/ (the pictures in README.md).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KAVREN_BUILD_DIR:-$root/build}
"$root/scripts/build.sh" >/dev/null
QT_QPA_PLATFORM=offscreen "$build/tools/kavren-screenshots" "$root" "$root/docs/images"
echo "Wrote $root/docs/images/controller-simple.png and controller-advanced.png"
