#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a short while (FUZZ_SECONDS, default 20).
# A crash, a leak or a sanitizer report fails the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KAVREN_FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${FUZZ_SECONDS:-20}

echo "== Fuzzing (${seconds}s per target)"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVREN_FUZZ=ON -DKAVREN_BUILD_TESTS=OFF \
	-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DKAVREN_SANITIZE=address,undefined >/dev/null
targets=$(cd "$root/tests/fuzz" && ls fuzz_*.cpp 2>/dev/null | sed 's/\.cpp$//')
for target in $targets; do
	cmake --build "$build" -j"$(nproc)" --target "$target" >/dev/null
	corpus=$(mktemp -d)
	name=${target#fuzz_}
	[ -d "$root/tests/fuzz/corpus/$name" ] && cp -r "$root/tests/fuzz/corpus/$name/." "$corpus/"
	echo "-- $target"
	UBSAN_OPTIONS=halt_on_error=1 "$build/tests/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
		-artifact_prefix="$build/" "$corpus" 2>&1 | tail -n 4
	rm -rf "$corpus"
done
