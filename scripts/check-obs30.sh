#!/usr/bin/env bash
# The check on OBS 30 with Qt 6, inside the Debian 13 root: builds with warnings as errors, then runs the unit and
# widget tests, the end-to-end runs in the real OBS 30 and the package test, side by side as on Debian 12. The
# sanitizers and the fuzz targets run on Debian 12 only. The npm clients of the obs-websocket test come into the
# build from outside the root, which has no network (see scripts/test.sh).
# Usage: scripts/trixie-root.sh scripts/check-obs30.sh [build | tests]   (both, in that order, without an argument)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KAVREN_BUILD_DIR:-$root/build}
# shellcheck source=lib/run-ctest.sh
source "$root/scripts/lib/run-ctest.sh"

[ "${KAVREN_ROOT:-}" = trixie ] || echo "Note: not inside the Debian 13 root; checking against this system's OBS"

if [ "${1:-build}" = build ]; then
	echo "== Build for $(obs --version 2>/dev/null || echo OBS) with warnings as errors"
	# Without debug information, as on Debian 12; the benchmarks are measured there.
	KAVREN_BUILD_DIR=$build "$root/scripts/build.sh" -DKAVREN_WERROR=ON -DCMAKE_BUILD_TYPE=Release \
		-DKAVREN_BUILD_BENCH=OFF
fi
if [ "${1:-tests}" = tests ]; then
	echo "== Tests on OBS 30"
	run_ctest "$build"
fi
