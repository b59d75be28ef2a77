#pragma once

#include "integrations/OperatorAction.h"

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

// How the operator's gamepad drives the cameras: which axes pan, tilt, zoom and focus (each with its direction and
// the dead zone round the rest position), and which action each button and hat direction takes. The indexes are
// those of the chosen device: a game controller's are SDL's standard axes and buttons (left stick X is 0, the A
// button 0), a joystick without a mapping has its own raw ones. Kept in the settings file under "Gamepad…" keys.
struct GamepadMapping {
	enum class Role { Pan, Tilt, Zoom, Focus };
	static constexpr int kRoleCount = 4;
	enum class HatDirection { Up, Right, Down, Left };
	static constexpr int kHatDirections = 4;

	struct AxisBinding {
		int axis = -1; // none
		bool invert = false;
		bool operator==(const AxisBinding &other) const { return axis == other.axis && invert == other.invert; }
	};
	struct ActionBinding {
		OperatorAction action = OperatorAction::Home;
		int argument = 0; // the slot or preset of the actions that take one
		bool operator==(const ActionBinding &other) const
		{
			return action == other.action && argument == other.argument;
		}
	};

	std::array<AxisBinding, kRoleCount> axes;
	int deadZonePercent = 15;
	QMap<int, ActionBinding> buttons;
	QMap<int, ActionBinding> hat; // by HatDirection

	bool operator==(const GamepadMapping &other) const
	{
		return axes == other.axes && deadZonePercent == other.deadZonePercent && buttons == other.buttons &&
		       hat == other.hat;
	}
	bool operator!=(const GamepadMapping &other) const { return !(*this == other); }

	static constexpr const char *kGuidKey = "GamepadGUID";
	// The chosen device's name, to name it while it is unplugged.
	static constexpr const char *kNameKey = "GamepadName";
	// Which of several connected devices of that GUID (identical pads share one) drives, from 1 in SDL's order;
	// absent for the first.
	static constexpr const char *kNumberKey = "GamepadNumber";
	static constexpr int kMaxDeadZonePercent = 90;

	// What a game controller does before anything is chosen: the left stick pans and tilts (up tilts up), the right
	// stick zooms, the face buttons call presets 1 to 4, the shoulders zoom, the d-pad steps cameras and speeds.
	static GamepadMapping defaults();
	// The stored mapping. A value that cannot be used is read as its default and named in one log line; the file
	// is left as it is.
	static GamepadMapping stored(const QJsonObject &settings);
	// Writes the mapping's keys (the chosen device's is apart: kGuidKey).
	void store(QJsonObject &settings) const;

	static QString roleName(Role role); // "pan", "tilt", "zoom", "focus"
	// An action as stored and as the dialog lists it: "callPreset 3", "home".
	static QString actionText(const ActionBinding &binding);
	static std::optional<ActionBinding> actionNamed(const QString &text);
	// Every action a button can take, presets and slots spelled out.
	static QList<ActionBinding> allActions();
};
