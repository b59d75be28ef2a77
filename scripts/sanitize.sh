#!/usr/bin/env bash
# Runs the thread-heavy tests (the relay and the service that restarts it, the camera workers and the windows that
# drive them) under ThreadSanitizer in a build of its own, and the widget tests under AddressSanitizer with
# LeakSanitizer and UndefinedBehaviorSanitizer in the clang build the fuzz targets share. Each build compiles only
# the tests it runs. A report fails the run.
# Usage: sanitize.sh [build-thread | run-thread | build-clang | run-clang]; without a step, all four in order (the
# full check overlaps them with other work).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=lib/clang-build.sh
source "$root/scripts/lib/clang-build.sh"
# shellcheck source=lib/run-ctest.sh
source "$root/scripts/lib/run-ctest.sh"

# existing_tests NAME...: the names among NAME that have a test source (in the tests' folder of its layer).
existing_tests() {
	local test
	for test in "$@"; do
		compgen -G "$root/tests/*/$test.cpp" >/dev/null && echo "$test"
	done
}

# run_tests BUILD_DIR NAME...: runs the named tests of BUILD_DIR.
run_tests() {
	local build=$1
	shift
	run_ctest "$build" -R "^($(IFS='|'; echo "$*"))\$"
}

mapfile -t thread_tests < <(existing_tests tst_ViscaTransfer tst_RelayService tst_CameraWorker tst_MainDialog \
	tst_DiscoveryDialog)
mapfile -t gui_tests < <(existing_tests tst_CameraWorker tst_MainDialog tst_MainDialogPanel tst_controlWidgets \
	tst_DiscoveryDialog tst_PresetRenameDialog tst_PanTiltLimitSettingDialog tst_RelayService)
tsan_build=${KAVREN_TSAN_BUILD_DIR:-$root/build-tsan}

build_thread() {
	echo "== Thread sanitizer build: ${thread_tests[*]}"
	(cd "$root" && cmake --preset tsan -B "$tsan_build" >/dev/null)
	cmake --build "$tsan_build" -j"$(nproc)" --target "${thread_tests[@]}" >/dev/null
}

run_thread() {
	echo "== Thread sanitizer: ${thread_tests[*]}"
	TSAN_OPTIONS="suppressions=$root/tests/tsan.supp halt_on_error=1 second_deadlock_stack=1" \
		run_tests "$tsan_build" "${thread_tests[@]}"
}

build_clang() {
	echo "== Clang build (address, leak and undefined-behaviour sanitizers, fuzz targets)"
	mapfile -t fuzz_targets < <(cd "$root/tests/fuzz" && ls fuzz_*.cpp 2>/dev/null | sed 's/\.cpp$//')
	clang_build "${gui_tests[@]}" "${fuzz_targets[@]}"
}

run_clang() {
	echo "== Address, leak and undefined-behaviour sanitizers: ${gui_tests[*]}"
	local lsan_suppressions=
	[ -f "$root/tests/lsan.supp" ] && lsan_suppressions="suppressions=$root/tests/lsan.supp"
	# In this clang build the suppressions (Qt's offscreen platform plug-in only) match with the fast unwinder too;
	# full unwinding on every allocation made the window tests three times slower.
	ASAN_OPTIONS="detect_leaks=1 halt_on_error=1 malloc_context_size=8" \
		LSAN_OPTIONS="$lsan_suppressions" UBSAN_OPTIONS="halt_on_error=1 print_stacktrace=1" \
		run_tests "$clang_build_dir" "${gui_tests[@]}"
}

case ${1:-all} in
build-thread) build_thread ;;
run-thread) run_thread ;;
build-clang) build_clang ;;
run-clang) run_clang ;;
all) build_thread && run_thread && build_clang && run_clang ;;
*)
	echo "unknown step $1" >&2
	exit 2
	;;
esac
