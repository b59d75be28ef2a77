#!/usr/bin/env bash
# Runs one test in a sandbox of its own, so that tests can run side by side (ctest -j): a private HOME and runtime
# folder (settings tests write under ~/.qttest), with --netns a network namespace with only loopback up (tests bind
# the cameras' and the relay's fixed loopback addresses), with --xvfb an X display of its own.
# Usage: test-sandbox.sh [--netns] [--xvfb] COMMAND [ARGUMENT...]
set -euo pipefail

if [ "${1:-}" = --netns ]; then
	shift
	if ! unshare --net true 2>/dev/null; then
		echo "No network namespace can be made here (it needs root): configure with -DKAVREN_TEST_NETNS=OFF" >&2
		exit 1
	fi
	exec unshare --net bash -c 'ip link set lo up && exec "$0" "$@"' "$0" "$@"
fi

sandbox=$(mktemp -d "${TMPDIR:-/tmp}/kavren-test.XXXXXX")
cleanup() {
	if declare -F xvfb_stop >/dev/null; then
		xvfb_stop
	fi
	rm -rf "$sandbox"
}
trap cleanup EXIT
mkdir -m 700 "$sandbox/home" "$sandbox/runtime"
export HOME="$sandbox/home" XDG_RUNTIME_DIR="$sandbox/runtime"
unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME

if [ "${1:-}" = --xvfb ]; then
	shift
	# shellcheck source=xvfb.sh
	source "$(dirname "${BASH_SOURCE[0]}")/xvfb.sh"
	xvfb_start || { echo "Xvfb did not start" >&2; exit 1; }
fi
"$@"
