# How the check runs a build's tests. Source it.

# run_ctest BUILD_DIR [CTEST_ARGUMENT...]: runs the tests of BUILD_DIR (or those the arguments select) side by side.
# Twice as many tests as cores at once: the tests mostly wait for cameras, timers and OBS (a whole run keeps about a
# third of one core busy), and each runs in a sandbox of its own.
run_ctest() {
	local build=$1
	shift
	ctest --test-dir "$build" --output-on-failure --timeout 600 -j"$(($(nproc) * 2))" "$@"
}
