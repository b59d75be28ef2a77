#!/usr/bin/env bash
# End to end in the real OBS, driving the controller window through the accessibility bus by its controls' names: it
# connects to the simulated camera in slot 1, a direction button moves it, an OBS hotkey bound in the profile's
# basic.ini (as OBS's own hotkey settings save it) moves it, OBS keeps answering on its UI thread while a preset call
# is in progress, and a WebSocket client moves the camera through the relay and gets the replies. The simulated
# camera's log shows the bytes. Runs in a network namespace of its own where it can.
# Usage: obs_control.sh MODULE_FILE DATA_DIR SIMULATOR RELAY_CLIENT
set -uo pipefail

if [ "${KAVREN_E2E_ISOLATED:-}" != 1 ] && [ "$(id -u)" -eq 0 ] && unshare --net true 2>/dev/null; then
	exec env KAVREN_E2E_ISOLATED=1 unshare --net bash -c 'ip link set lo up && exec "$0" "$@"' "$0" "$@"
fi

# The window is driven through the accessibility bus, which needs a D-Bus session of its own.
if [ "${KAVREN_E2E_DBUS:-}" != 1 ]; then
	exec env KAVREN_E2E_DBUS=1 dbus-run-session -- "$0" "$@" 2> >(grep -v '^dbus-daemon' >&2)
fi

module=$1 data=$2 simulator=$3 relay_client=$4
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../scripts/lib/obs-session.sh
source "$here/../../scripts/lib/obs-session.sh"

session=$(mktemp -d /tmp/kavren-e2e.XXXXXX)
home="$session/home"
sim_log="$session/sim.log"
sim_pid=
cleanup() {
	obs_session_stop
	obs_session_end "$sim_pid"
	rm -rf "$session"
}
trap cleanup EXIT

fail() { obs_session_fail "$home" "$sim_log" "$@"; }

# rx_count PATTERN: how many datagrams whose payload matches PATTERN the camera has received.
rx_count() {
	grep -ciE "^rx 01 [01]0 00 [0-9a-f]{2} ([0-9a-f]{2} ){4}$1" "$sim_log"
}

# wait_for_rx PATTERN SECONDS [COUNT]: waits until the camera has received more than COUNT (default 0) datagrams
# whose payload matches PATTERN.
wait_for_rx() {
	local i
	for i in $(seq 1 $(($2 * 10))); do
		[ "$(rx_count "$1")" -gt "${3:-0}" ] && return 0
		sleep 0.1
	done
	return 1
}

# Debian's interpreter has the accessibility and websockets modules; another python3 earlier on PATH may not.
python=/usr/bin/python3
[ -x "$python" ] || python=python3
atspi() { "$python" "$here/atspi_window.py" "$@"; }
# wait_until_atspi CHECK NAME: waits (bounded) until the control named NAME passes CHECK (checked, enabled).
wait_until_atspi() {
	local _
	for _ in $(seq 1 100); do
		KAVREN_ATSPI_TIMEOUT=1 atspi "$1" "$2" && return 0
		sleep 0.1
	done
	return 1
}

mkdir -p "$home/.local/share/obs" "$home/.config/obs-studio/basic/profiles/Untitled"
obs_session_prepare "$home" "$module" "$data"
cat >"$home/.local/share/obs/KavrenOBSPlugin.json" <<'JSON'
{ "Camera1IP": "127.0.0.2", "Camera1NickName": "Stage", "hotKey": true }
JSON
# F5 bound to "Tilt Up" and F6 to "Call preset 1" the way OBS's hotkey settings store them in the profile.
cat >"$home/.config/obs-studio/basic/profiles/Untitled/basic.ini" <<'INI'
[Hotkeys]
TiltUpHotKey={"bindings":[{"key":"OBS_KEY_F5"}]}
Preset1HotKey={"bindings":[{"key":"OBS_KEY_F6"}]}
INI
# OBS's own WebSocket server, without a password: its UI requests tell whether OBS's UI thread answers.
sed -i 's/^ServerEnabled=false$/ServerEnabled=true\nAuthRequired=false\nServerPort=4455/' \
	"$home/.config/obs-studio/global.ini"

"$simulator" --address 127.0.0.2 --model NX-B93K --log >"$sim_log" 2>&1 &
sim_pid=$!
obs_session_start_xvfb || fail "Xvfb did not start"
QT_ACCESSIBILITY=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 obs_session_start_obs "$home" "$session/obs-output.txt"
obs_session_wait_for_log "$home" "\[Kavren\] module loaded" 90 || fail "the module's load did not run"
obs_session_wait_for_window "OBS [0-9].*" 30 || fail "OBS's main window did not show"
obs_session_trigger_tools_action "Kavren OBS Camera Controller" || fail "the controller window did not show"

