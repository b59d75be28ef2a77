#!/usr/bin/env bash
# Installs what is needed, checks the formatting, builds with warnings as errors, and runs every test once: unit,
# widget and the end-to-end runs in the real OBS side by side, then the sanitizer runs and the fuzz targets for a
# short while. Prints how long each phase took.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KAVREN_BUILD_DIR:-$root/build}
# shellcheck source=lib/run-ctest.sh
source "$root/scripts/lib/run-ctest.sh"

timings=()
started=$SECONDS
# phase NAME COMMAND...: runs one phase and notes how long it took.
phase() {
	local name=$1 start=$SECONDS
	shift
	"$@"
	timings+=("$(printf '%-11s %4d s' "$name" $((SECONDS - start)))")
	echo "-- ${timings[-1]}"
}

install_deps() {
	"$root/scripts/install-deps.sh"
	"$root/scripts/install-relay-clients.sh" "$build"
}

run_tests() {
	echo "== Tests"
	run_ctest "$build"
}

phase deps install_deps
phase format "$root/scripts/check-format.sh"
phase build "$root/scripts/build.sh" -DKAVREN_WERROR=ON
phase tests run_tests
phase sanitizers "$root/scripts/sanitize.sh"
phase fuzz "$root/scripts/fuzz.sh"

# Reached only when every step above passed (the script stops at the first failure).
total=$(ctest --test-dir "$build" -N | awk '/Total Tests:/ {print $3}')
echo "All checks passed: the format check, the tests, the sanitizer runs and the fuzz targets."
echo "Tests: ${total} passed, 0 failed"
if [ -x "$root/scripts/code-stats.sh" ]; then
	"$root/scripts/code-stats.sh"
fi
printf '%s\n' "Time per phase:" "${timings[@]}"
printf '%-11s %4d s\n' total $((SECONDS - started))
