#include "ui/PadKeyboard.h"

#include <QEvent>
#include <QKeyEvent>
#include <QWidget>

namespace {

bool isArrow(int key)
{
	return key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_Left || key == Qt::Key_Right;
}

} // namespace

PadKeyboard::PadKeyboard(QObject *parent, Drive drive) : QObject(parent), drive(std::move(drive)) {}

void PadKeyboard::watch(QWidget *padButton)
{
	padButton->installEventFilter(this);
}

std::optional<CameraCommands::Direction> PadKeyboard::heldDirection() const
{
	using Direction = CameraCommands::Direction;
	// Opposite arrows cancel each other out.
	const int vertical = (held.contains(Qt::Key_Down) ? 1 : 0) - (held.contains(Qt::Key_Up) ? 1 : 0);
	const int horizontal = (held.contains(Qt::Key_Right) ? 1 : 0) - (held.contains(Qt::Key_Left) ? 1 : 0);
	static const std::optional<Direction> table[3][3] = {
		{Direction::UpLeft, Direction::Up, Direction::UpRight},
		{Direction::Left, std::nullopt, Direction::Right},
		{Direction::DownLeft, Direction::Down, Direction::DownRight},
	};
	return table[vertical + 1][horizontal + 1];
}

void PadKeyboard::update()
{
	const std::optional<CameraCommands::Direction> wanted = heldDirection();
	if (wanted == moving)
		return;
	moving = wanted;
	drive(moving);
}

bool PadKeyboard::eventFilter(QObject *watched, QEvent *event)
{
	if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
		auto *key = static_cast<QKeyEvent *>(event);
		if (!isArrow(key->key()))
			return QObject::eventFilter(watched, event);
		if (!key->isAutoRepeat()) {
			if (event->type() == QEvent::KeyPress)
				held.insert(key->key());
			else
				held.remove(key->key());
			update();
		}
		// The arrows drive the camera here instead of moving the focus.
		return true;
	}
	if (event->type() == QEvent::FocusOut && !held.isEmpty()) {
		held.clear();
		update();
	}
	return QObject::eventFilter(watched, event);
}
