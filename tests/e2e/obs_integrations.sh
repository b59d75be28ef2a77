#!/usr/bin/env bash
# End to end in the real OBS with obs-websocket: a program on this machine (the npm package obs-websocket-js)
# lists the cameras and calls presets through our vendor requests, a malformed request is refused and sends nothing,
# the vendor's PresetCalled events arrive, a scene linked to a preset in the settings file recalls it when it goes
# to program, and in Studio Mode when it goes to preview, and renaming a linked scene carries the link along in
# the settings file; the camera's tally lamp is lit while the colour source linked to its slot is on program; a
# preset stored through a request keeps a picture of that source, which GetPresets returns, and a source removed
# leaves the next one without; a NUL in a stored name leaves GetCameras' answer whole. The simulated camera's log shows
# the bytes. Runs in a network namespace of its own where it
# can.
# Usage: obs_integrations.sh MODULE_FILE DATA_DIR SIMULATOR NPM_CLIENTS_DIR
# shellcheck source-path=SCRIPTDIR source=lib/obs-session.sh
source "$(dirname "$0")/lib/obs-session.sh"
e2e_isolate "$@"

module=$1 data=$2 simulator=$3 clients=$4
if [ ! -d "$clients/node_modules/obs-websocket-js" ]; then
	echo "SKIP: obs-websocket-js is not installed in $clients (see scripts/install-relay-clients.sh)"
	exit 0
fi

e2e_session
events="$session/events.txt"
settings="$home/.local/share/obs/KavrenOBSPlugin.json"
started=$SECONDS

# A port nobody listens on (any port is free inside a namespace of our own).
port=$("$python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
url="ws://127.0.0.1:$port"
# Started without a function in between where it runs in the background, so that its PID is the client's own.
client_command=(node "$e2e_dir/obs_vendor_client.js" "$clients" "$url")
client() { "${client_command[@]}" "$@"; }
vendor() { client vendor "$@"; }
obs_call() { client obs "$@" >/dev/null || fail "OBS refused $1 $2"; }

recall_pattern() { printf '81 01 04 3f 02 %02x ff' "$1"; }
# expect_first_command MARK PATTERN: the first command the camera received after line MARK of its log matches.
expect_first_command() {
	local first
	first=$(tail -n +"$(($1 + 1))" "$sim_log" | grep -iE '^rx 01 00 00 ' | head -n 1)
	echo "$first" | grep -qiE "$2\$" || fail "the camera received something else first: $first"
}
# wait_for_file FILE TEXT SECONDS
wait_for_file() { wait_until "$3" grep -qsF -- "$2" "$1"; }
# event_arrived TYPE DATA_JSON: whether the listener printed our vendor's event TYPE with that data.
event_arrived() {
	"$python" -c '
import json, sys
wanted = {"type": sys.argv[2], "data": json.loads(sys.argv[3])}
lines = [line for line in open(sys.argv[1]) if line.startswith("{")]
sys.exit(wanted not in [json.loads(line) for line in lines])' "$events" "$1" "$2"
}
wait_for_event() { wait_until "$3" event_arrived "$1" "$2"; }
# expect_answer REQUEST DATA EXPECTED_JSON: a vendor request whose response data is EXPECTED_JSON (keys in any
# order).
expect_answer() {
	local answer
	answer=$(vendor "$1" "$2") || fail "obs-websocket did not pass $1 $2 on"
	"$python" -c 'import json, sys; sys.exit(json.loads(sys.argv[1]) != json.loads(sys.argv[2]))' \
		"$answer" "$3" || fail "$1 $2 answered $answer, not $3"
}

# Slot 2's name holds a NUL, as a hand edit may leave it: libobs refuses such JSON, yet GetCameras still answers.
e2e_prepare "$module" "$data" '{ "Camera1IP": "127.0.0.2", "Camera1NickName": "Stage", "Camera1Source": "Lamp",
  "Camera2NickName": "Back\u0000stage",
  "ScenePresets": [ { "scene": "Wide", "slot": 1, "preset": 3, "on": "program" },
                    { "scene": "Close", "slot": 1, "preset": 4, "on": "preview" },
                    { "scene": "Far", "slot": 1, "preset": 6, "on": "program" } ] }'
e2e_websocket_server "$port"
e2e_start_camera "$simulator"
e2e_start_obs
obs_session_wait_for_log "$home" "\[Kavren\] camera requests offered through obs-websocket" 30 ||
	fail "the camera requests were not offered through obs-websocket"
