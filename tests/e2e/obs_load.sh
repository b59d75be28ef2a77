#!/usr/bin/env bash
# End to end in the real OBS: installs the built module into a temporary HOME, starts OBS under Xvfb, checks from
# OBS's log that it loaded the module, ran its load and routes its Qt log lines there, then triggers the Tools-menu
# entry and checks that the controller window shows; on OBS 32 the Plugin Manager lists it by its manifest. OBS is
# then quit from its File menu, and its profiler tells how long loading this module and obs-websocket took. Runs in
# a network namespace of its own where it can, so nothing leaves the machine.
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

# OBS 32's Plugin Manager lists the module by the name, id and version of the manifest in its data folder.
if [ "${obs_major:-0}" -ge 32 ]; then
	modules=$(find "$home/.config/obs-studio" -name modules.json -path '*plugin_manager*' | head -n 1)
	[ -n "$modules" ] || fail "OBS $obs_major wrote no Plugin Manager list"
	listed=$("$python" -c '
import json, sys
manifest = json.load(open(sys.argv[2]))
entry = [m for m in json.load(open(sys.argv[1])) if m["module_name"] == "kavren-camera-controller"]
if not entry or any(entry[0][key] != manifest[key] for key in ("display_name", "id", "version")):
    sys.exit(1)
print("%s %s (%s)" % (entry[0]["display_name"], entry[0]["version"], entry[0]["id"]))' "$modules" "$data/manifest.json") ||
		fail "the Plugin Manager does not list the module as its manifest says: $(cat "$modules")"
	echo "OBS's Plugin Manager lists $listed"
fi

# OBS writes its profiler's figures to its log once it has exited: how long loading each module took, ours beside
# obs-websocket's. Printed as a measurement; a busy machine makes any of them longer. OBS is quit as a user quits it,
# from its File menu: OBS 29 ends on SIGTERM without its exit, and OBS 32 on SIGTERM closes a floating dock first,
# which asks whether to show it again and waits for an answer.
e2e_quit_from_file_menu || fail "OBS did not exit within 30 s of File → Exit"
wait "$OBS_PID"
status=$?
[ "$status" -eq 0 ] || fail "OBS exited with status $status"
log=$(obs_session_log "$home")
# OBS separates a figure from its unit with a no-break space.
load_time() { grep -o "obs_init_module($1\.so): [0-9.]*" "$log" | grep -o '[0-9.]*$'; }
ours=$(load_time kavren-camera-controller) websocket=$(load_time obs-websocket)
[ -n "$ours" ] || fail "OBS's profiler did not report the module's load"
echo "Loading took ${ours} ms for this module, ${websocket:-no figure for obs-websocket} ms for obs-websocket (OBS $obs_major)"
