#!/usr/bin/env bash
# End to end in the real OBS, through the accessibility bus, as a screen reader sees the controller window: under
# OBS's default theme and under another theme OBS ships, the window's buttons keep their designed sizes; a screen
# reader's actions connect slot 1, select preset 1 and CALL it, and OBS keeps answering on its UI thread while the
# call is in progress; docked beside OBS's docks on a 1366x768 screen, OBS's window stays on the screen. With
# --screenshot FILE VIEW it saves the window in its simple or advanced view from the real OBS instead, or the whole
# screen with the controller docked (README's pictures), under OBS's default theme or THEME. Runs in a network
# namespace of its own where it can; every OBS start gets a D-Bus session (and so an accessibility bus) of its own.
# Usage: obs_window.sh MODULE_FILE DATA_DIR SIMULATOR [--screenshot FILE simple|advanced|pictures|docked [THEME]]
# (pictures: the simple view with presets 1 to 3 stored over a colour source, so that their buttons show pictures,
# and the pointer resting on preset 2)
# shellcheck source-path=SCRIPTDIR source=lib/obs-session.sh
source "$(dirname "$0")/lib/obs-session.sh"
e2e_isolate "$@"

module=$1 data=$2 simulator=$3
# One OBS start: --run THEME sizes|call|dock|laptop|screenshot [FILE VIEW], inside its own D-Bus session.
if [ "${4:-}" != --run ]; then
	run() { KAVREN_E2E_DBUS='' "$0" "$module" "$data" "$simulator" --run "$@"; }
	if [ "${4:-}" = --screenshot ]; then
		if [ "$6" = docked ]; then
			run "${7:-Yami}" laptop "$5"
		else
			run "${7:-Yami}" screenshot "$5" "$6"
		fi
		exit
	fi
	run Light sizes && run Yami sizes && run Yami call && run Yami dock && run Yami laptop
	exit
fi
e2e_dbus "$@"
theme=$5 check=$6 screenshot=${7:-} view=${8:-}
e2e_session
export QT_ACCESSIBILITY=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1

# start_obs SETTINGS_JSON [hidden]: a fresh OBS configuration under the theme with our settings file, OBS's
# WebSocket server on, and the controller window open (unless asked to stay hidden).
start_obs() {
	e2e_prepare "$module" "$data" "$1"
	sed -i "s/^\[General\]$/[General]\nCurrentTheme3=$theme/" "$home/.config/obs-studio/global.ini"
	e2e_websocket_server 4455
	restart_obs
	[ "${2:-}" = hidden ] && return
	obs_session_trigger_tools_action "Kavren OBS Camera Controller" || fail "the controller window did not show"
}

# restart_obs: OBS (again) on the configuration of start_obs, up to its main window with its docks in place.
restart_obs() {
	e2e_start_obs
	# The accessibility bus keeps where a control was first seen: nothing is asked before OBS has put its docks
	# where they were.
	obs_session_wait_for_log "$home" "==== Startup complete" 60 || fail "OBS did not finish its start"
	wait_steady xdotool getwindowgeometry --shell "$(main_window)" || fail "OBS's main window did not settle"
}

# check_sizes THEME: the pad, the presets and the slots as large as the design makes them.
# check_sizes THEME [compact]: the controls keep the sizes their layout designs, the window's or, docked, the
# compact one's.
check_sizes() {
	local theme=$1 layout=${2:-designed} sizes
	sizes=$(atspi sizes) || fail "the controller window is not on the accessibility bus ($theme)"
	echo "$sizes" | awk -F '\t' -v theme="$theme" -v layout="$layout" '
		BEGIN { split("Up Left,Tilt Up,Up Right,Pan Left,Home,Pan Right,Down Left,Tilt Down,Down Right", pad, ",")
			compact = layout == "compact"
			for (i in pad) minimum[pad[i]] = compact ? "46 36" : "56 56"
			for (n = 1; n <= 9; ++n) minimum[n ""] = compact ? "1 24" : "1 30"
			minimum["STORE"] = minimum["10+"] = minimum["CALL"] = minimum["1"]
			minimum["Stage"] = compact ? "78 24" : "88 30"
			for (n = 2; n <= 8; ++n) minimum["Camera " n] = minimum["Stage"] }
		($1 in minimum) { split(minimum[$1], need, " "); seen[$1] = 1
			if ($2 < need[1] || $3 < need[2]) { printf "%s: %s is %dx%d, the design needs %sx%s\n", theme, $1, $2, $3, need[1], need[2]; bad = 1 } }
		END { for (name in minimum) if (!(name in seen)) { printf "%s: no control named %s\n", theme, name; bad = 1 }
			exit bad }' || fail "the $theme theme squeezed the window"
	echo "$theme theme: the pad $(echo "$sizes" | awk -F '\t' '$1 == "Tilt Up" { print $2 "x" $3 }'), presets $(echo "$sizes" | awk -F '\t' '$1 == "1" { print $2 "x" $3 }'), slots $(echo "$sizes" | awk -F '\t' '$1 == "Stage" { print $2 "x" $3 }')"
}

