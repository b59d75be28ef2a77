#pragma once

#include <QJsonObject>
#include <QString>

class viscaGeneralOps;

// The speeds a camera keeps in the settings file, under its key prefix (its address followed by its model): one
// home for their keys and defaults, shared by the window and by everything that drives a camera in the background.
struct CameraSpeeds {
	struct Setting {
		const char *key;
		const char *defaultText;
	};
	static constexpr Setting kPan{"PanSpeed", "7"};
	static constexpr Setting kTilt{"TiltSpeed", "7"};
	static constexpr Setting kZoom{"ZoomSpeed", "5"};
	static constexpr Setting kFocus{"FocusSpeed", "3"};
	static constexpr const char *kPresetSpeedKey = "PresetSpeed";
	// Without a stored choice the preset speed list's sixth entry is taken: a moderate speed on every model.
	static constexpr int kDefaultPresetSpeedIndex = 5;

	// The stored text of a speed, or its default.
	static QString storedText(const QJsonObject &settings, const QString &prefix, const Setting &setting);
	// The stored speeds of a camera, clamped to its model's ranges as the window clamps them; the preset speed is
	// the code of the stored (or default) list entry, -1 when the list has none.
	static CameraSpeeds stored(const QJsonObject &settings, const QString &prefix, const viscaGeneralOps &ops);

	int pan = 0;
	int tilt = 0;
	int zoom = 0;
	int focus = 0;
	int presetSpeed = -1;
};
