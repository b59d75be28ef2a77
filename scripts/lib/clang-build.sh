# The clang build that the fuzz targets and the widget tests under AddressSanitizer share: AddressSanitizer,
# LeakSanitizer and UndefinedBehaviorSanitizer on every target, coverage guidance for the fuzzer in the core library.
# One build for both keeps the sanitized core library compiled once. Source it after setting root.

clang_build_dir=${KAVREN_CLANG_BUILD_DIR:-$root/build-clang}

# clang_build TARGET...: configures the clang build and builds only the given targets.
clang_build() {
	# Optimised a little and with line tables only: reports still name file and line, and it compiles faster.
	(cd "$root" && cmake --preset clang-asan -B "$clang_build_dir" >/dev/null)
	cmake --build "$clang_build_dir" -j"$(nproc)" --target "$@" >/dev/null
}
