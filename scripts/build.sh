#!/usr/bin/env bash
# Configures and builds the project into build/ (or $KAVREN_BUILD_DIR) with a configuration of CMakePresets.json:
# "dev" unless $KAVREN_PRESET names another. Extra arguments go to CMake.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${KAVREN_BUILD_DIR:-$root/build}
cd "$root"
cmake --preset "${KAVREN_PRESET:-dev}" -B "$build_dir" "$@" >/dev/null
cmake --build "$build_dir" -j"$(nproc)"