wait_until 20 client obs GetVersion >/dev/null 2>&1 || fail "obs-websocket did not answer"
echo "OBS is up with the camera requests offered ($((SECONDS - started)) s)"

"${client_command[@]}" events 240 >"$events" 2>&1 &
events_pid=$!
e2e_helpers+=("$events_pid")
wait_for_file "$events" listening 10 || fail "the event listener did not connect"

cameras=$(vendor GetCameras) || fail "obs-websocket did not pass GetCameras on"
"$python" -c '
import json, sys
answer = json.loads(sys.argv[1])
slots = [camera["slot"] for camera in answer["cameras"]]
first = answer["cameras"][0]
sys.exit(not (answer["ok"] and slots == list(range(1, 9)) and first["name"] == "Stage" and
              first["address"] == "127.0.0.2" and answer["cameras"][1]["address"] == "" and
              answer["cameras"][1]["name"] == "Back\ufffdstage"))' "$cameras" ||
	fail "GetCameras did not list the slots: $cameras"
echo "GetCameras lists the slots"

expect_answer CallPreset '{"slot":1,"preset":2}' '{"ok":true}'
wait_for_rx "$(recall_pattern 2)" 10 || fail "CallPreset did not recall preset 2 on the camera"
wait_for_event PresetCalled '{"slot":1,"preset":2,"source":"request"}' 10 ||
	fail "no PresetCalled event for the request: $(cat "$events")"
wait_for_event CameraStatus '{"slot":1,"connected":true,"answering":true}' 10 ||
	fail "no CameraStatus event for the camera: $(cat "$events")"
echo "CallPreset recalled preset 2; the PresetCalled and CameraStatus events arrived"

# A refused request sends nothing: after it, the next command the camera receives is the next good request's (every
# reason for a refusal has its row in tst_CameraRequests).
mark=$(wc -l <"$sim_log")
expect_answer CallPreset '{"slot":1,"preset":99}' '{"ok":false,"error":"preset 99 is not 1 to 19"}'
expect_answer CallPreset '{"slot":1,"preset":5}' '{"ok":true}'
wait_for_rx "$(recall_pattern 5)" 10 || fail "the good request after the refused one did not reach the camera"
expect_first_command "$mark" "$(recall_pattern 5)"
echo "Preset 99 was refused and sent nothing"

obs_call CreateScene '{"sceneName":"Wide"}'
obs_call CreateScene '{"sceneName":"Close"}'
# Close is linked to preview only: in program, without Studio Mode, it recalls nothing, so the next command the
# camera receives is Wide's program preset.
mark=$(wc -l <"$sim_log")
obs_call SetCurrentProgramScene '{"sceneName":"Close"}'
obs_call SetCurrentProgramScene '{"sceneName":"Wide"}'
wait_for_rx "$(recall_pattern 3)" 10 || fail "the program scene Wide did not recall its preset 3"
expect_first_command "$mark" "$(recall_pattern 3)"
wait_for_event PresetCalled '{"slot":1,"preset":3,"source":"scene"}' 10 ||
	fail "no PresetCalled event for the scene: $(cat "$events")"
echo "The program scene Wide recalled its preset, and Close in program nothing"

# With a slow fade the camera moves when the cut starts, not when the fade has ended.
obs_call CreateScene '{"sceneName":"Far"}'
obs_call SetCurrentSceneTransition '{"transitionName":"Fade"}'
obs_call SetCurrentSceneTransitionDuration '{"transitionDuration":6000}'
obs_call SetCurrentProgramScene '{"sceneName":"Far"}'
wait_for_rx "$(recall_pattern 6)" 3 || fail "the program scene Far did not recall its preset 6 while its fade ran"
fade_ended() { client obs GetCurrentSceneTransitionCursor | grep -q '"transitionCursor":1'; }
wait_until 15 fade_ended || fail "the fade did not end"
obs_call SetCurrentSceneTransition '{"transitionName":"Cut"}'
[ "$(rx_count "$(recall_pattern 6)")" -eq 1 ] || fail "the end of the fade recalled preset 6 again"
echo "A 6 s fade to Far recalled its preset as the fade started, once"

# The colour source linked to slot 1 lights the camera's lamp while its scene is on program, once per cut.
obs_call CreateScene '{"sceneName":"Lit"}'
client obs CreateInput '{"sceneName":"Lit","inputName":"Lamp","inputKind":"color_source_v3"}' >/dev/null ||
	obs_call CreateInput '{"sceneName":"Lit","inputName":"Lamp","inputKind":"color_source"}'
