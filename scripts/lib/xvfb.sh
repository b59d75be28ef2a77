# A virtual X display for tests and the demo. Source it; xvfb_start reports failure through its exit status.

# xvfb_start: starts Xvfb on a display number the server claims itself and sets DISPLAY and XVFB_PID. With
# -displayfd the server takes the first display whose lock it can create, so runs started at the same moment never
# end up on one display, as they can when a free number is looked for first and claimed afterwards. The screen is
# KAVREN_XVFB_SCREEN (WIDTHxHEIGHTxDEPTH) when set.
xvfb_start() {
	local number_file i
	number_file=$(mktemp)
	Xvfb -displayfd 3 -screen 0 "${KAVREN_XVFB_SCREEN:-1280x1024x24}" -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
	XVFB_PID=$!
	# The server writes the number once it accepts clients.
	for i in $(seq 1 100); do
		if grep -qx '[0-9]\+' "$number_file"; then
			export DISPLAY=":$(cat "$number_file")"
			rm -f "$number_file"
			return 0
		fi
		kill -0 "$XVFB_PID" 2>/dev/null || break
		sleep 0.1
	done
	rm -f "$number_file"
	return 1
}

# xvfb_stop: ends the server xvfb_start started, if any.
xvfb_stop() {
	if [ -n "${XVFB_PID:-}" ]; then
		kill -TERM "$XVFB_PID" 2>/dev/null || true
		wait "$XVFB_PID" 2>/dev/null || true
	fi
}
