#!/usr/bin/env bash
# Builds the libFuzzer targets in the clang build (scripts/lib/clang-build.sh) and runs each for a short while
# (FUZZ_SECONDS, default 20), as many at once as there are cores. A crash, a leak or a sanitizer report fails the run.
# Usage: fuzz.sh [--prebuilt]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=lib/clang-build.sh
source "$root/scripts/lib/clang-build.sh"
seconds=${FUZZ_SECONDS:-20}

# fuzz TARGET OUTPUT_FILE: runs TARGET over a copy of its seed corpus; its last lines go to OUTPUT_FILE, and its exit
# status to OUTPUT_FILE.status.
fuzz() {
	local target=$1 output=$2 corpus status=0
	corpus=$(mktemp -d)
	local name=${target#fuzz_}
	[ -d "$root/tests/fuzz/corpus/$name" ] && cp -r "$root/tests/fuzz/corpus/$name/." "$corpus/"
	UBSAN_OPTIONS=halt_on_error=1 "$clang_build_dir/tests/fuzz/$target" -max_total_time="$seconds" \
		-print_final_stats=1 -artifact_prefix="$clang_build_dir/$target-" "$corpus" >"$output.log" 2>&1 ||
		status=$?
	{ echo "-- $target"; tail -n 4 "$output.log"; } >"$output"
	rm -rf "$corpus" "$output.log"
	echo "$status" >"$output.status"
}

mapfile -t targets < <(cd "$root/tests/fuzz" && ls fuzz_*.cpp 2>/dev/null | sed 's/\.cpp$//')
echo "== Fuzzing (${seconds}s per target): ${targets[*]}"
# --prebuilt: the full check built the targets already, beside other work.
[ "${1:-}" = --prebuilt ] || clang_build "${targets[@]}"

outputs=$(mktemp -d)
trap 'rm -rf "$outputs"' EXIT
for target in "${targets[@]}"; do
	# A fuzzer keeps one core busy; more at once than cores would only share them.
	while [ "$(jobs -rp | wc -l)" -ge "$(nproc)" ]; do
		wait -n
	done
	fuzz "$target" "$outputs/$target" &
done
wait
failed=0
for target in "${targets[@]}"; do
	cat "$outputs/$target"
	[ "$(cat "$outputs/$target.status")" = 0 ] || failed=1
done
exit $failed