tally_on="81 01 7e 01 0a 00 02 ff" tally_off="81 01 7e 01 0a 00 03 ff"
obs_call SetCurrentProgramScene '{"sceneName":"Lit"}'
wait_for_rx "$tally_on" 10 || fail "the program cut to Lit did not light the camera's tally lamp"
wait_for_file "$sim_log" "tally on" 5 || fail "the camera does not show its lamp lit"
obs_call SetCurrentProgramScene '{"sceneName":"Far"}'
wait_for_rx "$tally_off" 10 || fail "the cut away from Lit did not put the camera's tally lamp out"
wait_for_file "$sim_log" "tally off" 5 || fail "the camera does not show its lamp out"
[ "$(rx_count "$tally_on")" -eq 1 ] || fail "the tally lamp was switched on more than once"
echo "A cut to the scene holding slot 1's source lit the camera's lamp, and the cut away put it out"

# Studio Mode starts with Wide in preview too: linked to program only, it recalls nothing there, so the next
# command the camera receives is Close's preview preset.
mark=$(wc -l <"$sim_log")
obs_call SetStudioModeEnabled '{"studioModeEnabled":true}'
obs_call SetCurrentPreviewScene '{"sceneName":"Close"}'
wait_for_rx "$(recall_pattern 4)" 10 || fail "the preview scene Close did not recall its preset 4 in Studio Mode"
expect_first_command "$mark" "$(recall_pattern 4)"
echo "In Studio Mode the preview scene Close recalled its preset, and Wide in preview nothing"

obs_call SetSceneName '{"sceneName":"Close","newSceneName":"Close-up"}'
wait_for_file "$settings" '"scene": "Close-up"' 10 || fail "the settings file does not carry the new name: $(cat "$settings")"
grep -qF '"scene": "Close"' "$settings" && fail "the settings file still links the old name: $(cat "$settings")"
echo "Renaming the linked scene carried its link along in the settings file"

# Still in Studio Mode, slot 1's source goes to program: its camera is live. A preview-linked preset for it is not
# recalled and other programs may not move it, until the source leaves program.
live_is() {
	vendor GetCameras | "$python" -c 'import json, sys
sys.exit(json.load(sys.stdin)["cameras"][0]["live"] != (sys.argv[1] == "true"))' "$1"
}
obs_call SetCurrentProgramScene '{"sceneName":"Lit"}'
wait_until 10 live_is true || fail "slot 1 did not become live with its source on program"
obs_call SetCurrentPreviewScene '{"sceneName":"Wide"}'
recalls_before=$(rx_count "$(recall_pattern 4)")
obs_call SetCurrentPreviewScene '{"sceneName":"Close-up"}'
obs_session_wait_for_log "$home" 'preset 4 is not recalled, the camera of slot 1 is live on program' 10 ||
	fail "the preview-linked preset of the live camera was not held back"
expect_answer Move '{"slot":1,"direction":"up"}' \
	'{"ok":false,"error":"the camera of slot 1 is live on program in Studio Mode"}'
[ "$(rx_count "$(recall_pattern 4)")" -eq "$recalls_before" ] || fail "the live camera recalled its preview preset"
# The transition to Far, linked to preset 6 on program, starts while the camera is on air: nothing is recalled.
recalls_before=$(rx_count "$(recall_pattern 6)")
obs_call SetCurrentProgramScene '{"sceneName":"Far"}'
obs_session_wait_for_log "$home" 'preset 6 is not recalled, the camera of slot 1 is live on program' 10 ||
	fail "the program-linked preset of the camera on air was not held back"
wait_until 10 live_is false || fail "slot 1 stayed live after its source left program"
[ "$(rx_count "$(recall_pattern 6)")" -eq "$recalls_before" ] || fail "the camera on air recalled its program preset"
echo "In Studio Mode the live camera recalled nothing for the preview or the program and refused a move; off program it is free"

