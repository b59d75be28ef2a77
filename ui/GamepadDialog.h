#pragma once

#include "integrations/GamepadMapping.h"

#include <QDialog>
#include <QList>

#include <array>

class GamepadInput;
class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QSpinBox;

// Settings → Gamepad…: which device drives the camera in use (listed as devices come and go), which of its axes
// pan, tilt, zoom and focus, and what its buttons and hat do. Shows the active device and its sticks live; Apply
// stores the choice.
class GamepadDialog : public QDialog {
	Q_OBJECT

public:
	explicit GamepadDialog(GamepadInput *input, QWidget *parent = nullptr);
	// The one dialog of `parent`, made on first use, brought to the front.
	static GamepadDialog *showFor(GamepadInput *input, QWidget *parent);

private:
	struct RoleRow {
		QComboBox *axis = nullptr;
		QCheckBox *invert = nullptr;
		QProgressBar *position = nullptr;
	};

	QComboBox *actionBox() const;
	void listDevices();
	void showState();
	void showMapping(const GamepadMapping &mapping);
	GamepadMapping chosenMapping() const;
	void apply();

	GamepadInput *const input;
	QLabel *status = nullptr;
	QComboBox *deviceBox = nullptr;
	std::array<RoleRow, GamepadMapping::kRoleCount> roles;
	QSpinBox *deadZone = nullptr;
	QList<QComboBox *> buttonBoxes;
	QList<QComboBox *> hatBoxes;
	QLabel *pressed = nullptr;
};
