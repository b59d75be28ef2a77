#pragma once

#include "integrations/GamepadLayout.h"
#include "integrations/GamepadMapping.h"

#include <QMap>
#include <QVector>
#include <QWidget>

#include <optional>

class QComboBox;
class QFormLayout;
class QLabel;

// A device's buttons and hat directions, one row each with the action it takes, as many as the device has. A row
// is lit while its input is held, so the operator finds the row of the button under the thumb.
class GamepadInputRows : public QWidget {
	Q_OBJECT

public:
	struct Input {
		bool hat = false;
		int number = 0; // the button, or the hat direction (GamepadMapping::HatDirection)
		bool operator==(const Input &other) const { return hat == other.hat && number == other.number; }
	};

	explicit GamepadInputRows(const GamepadLayout &layout, QWidget *parent = nullptr);

	// A list of every action, grouped (motion, cameras, presets, speeds), each with its stored text as its data.
	static QComboBox *newActionBox(QWidget *parent);

	void showMapping(const GamepadMapping &mapping);
	// The rows' actions written over `mapping`'s; an input without a row here keeps what it had.
	void readInto(GamepadMapping &mapping) const;
	// Lights the rows of what is held; the first input pressed since the last reading, if any.
	std::optional<Input> showPressed(const QVector<bool> &buttons, int hat);
	// Gives an input's row the action stored as `actionText`; false when the input has no row.
	bool assign(const Input &input, const QString &actionText);
	bool isLit(const Input &input) const;

private:
	struct Row {
		QLabel *name = nullptr;
		QComboBox *action = nullptr;
	};

	void addRow(QFormLayout *form, QMap<int, Row> &rows, int number, const QString &name);
	static void light(const Row &row, bool held);
	const Row *rowOf(const Input &input) const;

	QMap<int, Row> buttonRows;
	QMap<int, Row> hatRows;
	QVector<bool> heldButtons;
	int heldHat = 0;
};
