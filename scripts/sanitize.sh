#!/usr/bin/env bash
# Runs the thread-heavy tests (the relay and the service that restarts it, the camera workers and the windows that
# drive them) under ThreadSanitizer and the widget tests under AddressSanitizer with LeakSanitizer, each in a build of
# its own. A report fails the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

run_sanitized() {
	local sanitizer=$1 build=$2
	shift 2
	local tests=("$@")
	echo "== ${sanitizer} sanitizer: ${tests[*]}"
	cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DKAVREN_SANITIZE="$sanitizer" >/dev/null
	cmake --build "$build" -j"$(nproc)" --target "${tests[@]}" >/dev/null
	local regex
	regex="^($(IFS='|'; echo "${tests[*]}"))\$"
	ctest --test-dir "$build" --output-on-failure -R "$regex"
}

TSAN_OPTIONS="suppressions=$root/tests/tsan.supp halt_on_error=1 second_deadlock_stack=1" \
	run_sanitized thread "$root/build-tsan" tst_ViscaTransfer tst_RelayService tst_CameraWorker tst_MainDialog \
		tst_DiscoveryDialog

gui_tests=()
for test in tst_CameraWorker tst_MainDialog tst_MainDialogPanel tst_controlWidgets tst_DiscoveryDialog \
	tst_PresetRenameDialog tst_PanTiltLimitSettingDialog tst_RelayService; do
	[ -f "$root/tests/$test.cpp" ] && gui_tests+=("$test")
done
lsan_suppressions=
[ -f "$root/tests/lsan.supp" ] && lsan_suppressions="suppressions=$root/tests/lsan.supp"
# Full unwinding lets the suppressions (Qt's offscreen platform plug-in only) match their frames.
ASAN_OPTIONS="detect_leaks=1 halt_on_error=1 fast_unwind_on_malloc=0 malloc_context_size=8" \
	LSAN_OPTIONS="$lsan_suppressions" \
	run_sanitized address "$root/build-asan" "${gui_tests[@]}"