# readme_settings VIEW: the settings of README's pictures: named slots and presets, the camera last used (connected
# again at start) and the view.
readme_settings() {
	echo "{ \"Camera1IP\": \"127.0.0.2\", \"Camera1NickName\": \"Stage\", \"Camera2NickName\": \"Wide\",
		\"Camera3NickName\": \"Pulpit\", \"Camera1PresetNames\": { \"1\": \"Opening\", \"2\": \"Speaker\",
		\"3\": \"Choir\" }, \"Camera1Source\": \"Stage shot\", \"ControllerSlot\": 1,
		\"ControllerView\": \"${1/pictures/simple}\" }"
}

# store_pictures: presets 1 to 3 of slot 1 stored through obs-websocket while its source, a colour source, shows
# a colour of its own for each, so that their buttons show their pictures.
store_pictures() {
	local preset colour request
	request() { "$python" "$e2e_dir/obs_request.py" ws://127.0.0.1:4455 "$@" 5 >/dev/null; }
	request CreateInput '{"sceneName":"Scene","inputName":"Stage shot","inputKind":"color_source_v3",
		"inputSettings":{"width":1280,"height":720}}' || fail "OBS did not make the colour source"
	# OBS keeps colours as 0xAABBGGRR: a warm orange, a teal and a violet.
	for preset in 1 2 3; do
		colour=$(echo "4281308415 4290216960 4291838080" | cut -d' ' -f"$preset")
		request SetInputSettings "{\"inputName\":\"Stage shot\",\"inputSettings\":{\"color\":$colour}}" ||
			fail "OBS did not colour the source"
		request CallVendorRequest "{\"vendorName\":\"kavren-camera-controller\",\"requestType\":\"StorePreset\",
			\"requestData\":{\"slot\":1,\"preset\":$preset}}" || fail "StorePreset $preset was not passed on"
		wait_until 10 picture_stored "$preset" || fail "preset $preset got no picture"
	done
}
picture_stored() { [ -n "$(find "$home" -name "Camera1-$1.png" -size +0 2>/dev/null)" ]; }

# hover_preset NAME: rests the pointer on the preset button named NAME, coming from outside the window as an
# operator's does, until the button's picture shows larger in a window of its own.
hover_preset() {
	local windows
	windows=$(top_windows)
	xdotool mousemove 0 0
	# shellcheck disable=SC2046 # the X and the Y
	xdotool mousemove --sync $(atspi_now center "$1") mousemove_relative --sync 1 1
	wait_until 10 more_top_windows "$windows" || fail "resting on preset $1 did not show its picture"
}
top_windows() { xwininfo -root -children | grep -c '^ *0x'; }
more_top_windows() { [ "$(top_windows)" -gt "$1" ]; }

# dock_controller: shows the controller from View → Docks and docks it into OBS's window.
dock_controller() {
	local float_button
	atspi obs-press "Camera Controller" || fail "View → Docks has no Camera Controller entry"
	# The dock's own button, clicked as the operator does: its accessible action does not reach Qt's title bar.
	# The window manager may still be placing the new floating window: click where the button has come to rest.
	wait_steady atspi_now center Float || fail "the floating controller has no button to dock it"
	float_button=$steady_output
	xdotool mousemove $float_button click 1
	atspi_until docked || fail "the controller did not dock into OBS's window"
}

# save_window FILE: the controller window's place on the screen, with what shows over it.
save_window() {
	local window
	window=$(xdotool search --onlyvisible --name "^Kavren OBS Camera Controller\$" | head -n 1)
	[ -n "$window" ] || fail "could not save $1: no controller window"
	eval "$(xdotool getwindowgeometry --shell "$window")"
	import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$1" || fail "could not save $1"
}

e2e_start_camera "$simulator"
stage='{ "Camera1IP": "127.0.0.2", "Camera1NickName": "Stage" }'

case $check in
sizes)
	start_obs "$stage"
	check_sizes "$theme"
	;;
