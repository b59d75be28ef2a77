#pragma once

#include "control/CameraCommand.h"

#include <QObject>
#include <QSet>

#include <functional>
#include <optional>

class QWidget;

// The arrow keys on the direction pad: while the pad has the keyboard focus, holding an arrow moves the camera
// that way and letting go stops it; two arrows held together move diagonally. Key repeats are not new presses,
// and the pad losing the focus while a key is held stops the camera.
class PadKeyboard : public QObject {
	Q_OBJECT

public:
	// Called with the direction to move, or nothing to stop.
	using Drive = std::function<void(std::optional<CameraCommands::Direction> direction)>;

	PadKeyboard(QObject *parent, Drive drive);
	// Listens to the keys of one pad button.
	void watch(QWidget *padButton);

protected:
	bool eventFilter(QObject *watched, QEvent *event) override;

private:
	std::optional<CameraCommands::Direction> heldDirection() const;
	void update();

	Drive drive;
	QSet<int> held;
	std::optional<CameraCommands::Direction> moving;
};
