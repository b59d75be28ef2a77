# Shared by the demo and the end-to-end test: a throw-away OBS configuration with our module installed,
# an Xvfb display when needed, and a way to trigger the module's Tools-menu action like a user would.
# Source it; every function reports failure through its exit status.

# shellcheck source=xvfb.sh
source "$(dirname "${BASH_SOURCE[0]}")/xvfb.sh"

# obs_session_prepare HOME MODULE_FILE DATA_DIR: per-user plug-in layout inside HOME and a quiet first start.
obs_session_prepare() {
	local home=$1 module=$2 data=$3
	local plugin_dir="$home/.config/obs-studio/plugins/kavren-camera-controller"
	mkdir -p "$plugin_dir/bin/64bit" "$plugin_dir/data"
	cp "$module" "$plugin_dir/bin/64bit/"
	cp -r "$data/." "$plugin_dir/data/"
	obs_session_prepare_config "$home"
}

# obs_session_prepare_config HOME: a quiet first start for the modules OBS finds on its own (an installed package).
obs_session_prepare_config() {
	local home=$1
	mkdir -p "$home/.config/obs-studio"
	# A configuration that has been through its first start: no wizard or first-load box covers our window,
	# and OBS's own WebSocket server stays off.
	if [ ! -f "$home/.config/obs-studio/global.ini" ]; then
		cat >"$home/.config/obs-studio/global.ini" <<'INI'
[General]
FirstRun=false
LastVersion=486539266
Pre19Defaults=false
Pre21Defaults=false
Pre23Defaults=false
Pre24.1Defaults=false

[Basic]
Profile=Untitled
ProfileDir=Untitled
SceneCollection=Untitled
SceneCollectionFile=Untitled

[OBSWebSocket]
FirstLoad=false
ServerEnabled=false
AlertsEnabled=false
INI
	fi
}

# obs_session_start_xvfb: starts Xvfb on a free display; sets DISPLAY and XVFB_PID.
obs_session_start_xvfb() {
	xvfb_start
}

# obs_session_start_obs HOME OUTPUT_FILE: starts OBS in the background with HOME pointed at the session; sets OBS_PID.
obs_session_start_obs() {
	local home=$1 output=$2
	# The logs an earlier run left in this home are not this run's.
	touch "$home/.obs-session-start"
	HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
		XDG_CACHE_HOME="$home/.cache" XDG_RUNTIME_DIR="$home/.runtime" \
		obs --multi --disable-shutdown-check >"$output" 2>&1 &
	OBS_PID=$!
}

# obs_session_log HOME: the OBS log file of the session's latest run; nothing before that run wrote one.
obs_session_log() {
	local newest marker="$1/.obs-session-start"
	newest=$(ls -t "$1/.config/obs-studio/logs/"*.txt 2>/dev/null | head -n 1)
	if [ -n "$newest" ] && { [ ! -e "$marker" ] || [ "$newest" -nt "$marker" ]; }; then
		echo "$newest"
	fi
}

# obs_session_wait_for_log HOME PATTERN SECONDS: waits until the session's OBS log holds PATTERN.
obs_session_wait_for_log() {
	local home=$1 pattern=$2 seconds=$3 i log
	for i in $(seq 1 $((seconds * 5))); do
		log=$(obs_session_log "$home")
		[ -n "$log" ] && grep -q -- "$pattern" "$log" && return 0
		kill -0 "$OBS_PID" 2>/dev/null || return 1
		sleep 0.2
	done
	return 1
}

# obs_session_wait_for_window TITLE SECONDS: waits until a visible window with that exact title exists.
obs_session_wait_for_window() {
	local title=$1 seconds=$2 i
	for i in $(seq 1 $((seconds * 5))); do
		xdotool search --onlyvisible --name "^${title}\$" >/dev/null 2>&1 && return 0
		sleep 0.2
	done
	return 1
}

# obs_session_trigger_tools_action TEXT: opens OBS's Tools menu with the keyboard and activates the entry TEXT.
# The entry's place in the menu depends on which other plug-ins load, so each entry is tried from the bottom
# up until the window of that title appears.
obs_session_trigger_tools_action() {
	local text=$1 main attempt
	main=$(xdotool search --onlyvisible --name '^OBS [0-9]' 2>/dev/null | head -n 1)
	[ -n "$main" ] || return 1
	for attempt in $(seq 1 12); do
		xdotool windowfocus --sync "$main" 2>/dev/null || xdotool windowfocus "$main"
		xdotool key --clearmodifiers alt+t
		sleep 0.5
		xdotool key --delay 120 $(printf 'Up %.0s' $(seq 1 "$attempt")) Return
		obs_session_wait_for_window "$text" 2 && return 0
		# Close whatever else the key strokes opened, then try the next entry.
		xdotool key Escape
		sleep 0.3
	done
	return 1
}

# obs_session_stop: ends OBS (politely first) and Xvfb, whatever state they are in.
obs_session_stop() {
	if [ -n "${OBS_PID:-}" ] && kill -0 "$OBS_PID" 2>/dev/null; then
		kill -TERM "$OBS_PID" 2>/dev/null || true
		for _ in $(seq 1 50); do
			kill -0 "$OBS_PID" 2>/dev/null || break
			sleep 0.1
		done
		kill -KILL "$OBS_PID" 2>/dev/null || true
		wait "$OBS_PID" 2>/dev/null || true
	fi
	xvfb_stop
}

# obs_session_end PID...: ends the test's own helper processes (empty arguments are skipped) and waits for them.
obs_session_end() {
	local pid
	for pid in "$@"; do
		[ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
	done
	return 0
}

# obs_session_fail HOME SIM_LOG MESSAGE: says why a run failed, with the ends of the simulated camera's and OBS's
# logs, and exits 1.
obs_session_fail() {
	local home=$1 sim_log=$2 log
	shift 2
	echo "FAIL: $*"
	echo "--- simulated camera (tail) ---"
	tail -n 20 "$sim_log"
	log=$(obs_session_log "$home")
	[ -n "$log" ] && { echo "--- OBS log (tail) ---"; tail -n 30 "$log"; }
	exit 1
}
