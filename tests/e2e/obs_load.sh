#!/usr/bin/env bash
# End to end in the real OBS: installs the built module into a temporary HOME, starts OBS under Xvfb, checks from
# OBS's log that it loaded the module, ran its load and routes its Qt log lines there, then triggers the Tools-menu
# entry and checks that the controller window shows. Runs in a network namespace of its own where it can, so nothing
# leaves the machine.
# Usage: obs_load.sh MODULE_FILE DATA_DIR SIMULATOR
# shellcheck source-path=SCRIPTDIR source=lib/obs-session.sh
source "$(dirname "$0")/lib/obs-session.sh"
e2e_isolate "$@"

module=$1 data=$2 simulator=$3
e2e_session
e2e_prepare "$module" "$data"
e2e_start_camera "$simulator"
e2e_start_obs

log=$(obs_session_log "$home")
grep -q "\[Kavren\] loading kavren-camera-controller" "$log" || fail "no version line at load"
obs_session_wait_for_log "$home" "^[0-9:.]*:     kavren-camera-controller.so" 30 ||
	fail "OBS does not list the module among its loaded modules"
grep -q "Failed to load 'en-US' text for module: 'kavren-camera-controller" "$log" && fail "the locale table did not load"
echo "OBS loaded the module and ran its load"
# The relay logs through its Qt logging category: the module's message handler must bring the line into OBS's log.
obs_session_wait_for_log "$home" "\[Kavren\] ViscaTransfer: Listening on TCP port 55260" 30 ||
	fail "the relay's start line did not reach OBS's log"
echo "The module's Qt log lines reach OBS's log"

# Keys typed into the main window before OBS has finished its start can go astray.
obs_session_wait_for_log "$home" "==== Startup complete" 60 || fail "OBS did not finish its start"
if xdotool search --onlyvisible --name "^Kavren OBS Camera Controller\$" >/dev/null 2>&1; then
	fail "the controller window showed before the Tools-menu entry was used"
fi
obs_session_trigger_tools_action "Kavren OBS Camera Controller" || fail "the Tools-menu entry did not show the controller"
echo "The Tools-menu entry showed the controller window"
