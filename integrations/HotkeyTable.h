#pragma once

#include "integrations/OperatorAction.h"

#include <QByteArray>
#include <QString>

// The camera hotkeys OBS lists as "Kavren: …", in registration order. A row's name keys its bindings in OBS's
// profile: the names of existing rows never change, and new rows are only added at the end.
namespace HotkeyTable {

struct Row {
	QByteArray name;
	OperatorAction action;
	int argument = 0;
	// The text OBS's hotkey list shows, in the module's language.
	QString description() const;

	const char *descriptionKey = nullptr; // a text with %1 for the argument where the row has one
};

// Moves, zoom and presets 1 to 9 (the first fifteen), then choosing cameras, home, focus, zoom stop, presets 10 to
// 19, storing presets 1 to 19 and speeds.
constexpr int kCount = 61;
const Row &row(int index); // 0 .. kCount - 1

} // namespace HotkeyTable
