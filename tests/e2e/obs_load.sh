#!/usr/bin/env bash
# End to end in the real OBS: installs the built module into a temporary HOME, starts OBS under Xvfb, checks from
# OBS's log that it loaded the module, ran its load and routes its Qt log lines there, then triggers the Tools-menu
# entry and checks that the controller window shows. Runs in a network namespace of its own where it can, so nothing
# leaves the machine.
# Usage: obs_load.sh MODULE_FILE DATA_DIR SIMULATOR
set -uo pipefail

if [ "${KAVREN_E2E_ISOLATED:-}" != 1 ] && [ "$(id -u)" -eq 0 ] && unshare --net true 2>/dev/null; then
	exec env KAVREN_E2E_ISOLATED=1 unshare --net bash -c 'ip link set lo up && exec "$0" "$@"' "$0" "$@"
fi

module=$1 data=$2 simulator=$3
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../scripts/lib/obs-session.sh
source "$here/../../scripts/lib/obs-session.sh"

session=$(mktemp -d /tmp/kavren-e2e.XXXXXX)
sim_pid=
cleanup() {
	obs_session_stop
	obs_session_end "$sim_pid"
	rm -rf "$session"
}
trap cleanup EXIT

fail() {
	echo "FAIL: $*"
	local log
	log=$(obs_session_log "$session/home")
	[ -n "$log" ] && { echo "--- OBS log (tail) ---"; tail -n 40 "$log"; }
	exit 1
}

mkdir -p "$session/home"
obs_session_prepare "$session/home" "$module" "$data"
"$simulator" --address 127.0.0.2 --port 52381 >"$session/sim.txt" 2>&1 &
sim_pid=$!

obs_session_start_xvfb || fail "Xvfb did not start"
obs_session_start_obs "$session/home" "$session/obs-output.txt"

obs_session_wait_for_log "$session/home" "\[Kavren\] module loaded" 90 || fail "the module's load did not run"
log=$(obs_session_log "$session/home")
grep -q "\[Kavren\] loading kavren-camera-controller" "$log" || fail "no version line at load"
obs_session_wait_for_log "$session/home" "^[0-9:.]*:     kavren-camera-controller.so" 30 ||
	fail "OBS does not list the module among its loaded modules"
grep -q "Failed to load 'en-US' text for module: 'kavren-camera-controller" "$log" && fail "the locale table did not load"
echo "OBS loaded the module and ran its load"
# The relay logs through its Qt logging category: the module's message handler must bring the line into OBS's log.
obs_session_wait_for_log "$session/home" "\[Kavren\] ViscaTransfer: Listening on TCP port 55260" 30 ||
	fail "the relay's start line did not reach OBS's log"
echo "The module's Qt log lines reach OBS's log"

obs_session_wait_for_window "OBS [0-9].*" 30 || fail "OBS's main window did not show"
sleep 2 # let the main window settle before typing into it
if xdotool search --onlyvisible --name "^Kavren OBS Camera Controller\$" >/dev/null 2>&1; then
	fail "the controller window showed before the Tools-menu entry was used"
fi
obs_session_trigger_tools_action "Kavren OBS Camera Controller" || fail "the Tools-menu entry did not show the controller"
echo "The Tools-menu entry showed the controller window"
