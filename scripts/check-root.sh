#!/usr/bin/env bash
# The check on OBS 30 or OBS 32 (Qt 6) inside a Debian root: builds with warnings as errors, then runs the unit and
# widget tests, the end-to-end runs in the real OBS and the package test, side by side as on Debian 12. The
# sanitizers and the fuzz targets run on Debian 12 only. The npm clients of the obs-websocket test come into the
# build from outside the root, which has no network (see scripts/test.sh).
# Usage: scripts/debian-root.sh RELEASE scripts/check-root.sh [build [CMAKE_ARGUMENT...] | tests [CTEST_ARGUMENT...]]
#   (build and tests, in that order, without an argument)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KAVREN_BUILD_DIR:-$root/build}
# shellcheck source=lib/run-ctest.sh
source "$root/scripts/lib/run-ctest.sh"

[ -n "${KAVREN_ROOT:-}" ] || echo "Note: not inside a Debian root; checking against this system's OBS"
obs=$(obs --version 2>/dev/null || echo OBS)

step=${1:-all}
shift || true
if [ "$step" = build ] || [ "$step" = all ]; then
	echo "== Build for $obs with warnings as errors"
	# Without debug information, as on Debian 12; the benchmarks are measured there.
	KAVREN_BUILD_DIR=$build KAVREN_PRESET=root "$root/scripts/build.sh" "$@"
fi
if [ "$step" = tests ] || [ "$step" = all ]; then
	echo "== Tests on $obs"
	run_ctest "$build" "$@"
fi
