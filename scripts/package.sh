#!/usr/bin/env bash
# Builds the Debian package of the module and its tools for this system's OBS into the build folder's namesake with
# "-package" (build-package/ on Debian 12, build-obs30-package/ in the Debian 13 root), compiling only what the
# package ships: no tests, no benchmarks. Prints the package's path.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KAVREN_BUILD_DIR:-$root/build}-package
"$root/scripts/install-deps.sh" >&2
KAVREN_BUILD_DIR=$build KAVREN_PRESET=package "$root/scripts/build.sh" >&2
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$build" >&2
ls "$build"/*.deb
