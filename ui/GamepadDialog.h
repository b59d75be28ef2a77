#pragma once

#include "integrations/GamepadInput.h"
#include "integrations/GamepadLayout.h"
#include "integrations/GamepadMapping.h"

#include <QDialog>
#include <QMap>

#include <array>
#include <optional>

class GamepadAxisBar;
class GamepadInputRows;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QSpinBox;

// Settings → Gamepad…: which device drives the camera in use (listed as devices come and go), which of its axes
// pan, tilt, zoom and focus, and what its buttons and hat do, in the words of the device's own layout. Shows the
// active device live: its sticks as they drive, the rows of what is held lit; a press can pick the row an action
// goes to. Apply stores the choice; closing with changes not applied asks what becomes of them.
class GamepadDialog : public QDialog {
	Q_OBJECT

public:
	explicit GamepadDialog(GamepadInput *input, QWidget *parent = nullptr);
	// The one dialog of `parent`, made on first use, brought to the front.
	static GamepadDialog *showFor(GamepadInput *input, QWidget *parent);

	// Close, Escape and the window's X (QDialog's close event rejects): asks first when changes are not applied.
	void reject() override;

private:
	struct RoleRow {
		QComboBox *axis = nullptr;
		QCheckBox *invert = nullptr;
		GamepadAxisBar *bar = nullptr;
	};

	void listDevices();
	void followPickedDevice();
	std::optional<GamepadInput::Device> pickedDevice() const;
	// Whether the device picked is the one read live.
	bool pickedIsActive() const;
	void showLayout(const GamepadMapping &mapping);
	void listAxes(QComboBox *box, int stored);
	void showState();
	void showBars();
	void showSharedAxes();
	void showMapping(const GamepadMapping &mapping);
	GamepadMapping chosenMapping() const;
	bool unapplied() const;
	// Asks what becomes of changes not applied; false when there are none and the dialog may close.
	bool askAboutChanges();
	void apply();
	void armAssign(bool armed);

	GamepadInput *const input;
	GamepadLayout layout;
	QLabel *status = nullptr;
	QComboBox *deviceBox = nullptr;
	std::array<RoleRow, GamepadMapping::kRoleCount> roles;
	QSpinBox *deadZone = nullptr;
	QLabel *sharedAxes = nullptr;
	QScrollArea *scroll = nullptr;
	GamepadInputRows *inputRows = nullptr;
	QComboBox *assignedAction = nullptr;
	QPushButton *assignButton = nullptr;
	QLabel *pressed = nullptr;
	QMap<QString, QString> seenNames; // by GUID: how a device picked and then unplugged is named
	bool leaving = false;             // the operator answered: close without asking again
};