# Slot 1 by its name, as a screen reader presses it: identification, then the connected camera.
atspi press Stage || fail "the controller window has no slot named Stage"
wait_for_rx "81 09 00 02 00 05 ff" 10 || fail "pressing slot 1 did not identify the camera"
wait_until_atspi checked Stage || fail "slot 1 did not connect"

# The up button pressed and let go: drive up, then stop. The pad waits for the camera's read-back after a
# connect, and a press on a disabled button does nothing.
wait_until_atspi enabled "Tilt Up" || fail "the pad did not become usable after the connect"
atspi press "Tilt Up" || fail "the controller window has no Tilt Up button"
wait_for_rx "81 01 06 01 [0-9a-f]{2} [0-9a-f]{2} 03 01 ff" 5 || fail "pressing the up button did not move the camera"
wait_for_rx "81 01 06 01 [0-9a-f]{2} [0-9a-f]{2} 03 03 ff" 5 || fail "releasing the up button did not stop the camera"
echo "The controller connected slot 1 and moved the camera"

# The hotkey restored from basic.ini: OBS's hotkey thread, then the controller on the UI thread.
# OBS samples the keyboard's state, so the key is held until the camera has received the move. The moves are
# counted before the key goes down: the hotkey's move can arrive before a count taken after it.
move='81 01 06 01 [0-9a-f]{2} [0-9a-f]{2} 03 01 ff'
moves_before=$(rx_count "$move")
xdotool keydown F5
wait_for_rx "$move" 5 "$moves_before"
moved=$?
xdotool keyup F5
[ "$moved" -eq 0 ] || fail "the F5 hotkey restored from basic.ini did not move the camera"
echo "The hotkey bound in the profile moved the camera"

# A preset call holds the camera for more than a second (the recall and the camera's settling time). While it
# runs, OBS must keep answering: obs-websocket's studio-mode switch runs on OBS's UI thread and answers only once
# that thread ran it. A move pressed right after the call waits behind it on the camera's worker, so as long as
# the camera has not received that move, the call is still in progress.
moves_before=$(rx_count "$move")
# OBS samples the keyboard's state, so a key is held long enough for its hotkey thread to see it.
xdotool keydown F6
wait_for_rx "81 01 04 3f 02 01 ff" 5 || fail "the F6 hotkey did not call preset 1"
xdotool keyup F6
xdotool keydown F5
answer=$("$python" "$here/obs_request.py" ws://127.0.0.1:4455 SetStudioModeEnabled '{"studioModeEnabled": true}' \
	5 2>"$session/request-time.txt") || fail "OBS did not answer the studio-mode request"
moves_now=$(rx_count "$move")
xdotool keyup F5
[ "$moves_now" -eq "$moves_before" ] ||
	fail "OBS answered only after the preset call ended ($(cat "$session/request-time.txt"))"
studio=$("$python" "$here/obs_request.py" ws://127.0.0.1:4455 GetStudioModeEnabled '' 5) ||
	fail "OBS did not report its studio mode"
echo "$studio" | grep -q '"studioModeEnabled": true' || fail "the studio-mode switch did not take effect: $studio"
wait_for_rx "$move" 5 "$moves_before" || fail "the move pressed during the preset call was lost"
echo "OBS answered during a preset call: studio mode switched on its UI thread ($(cat "$session/request-time.txt"))"

# A WebSocket client on this machine: home through the relay, acknowledge and completion back.
replies=$("$python" "$relay_client" ws://127.0.0.1:55260 127.0.0.2 52381 1,0,0,5,0,0,0,9,129,1,6,4,255 2 10) ||
	fail "the relay did not answer the WebSocket client"
wait_for_rx "81 01 06 04 ff" 5 || fail "the relay did not pass the home command on"
echo "$replies" | grep -q '"data":\[1,17,0,3,0,0,0,9,144,65,255\],"ip":"127.0.0.2","port":52381' ||
	fail "the relay's acknowledge was not as expected: $replies"
echo "A WebSocket client moved the camera through the relay and got its replies"

# A web page's handshake (it carries an Origin header) is refused: no origin is allowed by default.
refusal=$("$python" "$relay_client" --origin https://ads.example ws://127.0.0.1:55260 127.0.0.2 52381 \
	1,0,0,5,0,0,0,10,129,1,6,4,255 2 10)
[ "$refusal" = "refused: HTTP 403" ] || fail "the relay let a web page in: $refusal"
echo "The relay refused a web page"
