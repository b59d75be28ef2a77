#!/usr/bin/env bash
# Installs what is needed, checks the formatting, builds with warnings as errors, and runs every test once: unit,
# widget and the end-to-end runs in the real OBS 29 (Debian 12, Qt 5) side by side, then the sanitizer runs and the
# fuzz targets for a short while; then the same build and tests for OBS 30 (Qt 6) inside a Debian 13 root, made on
# first use (scripts/debian-root.sh). Prints how long each phase took.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KAVREN_BUILD_DIR:-$root/build}
obs30_build=$("$root/scripts/debian-root.sh" trixie --build-dir)
# shellcheck source=lib/run-ctest.sh
source "$root/scripts/lib/run-ctest.sh"

timings=()
started=$SECONDS
# phase NAME COMMAND...: runs one phase and notes how long it took.
phase() {
	local name=$1 start=$SECONDS
	shift
	"$@"
	timings+=("$(printf '%-18s %4d s' "$name" $((SECONDS - start)))")
	echo "-- ${timings[-1]}"
}

install_deps() {
	"$root/scripts/install-deps.sh"
	"$root/scripts/install-relay-clients.sh" "$build"
	# The Debian 13 root has no network: its build gets the npm clients from here.
	"$root/scripts/install-relay-clients.sh" "$obs30_build"
}

run_tests() {
	echo "== Tests"
	run_ctest "$build"
}
sanitize() { "$root/scripts/sanitize.sh" "$@"; }
fuzz() { "$root/scripts/fuzz.sh" --prebuilt; }
obs30() { "$root/scripts/debian-root.sh" trixie scripts/check-root.sh "$@"; }

# together FIRST SECOND: runs SECOND in the background while FIRST runs, then shows what SECOND printed; fails when
# either fails. The tests mostly wait on simulated cameras and OBS, so a build can use the cores meanwhile.
together() {
	local log status=0 second
	log=$(mktemp)
	# shellcheck disable=SC2086 # each argument is a command with its own words
	$2 >"$log" 2>&1 &
	second=$!
	# shellcheck disable=SC2086
	$1 || status=$?
	wait "$second" || status=$?
	cat "$log"
	rm -f "$log"
	return "$status"
}

phase deps install_deps
phase format "$root/scripts/check-format.sh"
# Without debug information: the tests report file and line through their own macros, and it builds a quarter faster.
phase build "$root/scripts/build.sh" -DKAVREN_WERROR=ON -DCMAKE_BUILD_TYPE=Release
phase "tests, tsan build" together run_tests "sanitize build-thread"
phase "tsan, clang build" together "sanitize run-thread" "sanitize build-clang"
phase "asan, fuzz" together "sanitize run-clang" fuzz
phase "obs30 root" "$root/scripts/debian-root.sh" trixie
phase "obs30 build" obs30 build
phase "obs30 tests" obs30 tests

# Reached only when every step above passed (the script stops at the first failure).
count_tests() { ctest --test-dir "$1" -N | awk '/Total Tests:/ {print $3}'; }
total=$(($(count_tests "$build") + $(count_tests "$obs30_build")))
echo "All checks passed: the format check, the tests on OBS 29 and OBS 30, the sanitizer runs and the fuzz targets."
echo "Tests: ${total} passed, 0 failed"
if [ -x "$root/scripts/code-stats.sh" ]; then
	"$root/scripts/code-stats.sh"
fi
printf '%s\n' "Time per phase:" "${timings[@]}"
printf '%-18s %4d s\n' total $((SECONDS - started))
