#!/usr/bin/env bash
# Installs what is needed, builds, and starts OBS with the controller in a demo configuration of its own
# (.demo/ in this folder: the user's own OBS settings are never touched). Slot 1 points at CAMERA_ADDRESS, or at a
# simulated camera on 127.0.0.2 when no address is given (three more simulated cameras answer the camera search). Without a display, OBS runs under Xvfb and a screenshot
# of the controller window is saved to .demo/controller.png.
# Usage: scripts/demo.sh [CAMERA_ADDRESS]    (DEMO_DURATION=SECONDS stops the demo by itself)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
camera=${1:-}
# The demo in the Debian 13 root keeps its own folder (KAVREN_DEMO_DIR): OBS 30 rewrites the configuration it finds.
demo=${KAVREN_DEMO_DIR:-$root/.demo}
home="$demo/home"

"$root/scripts/install-deps.sh"
build=${KAVREN_BUILD_DIR:-$root/build}
# Only what the demo runs: the module and the simulated cameras, configured as the test command builds the rest.
(cd "$root" && cmake --preset ci -B "$build" >/dev/null)
cmake --build "$build" -j"$(nproc)" --target kavren-camera-controller kavren-camera-sim

# shellcheck source=lib/obs-session.sh
source "$root/scripts/lib/obs-session.sh"
sim_pid=
cleanup() {
	obs_session_stop
	[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
	true
}
trap cleanup EXIT INT TERM

mkdir -p "$home"
obs_session_prepare "$home" "$build/plugin/kavren-camera-controller.so" "$root/data"

if [ -z "$camera" ]; then
	# Four cameras of different families on 127.0.0.2 to .5; the controller's camera search (Settings ->
	# Camera Assignment) probes them alone, never the real network.
	camera=127.0.0.2
	"$build/sim/kavren-camera-sim" --log \
		--address 127.0.0.2 --model NX-B93K --name Stage \
		--address 127.0.0.3 --model NX-D26G --name Wide \
		--address 127.0.0.4 --model NX-HX7 --name Pulpit \
		--address 127.0.0.5 --model NX-W38B --name Balcony >"$demo/sim.log" 2>&1 &
	sim_pid=$!
	export KAVREN_DISCOVERY_ADDRESS=$camera
	echo "Simulated cameras on 127.0.0.2-5 (their traffic: $demo/sim.log)"
fi

# Slot 1 of the demo points at the camera, unless the operator already assigned it in an earlier demo.
settings_dir="$home/.local/share/obs"
mkdir -p "$settings_dir"
python3 - "$settings_dir/KavrenOBSPlugin.json" "$camera" <<'PY'
import json, os, sys
path, address = sys.argv[1], sys.argv[2]
settings = {}
if os.path.exists(path) and os.path.getsize(path) > 0:
    with open(path) as f:
        settings = json.load(f)
settings.setdefault("Camera1IP", address)
settings.setdefault("Camera1NickName", "Demo")
# The controller takes up the slot last used at start: the demo opens on a connected camera.
settings.setdefault("ControllerSlot", 1)
with open(path + ".tmp", "w") as f:
    json.dump(settings, f, indent=4)
os.replace(path + ".tmp", path)
PY

headless=
if [ -z "${DISPLAY:-}" ]; then
	headless=1
	obs_session_start_xvfb
fi
obs_session_start_obs "$home" "$demo/obs-output.txt"
obs_session_wait_for_log "$home" "\[Kavren\] module loaded" 90 || { echo "OBS did not load the module"; exit 1; }
if [ -z "$headless" ]; then
	echo "OBS runs with the controller: Tools -> Kavren OBS Camera Controller (OBS log: $(obs_session_log "$home"))"
else
	echo "OBS runs on a virtual display (no DISPLAY here), with the controller (OBS log: $(obs_session_log "$home"))"
	obs_session_wait_for_window "OBS [0-9].*" 30
	sleep 2
	if obs_session_trigger_tools_action "Kavren OBS Camera Controller"; then
		sleep 1
		window=$(xdotool search --onlyvisible --name "^Kavren OBS Camera Controller\$" | head -n 1)
		xwd -id "$window" -silent | convert xwd:- "$demo/controller.png"
		echo "Screenshot of the controller window: $demo/controller.png"
	else
		echo "Could not open the controller window from the Tools menu"
	fi
fi

echo "Press Ctrl+C to stop the demo."
if [ -n "${DEMO_DURATION:-}" ]; then
	sleep "$DEMO_DURATION"
else
	wait "$OBS_PID" || true
fi
