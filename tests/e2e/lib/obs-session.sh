# shellcheck shell=bash
# The start-up every end-to-end script shares, on top of scripts/lib/obs-session.sh: a network namespace of the
# script's own where it can (root), a D-Bus session of its own for the accessibility bus, a throw-away folder with
# OBS's HOME in it, the simulated camera and its log, OBS under Xvfb up to its main window, bounded waits on
# conditions, and an end that takes down whatever the run started. Source it first thing, then call
# e2e_isolate "$@" (and e2e_dbus "$@" where the accessibility bus is used).
set -uo pipefail

e2e_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source-path=SCRIPTDIR source=../../../scripts/lib/obs-session.sh
source "$e2e_dir/../../scripts/lib/obs-session.sh"
# Debian's interpreter has the accessibility and websockets modules; another python3 earlier on PATH may not.
python=/usr/bin/python3
[ -x "$python" ] || python=python3

# The OBS the tests drive, by its major version: where it keeps its settings and what it reads differ between them.
obs_major=$(obs --version 2>/dev/null | grep -o '[0-9]\+' | head -n 1)
# obs_user_ini HOME: the file OBS keeps the operator's settings in, such as its docks' layout: global.ini until OBS
# 31 moved them to user.ini (copying global.ini there on its first start).
obs_user_ini() {
	if [ "${obs_major:-0}" -ge 31 ]; then
		echo "$1/.config/obs-studio/user.ini"
	else
		echo "$1/.config/obs-studio/global.ini"
	fi
}

