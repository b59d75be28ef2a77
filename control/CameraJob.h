#pragma once

#include "control/CameraCommand.h"
#include "control/PanelReading.h"

#include <QByteArray>

#include <functional>

class viscaIpModule;

// One unit of camera work, run on the camera's worker thread in the order it was queued. What `run` returns (may
// be empty) runs afterwards on the thread that owns the worker: that is how answers reach the widgets.
struct CameraJob {
	using FollowUp = std::function<void()>;
	using Body = std::function<FollowUp(viscaIpModule &link)>;

	QByteArray name; // for the log
	CameraLane lane = CameraLane::None;
	bool stop = false;
	QByteArray settingKey;
	bool changesTheShot = false; // as the command it was made from
	// Cameras drop commands that follow each other too closely: a command leaves the camera a pause before the
	// next message; inquiries do not.
	bool pauseAfter = false;
	// Goes ahead of the work that waits, as every stop does (the tally lamps): what tells the studio who is on air
	// never waits behind a preset recall or a reading of the panel.
	bool urgent = false;
	Body run;
	// Instead of `run`: a job that sets the link up itself (a connect) and needs none to start with.
	std::function<FollowUp()> setUp;

	// A command with its value, followed by the command pause.
	static CameraJob fromCommand(const CameraCommand &command, int value);
	// A command whose exchange is followed by more work on the link (a read-back) and a follow-up.
	static CameraJob fromCommand(const CameraCommand &command, int value, Body then);
	// Inquiries only: no pause, no lane.
	static CameraJob inquiry(const char *name, Body body);

	// The answers below run on the thread that owns the worker.
	// Where the zoom (or the focus) lens is, and whether the camera answered that.
	using PositionAnswer = std::function<void(int position, bool answered)>;
	static CameraJob readPosition(CameraLane lens, PositionAnswer answer);
	// A command whose answer is whether the camera confirmed it (a preset recalled or stored).
	using ConfirmAnswer = std::function<void(bool confirmed)>;
	static CameraJob confirmed(const CameraCommand &command, int value, ConfirmAnswer answer);
	// A reading of part of the panel, after `settleMs` for a camera that needs time to apply a change.
	using ReadingAnswer = std::function<void(const PanelReading &reading)>;
	static CameraJob panelReading(PanelReading::Part part, int settleMs, ReadingAnswer answer);
};