# ---- Preset pictures: slot 1's source is a colour source; a preset stored through a request keeps its picture.
# thumbnail_colour PRESET: the colour of the middle of the picture GetPresets returns for slot 1's PRESET, as
# "WIDTHxHEIGHT R G B", or "none"; the PNG is decoded here, with no help from the product.
thumbnail_colour() {
	vendor GetPresets '{"slot":1}' | "$python" -c '
import base64, json, struct, sys, zlib
preset = [p for p in json.load(sys.stdin)["presets"] if p["preset"] == int(sys.argv[1])][0]
if "thumbnail" not in preset:
    sys.exit(print("none"))
png = base64.b64decode(preset["thumbnail"])
chunks, at = {}, 8
while at < len(png):
    size, kind = struct.unpack(">I4s", png[at:at + 8])
    chunks[kind] = chunks.get(kind, b"") + png[at + 8:at + 8 + size]
    at += 12 + size
width, height, depth, colour = struct.unpack(">IIBB", chunks[b"IHDR"][:10])
step = {2: 3, 6: 4}[colour]
raw, rows, previous = zlib.decompress(chunks[b"IDAT"]), [], bytearray(width * step)
for y in range(height):
    kind, line = raw[y * (width * step + 1)], bytearray(raw[y * (width * step + 1) + 1:(y + 1) * (width * step + 1)])
    for x in range(len(line)):
        a = line[x - step] if x >= step else 0
        b, c = previous[x], previous[x - step] if x >= step else 0
        p = a + b - c
        paeth = a if abs(p - a) <= abs(p - b) and abs(p - a) <= abs(p - c) else b if abs(p - b) <= abs(p - c) else c
        line[x] = (line[x] + [0, a, b, (a + b) // 2, paeth][kind]) & 255
    rows.append(line)
    previous = line
middle = rows[height // 2][width // 2 * step:width // 2 * step + 3]
print("%dx%d %d %d %d" % (width, height, *middle))' "$1"
}
# Red 51, green 153, blue 204; OBS keeps colours as 0xAABBGGRR.
obs_call SetInputSettings '{"inputName":"Lamp","inputSettings":{"color":4291598643,"width":640,"height":360}}'
expect_answer StorePreset '{"slot":1,"preset":2}' '{"ok":true}'
wait_for_rx "81 01 04 3f 01 02 ff" 10 || fail "StorePreset did not store preset 2 on the camera"
has_picture() { [ "$(thumbnail_colour 2)" != none ]; }
wait_until 10 has_picture || fail "GetPresets returned no picture for the stored preset 2"
picture=$(thumbnail_colour 2)
"$python" -c '
import sys
size, *rgb = sys.argv[1].split()
sys.exit(size != "160x90" or any(abs(int(got) - want) > 3 for got, want in zip(rgb, (51, 153, 204))))' "$picture" ||
	fail "the picture of preset 2 is not the colour source's 160x90 of 51 153 204: $picture"
echo "StorePreset kept a picture of the colour source, $picture"
# Stored again after the source changed colour (to red 204, green 51, blue 102), the preset's picture is the new one.
obs_call SetInputSettings '{"inputName":"Lamp","inputSettings":{"color":4284888012}}'
expect_answer StorePreset '{"slot":1,"preset":2}' '{"ok":true}'
recoloured() { [ "$(thumbnail_colour 2)" = "160x90 204 51 102" ]; }
wait_until 10 recoloured || fail "a store again did not replace the picture of preset 2: $(thumbnail_colour 2)"
echo "Stored again, preset 2's picture is the source's new colour; OBS's graphics thread took (the source rendered ahead first):"
grep -o -E "(preset picture|rendered ahead of its first preset picture): .*" "$(obs_session_log "$home")"
obs_call RemoveInput '{"inputName":"Lamp"}'
expect_answer StorePreset '{"slot":1,"preset":3}' '{"ok":true}'
obs_session_wait_for_log "$home" 'Preset 3 of camera 1 has no picture: the source "Lamp" is not there' 10 ||
	fail "a source removed was not told"
[ "$(thumbnail_colour 3)" = none ] || fail "preset 3 has a picture of a source that is not there"
echo "A source removed left preset 3 without a picture, said in the log"

# Requests one after another, where a stop overtook its move inside obs-websocket (the second stop belongs to "right",
# which comes last and long after it): the camera ends at rest in every lane.
for request in 'Zoom in' 'Zoom stop' 'Focus far' 'Focus stop' 'Move left' 'Move stop' 'Move stop' 'Move right'; do
	expect_answer "${request% *}" "{\"slot\":1,\"direction\":\"${request#* }\"}" '{"ok":true}'
done
# A recall waits behind whatever was taken before it: once it arrived, so had the rest.
expect_answer CallPreset '{"slot":1,"preset":7}' '{"ok":true}'
wait_for_rx "$(recall_pattern 7)" 10 || fail "the recall after the sequence did not reach the camera"
last_drive() { grep -iE "^rx 01 00 00 [0-9a-f]{2} ([0-9a-f]{2} ){4}81 01 06 01 " "$sim_log" | tail -n 1; }
camera_stopped() { last_drive | grep -qiE "03 03 ff$"; }
camera_stopped || fail "a stop that overtook its move left the camera moving: $(last_drive)"
echo "A stop that overtook its move still stopped it"

# Two programs send 5,000 taps each in a burst while a third keeps asking OBS for its version: obs-websocket's
# threads are never parked waiting for OBS's UI thread, and each tap's stop reaches the camera after its move.
for program in 1 2; do
	"${client_command[@]}" burst 5000 1 >"$session/burst$program.txt" 2>&1 &
	eval "burst${program}_pid=$!"
done
latency=$("${client_command[@]}" latency 300) || fail "OBS's version was not answered during the burst"
# shellcheck disable=SC2154 # set by the eval above
wait "$burst1_pid" "$burst2_pid" || fail "a burst did not finish: $(cat "$session"/burst*.txt)"
wait_until 20 camera_stopped || fail "the camera was left moving after the burst: $(last_drive)"
echo "Two bursts of 5,000 taps ($(cat "$session/burst1.txt"), $(cat "$session/burst2.txt")) left the camera stopped; GetVersion meanwhile: $latency"

obs_session_end "$events_pid"

# Told to move and zoom, and never told to stop: OBS's exit stops both.
expect_answer Move '{"slot":1,"direction":"up"}' '{"ok":true}'
expect_answer Zoom '{"slot":1,"direction":"in"}' '{"ok":true}'
wait_for_rx "81 01 04 07 2[0-7] ff" 10 || fail "the zoom did not reach the camera"
# Quit as a user does, with File → Exit (the menu's last entry; the keyboard does not reach the menu bar while the
# preview has the focus). OBS 29 also quits on SIGINT, but from inside the signal handler, which can interrupt its
# UI thread holding any lock, so a test through it would fail on OBS's own locks now and then. A program keeps
# asking all the while: whatever waits for the UI thread then is answered or dropped, and OBS still exits.
"${client_command[@]}" flood 5000 >"$session/flood.txt" 2>&1 &
flood_pid=$!
e2e_helpers+=("$flood_pid")
wait_for_file "$session/flood.txt" flooding 10 || fail "the requests in a row were not answered"
# The File menu is a window of OBS's own, shown once the click was taken.
obs_windows() { xdotool search --onlyvisible --pid "$OBS_PID" 2>/dev/null | wc -l; }
windows_before=$(obs_windows)
xdotool mousemove --window "$(main_window)" 20 12 click 1
menu_shown() { [ "$(obs_windows)" -gt "$windows_before" ]; }
wait_until 5 menu_shown || fail "the File menu did not open"
xdotool key Up Return
# A machine busy with other work may take long to take OBS down; one that never does shows where each thread waits.
obs_stacks() { command -v gdb >/dev/null && gdb -p "$OBS_PID" -batch -ex "thread apply all bt 25" 2>/dev/null | grep '^#\|^Thread'; }
wait_until 60 obs_gone || fail "OBS did not exit within 60 s of File → Exit; its threads: $(obs_stacks)"
wait "$OBS_PID"
status=$?
[ "$status" -eq 0 ] || fail "OBS exited with status $status"
flood_gone() { ! kill -0 "$flood_pid" 2>/dev/null; }
wait_until 10 flood_gone || fail "the program asking in a row was left hanging"
tally=$(tail -n 1 "$session/flood.txt")
case "$tally" in '{"answered":'*) ;; *) fail "the program asking in a row did not see its connection end: $tally" ;; esac
# answered: before OBS's exit; notRunning: while it exited; refused: by obs-websocket once they were withdrawn.
echo "Requests in a row while OBS quit: $tally"
camera_stopped || fail "OBS's exit left the camera panning: $(last_drive)"
last_zoom=$(grep -iE "^rx 01 00 00 [0-9a-f]{2} ([0-9a-f]{2} ){4}81 01 04 07 " "$sim_log" | tail -n 1)
echo "$last_zoom" | grep -qiE "81 01 04 07 00 ff$" || fail "OBS's exit left the camera zooming: $last_zoom"
echo "OBS's exit stopped the camera's pan and zoom"
log=$(obs_session_log "$home")
grep -q "\[Kavren\] camera requests withdrawn from obs-websocket" "$log" ||
	fail "the camera requests were not withdrawn when OBS exited"
grep -q "\[Kavren\] stopped following OBS's scenes" "$log" || fail "the scenes were still followed when OBS exited"
echo "OBS exited with the camera requests withdrawn ($((SECONDS - started)) s in all)"