# key_down KEY, key_up KEY: holds and releases KEY (an X keysym name such as F5) by its key code, as a keyboard does.
# Named by its keysym, xdotool 3.20160805 sends a function key with Alt held under Debian testing's keyboard data,
# which matches no binding; the key code alone is the key itself under any keyboard data.
key_code() {
	"$python" -c '
import ctypes, sys
x11 = ctypes.CDLL("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XStringToKeysym.restype = ctypes.c_ulong
x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
display = x11.XOpenDisplay(None)
code = x11.XKeysymToKeycode(display, x11.XStringToKeysym(sys.argv[1].encode())) if display else 0
sys.exit(print(code) if code else 1)' "$1"
}
key_down() { xdotool keydown "$(key_code "$1")"; }
key_up() { xdotool keyup "$(key_code "$1")"; }

# e2e_isolate "$@": runs the script again in a network namespace of its own with only loopback up, where it can.
e2e_isolate() {
	if [ "${KAVREN_E2E_ISOLATED:-}" != 1 ] && [ "$(id -u)" -eq 0 ] && unshare --net true 2>/dev/null; then
		exec env KAVREN_E2E_ISOLATED=1 unshare --net bash -c 'ip link set lo up && exec "$0" "$@"' "$0" "$@"
	fi
}

# e2e_dbus "$@": runs the script again inside a D-Bus session (and so an accessibility bus) of its own.
e2e_dbus() {
	if [ "${KAVREN_E2E_DBUS:-}" != 1 ]; then
		exec env KAVREN_E2E_DBUS=1 dbus-run-session -- "$0" "$@" 2> >(grep -v '^dbus-daemon' >&2)
	fi
}

# e2e_session: $session (removed at exit), $home for OBS inside it and $sim_log. At exit the PIDs in e2e_helpers
# end first, then OBS and Xvfb, then the simulated camera.
e2e_session() {
	session=$(mktemp -d /tmp/kavren-e2e.XXXXXX)
	home="$session/home"
	sim_log="$session/sim.log"
	sim_pid=
	e2e_helpers=()
	trap e2e_end EXIT
}
e2e_end() {
	obs_session_end "${e2e_helpers[@]}"
	obs_session_stop
	obs_session_end "$sim_pid"
	rm -rf "$session"
}

# fail MESSAGE: says why the run failed, with the ends of the simulated camera's and OBS's logs, and exits 1.
fail() {
	local log
	echo "FAIL: $*"
	[ -s "${sim_log:-}" ] && { echo "--- simulated camera (tail) ---"; tail -n 20 "$sim_log"; }
	log=$(obs_session_log "${home:-/nonexistent}")
	[ -n "$log" ] && { echo "--- OBS log (tail) ---"; tail -n 30 "$log"; }
	exit 1
}

# e2e_prepare MODULE_FILE DATA_DIR [SETTINGS_JSON]: OBS's configuration in $home with the module installed, a
# profile folder and our settings file.
e2e_prepare() {
	mkdir -p "$home/.local/share/obs" "$home/.config/obs-studio/basic/profiles/Untitled"
	obs_session_prepare "$home" "$1" "$2"
	[ -z "${3:-}" ] || echo "$3" >"$home/.local/share/obs/KavrenOBSPlugin.json"
}

# e2e_websocket_server PORT: OBS's own WebSocket server on, without a password.
e2e_websocket_server() {
	sed -i "s/^ServerEnabled=false$/ServerEnabled=true\nAuthRequired=false\nServerPort=$1/" \
		"$home/.config/obs-studio/global.ini"
}

# e2e_start_camera SIMULATOR: the simulated camera at 127.0.0.2:52381, every datagram in $sim_log.
e2e_start_camera() {
	"$1" --address 127.0.0.2 --model NX-B93K --log >"$sim_log" 2>&1 &
	sim_pid=$!
}

# e2e_start_obs: Xvfb, then OBS on $home, up to its main window with our module loaded.
e2e_start_obs() {
	obs_session_start_xvfb || fail "Xvfb did not start"
	obs_session_start_obs "$home" "$session/obs-output.txt"
	obs_session_wait_for_log "$home" "\[Kavren\] module loaded" 90 || fail "the module's load did not run"
	obs_session_wait_for_window "OBS [0-9].*" 30 || fail "OBS's main window did not show"
}

# e2e_quit_from_file_menu: quits OBS with File → Exit, the menu's last entry, as a user does (the keyboard does not
# reach the menu bar while the preview has the focus); true once OBS has gone.
e2e_quit_from_file_menu() {
	local windows_before
	obs_windows() { xdotool search --onlyvisible --pid "$OBS_PID" 2>/dev/null | wc -l; }
	windows_before=$(obs_windows)
	xdotool mousemove --window "$(main_window)" 20 12 click 1
	menu_shown() { [ "$(obs_windows)" -gt "$windows_before" ]; }
	wait_until 5 menu_shown || return 1
	xdotool key Up Return
	wait_until 30 obs_gone
}

# wait_until SECONDS COMMAND...: runs COMMAND every 0.1 s until it succeeds; false after SECONDS.
wait_until() {
	local seconds=$1 _
	shift
	for _ in $(seq 1 $((seconds * 10))); do
		"$@" && return 0
		sleep 0.1
	done
	return 1
}

# rx_count PATTERN: how many datagrams whose payload matches PATTERN the camera has received.
rx_count() {
	grep -ciE "^rx 01 [01]0 00 [0-9a-f]{2} ([0-9a-f]{2} ){4}$1" "$sim_log"
}
rx_more_than() { [ "$(rx_count "$1")" -gt "$2" ]; }
# wait_for_rx PATTERN SECONDS [COUNT]: waits until more than COUNT (default 0) such datagrams arrived.
wait_for_rx() { wait_until "$2" rx_more_than "$1" "${3:-0}"; }

obs_gone() { ! kill -0 "$OBS_PID" 2>/dev/null; }

# steady COMMAND...: true once COMMAND's output stayed the same over half a second of calls made every 0.1 s
# (wait_until's pace): a window OBS still lays out, a camera still being read back, change within that.
steady() {
	local now
	now=$("$@" 2>/dev/null) || return 1
	if [ "$now" != "${steady_output:-}" ]; then
		steady_output=$now steady_polls=0
		return 1
	fi
	steady_polls=$((steady_polls + 1))
	[ "$steady_polls" -ge 5 ]
}
# wait_steady COMMAND...: waits (bounded) until COMMAND's output is steady.
wait_steady() {
	steady_output=
	wait_until 10 steady "$@"
}
main_window() { xdotool search --onlyvisible --name '^OBS [0-9]' | head -n 1; }

# The controller window through the accessibility bus, by its controls' names.
atspi() { KAVREN_OBS_PID=${OBS_PID:-} "$python" "$e2e_dir/atspi_window.py" "$@"; }
atspi_now() { KAVREN_ATSPI_TIMEOUT=1 atspi "$@"; }
# atspi_until CHECK NAME: waits (bounded) until the control NAME passes CHECK (checked, enabled, docked).
atspi_until() { wait_until 30 atspi_now "$@"; }
