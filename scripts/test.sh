#!/usr/bin/env bash
# Installs what is needed, checks the formatting, builds with warnings as errors, and runs every test once: unit,
# widget and the end-to-end runs in the real OBS 29 (Debian 12, Qt 5) side by side, the sanitizer runs and the fuzz
# targets for a short while; the same build and tests for OBS 30 (Qt 6.8) inside a Debian 13 root, and for OBS 32
# (Qt 6.11) inside a Debian testing (forky) root the tests that depend on the host (OBS, Qt's widgets, WebSocket++,
# SDL); the roots are made on first use (scripts/debian-root.sh). Each phase that mostly waits on OBS, cameras and
# timers runs beside one that keeps the cores busy. Prints how long each phase took.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KAVREN_BUILD_DIR:-$root/build}
obs30_build=$("$root/scripts/debian-root.sh" trixie --build-dir)
obs32_build=$("$root/scripts/debian-root.sh" forky --build-dir)
# shellcheck source=lib/run-ctest.sh
source "$root/scripts/lib/run-ctest.sh"

timings=()
started=$SECONDS
# phase NAME COMMAND...: runs one phase and notes how long it took.
phase() {
	local name=$1 start=$SECONDS
	shift
	"$@"
	timings+=("$(printf '%-26s %4d s' "$name" $((SECONDS - start)))")
	echo "-- ${timings[-1]}"
}

install_deps() {
	"$root/scripts/install-deps.sh"
	"$root/scripts/install-relay-clients.sh" "$build"
	# The Debian roots have no network: their builds get the npm clients from here.
	"$root/scripts/install-relay-clients.sh" "$obs30_build"
	"$root/scripts/install-relay-clients.sh" "$obs32_build"
}

run_tests() {
	echo "== Tests"
	run_ctest "$build"
}
sanitize() { "$root/scripts/sanitize.sh" "$@"; }
fuzz() { "$root/scripts/fuzz.sh" --prebuilt; }
obs30() { "$root/scripts/debian-root.sh" trixie scripts/check-root.sh "$@"; }
# OBS 32 shares Qt 6 with OBS 30: its build leaves out the tests that only a Qt major or none at all tells apart.
obs32() {
	if [ "$1" = build ]; then
		"$root/scripts/debian-root.sh" forky scripts/check-root.sh build -DKAVREN_HOST_TESTS_ONLY=ON
	else
		"$root/scripts/debian-root.sh" forky scripts/check-root.sh "$@"
	fi
}
# Both roots at once: making one mostly waits on the mirror.
make_roots() { together "$root/scripts/debian-root.sh trixie" "$root/scripts/debian-root.sh forky"; }

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
phase roots make_roots
# Without debug information: the tests report file and line through their own macros, and it builds a quarter faster.
phase build env KAVREN_PRESET=ci "$root/scripts/build.sh"
phase "tests, tsan build" together run_tests "sanitize build-thread"
phase "tsan, clang build" together "sanitize run-thread" "sanitize build-clang"
phase "asan, obs30 build" together "sanitize run-clang" "obs30 build"
phase "obs30 tests, obs32 build" together "obs30 tests" "obs32 build"
phase "obs32 tests, fuzz" together "obs32 tests" fuzz

# Reached only when every step above passed (the script stops at the first failure).
count_tests() { ctest --test-dir "$1" -N | awk '/Total Tests:/ {print $3}'; }
total=$(($(count_tests "$build") + $(count_tests "$obs30_build") + $(count_tests "$obs32_build")))
echo "All checks passed: the format check, the tests on OBS 29, OBS 30 and OBS 32, the sanitizer runs and the fuzz" \
	"targets."
echo "Tests: ${total} passed, 0 failed"
if [ -x "$root/scripts/code-stats.sh" ]; then
	"$root/scripts/code-stats.sh"
fi
# How long OBS took to load the module beside obs-websocket on each host, from OBS's profiler (the load test's
# output): a measurement, never a bound.
for dir in "$build" "$obs30_build" "$obs32_build"; do
	grep -h "^Loading took" "$dir/Testing/Temporary/LastTest.log" 2>/dev/null || true
done
printf '%s\n' "Time per phase:" "${timings[@]}"
printf '%-26s %4d s\n' total $((SECONDS - started))