screenshot)
	start_obs "$(readme_settings "$view")"
	atspi_until checked Stage || fail "the remembered slot did not connect"
	wait_steady wc -l "$sim_log" || fail "the camera was still being read back"
	if [ "$view" = pictures ]; then
		store_pictures
		hover_preset Speaker
	fi
	mkdir -p "$(dirname "$screenshot")"
	save_window "$screenshot"
	echo "Saved the $view view to $screenshot"
	;;
call)
	start_obs "$stage"
	# A screen reader connects slot 1, selects preset 1 and calls it.
	atspi press Stage || fail "slot 1 has no action"
	atspi_until checked Stage || fail "the screen reader's press did not connect slot 1"
	atspi press 1 || fail "preset 1 has no action"
	atspi checked 1 || fail "the screen reader's press did not select preset 1"
	readbacks_before=$(rx_count "81 09 04 47 ff")
	atspi press CALL || fail "CALL has no action"
	wait_for_rx "81 01 04 3f 02 01 ff" 5 || fail "CALL did not recall preset 1"

	# The recall holds the camera for more than a second before the window reads the camera back. OBS's
	# studio-mode switch runs on OBS's UI thread and answers once that thread ran it; whether that was before the
	# read-back is printed, not required: a busy machine may take longer than the call.
	"$python" "$e2e_dir/obs_request.py" ws://127.0.0.1:4455 SetStudioModeEnabled '{"studioModeEnabled": true}' 5 \
		>/dev/null 2>"$session/request-time.txt" || fail "OBS did not answer the studio-mode request"
	during=$([ "$(rx_count "81 09 04 47 ff")" -eq "$readbacks_before" ] && echo "during the call" ||
		echo "after the call")
	wait_for_rx "81 09 04 47 ff" 10 "$readbacks_before" || fail "the call did not read the camera back"
	echo "A screen reader connected slot 1 and called preset 1; OBS answered $during" \
		"($(cat "$session/request-time.txt"))"
	;;
dock)
	# The controller as one of OBS's docks: shown from View → Docks, docked into OBS's window with the dock's own
	# button, driven there, and found docked again after OBS restarts.
	start_obs "$stage" hidden
	dock_controller
	atspi press Stage || fail "slot 1 has no action in the dock"
	atspi_until checked Stage || fail "slot 1 did not connect from the dock"
	wait_for_rx "81 09 00 02 ff" 5 || fail "the camera of slot 1 was not asked who it is"
	# OBS saves its layout when it is closed as the operator closes it.
	atspi obs-press Exit || fail "OBS has no Exit entry"
	wait_until 10 obs_gone || fail "OBS did not exit from its Exit entry"
	obs_session_stop
	grep -q '^DockState=' "$(obs_user_ini "$home")" || fail "OBS did not save its docks' layout"
	restart_obs
	# Asked after a restart, the accessibility bus may still list the OBS that ended; the controller says itself
	# where OBS put it.
	obs_session_wait_for_log "$home" "\[Kavren\] the controller is shown docked in OBS's window" 30 ||
		fail "OBS did not restore the controller docked"
	echo "The controller docked from View → Docks, drove slot 1 there and came back docked after a restart"
	;;
laptop)
	# Docked beside OBS's own docks on a laptop's 1366x768 screen, the controller leaves OBS's window on the
	# screen and takes its compact layout (which fits such a dock without scrolling: tst_ControllerDock).
	export KAVREN_XVFB_SCREEN=1366x768x24
	if [ -n "$screenshot" ]; then
		start_obs "$(readme_settings simple)" hidden
	else
		start_obs "$stage" hidden
	fi
	# OBS's own window before the controller docks: OBS 32 opens taller than this screen by itself. Docked, the
	# controller must not make it taller than the screen, or than OBS made it.
	main=$(main_window)
	eval "$(xdotool getwindowgeometry --shell "$main")"
	own_height=$HEIGHT
	dock_controller
	wait_steady xdotool getwindowgeometry --shell "$main" || fail "OBS's window did not settle with the dock"
	eval "$(xdotool getwindowgeometry --shell "$main")"
	[ "$HEIGHT" -le "$((own_height > 768 ? own_height : 768))" ] ||
		fail "docked, the controller made OBS's window ${HEIGHT} px tall on a 768 px screen (OBS's own: $own_height px)"
	if [ -n "$screenshot" ]; then
		atspi_until checked Stage || fail "the remembered slot did not connect"
		wait_steady wc -l "$sim_log" || fail "the camera was still being read back"
		import -window "$main" "$screenshot" || fail "could not save $screenshot"
	else
		check_sizes "$theme" compact
	fi
	echo "Docked on a 1366x768 screen, OBS's window is ${WIDTH}x${HEIGHT}"
	;;
*)
	fail "unknown check $check"
	;;
esac
