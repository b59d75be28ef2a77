#pragma once

#include <QPushButton>
#include <QSlider>
#include <QWidget>

// A lens column: caption, plus button, vertical slider and minus button on a rounded panel. The zoom and the focus
// column are this column in their own sizes and artwork, each reporting through signals of its own (their enums
// differ); holding a button reports a continuous start and releasing it a stop, moving the slider an absolute
// position. The column sends nothing to a camera itself.
class KVLensSlider : public QWidget {
	Q_OBJECT

public:
	// The slider's maximum first: with inverted bounds the minimum wins and both end at it.
	void setMinMaxValue(int min, int max);
	void setValue(int value);

protected:
	enum class Lens { Zoom, Focus };

	KVLensSlider(Lens lens, QWidget *parent);

	// A borderless, unfocusable 35 × 35 button below the column's last part, showing the artwork `styleSheet`
	// names.
	QPushButton *addButton(const QString &objectName, const QString &styleSheet);

	// Reports through the signals of the column `Column` (this very object): the slider's value, a start of `plus`
	// or `minus` while that button is held (press and release, not auto-repeat: the camera moves until it is told
	// to stop), a stop when either is released.
	template <typename Column, typename Type>
	void reportThrough(void (Column::*valueChanged)(int), void (Column::*started)(Type), void (Column::*stopped)(),
			   Type plus, Type minus)
	{
		auto *column = static_cast<Column *>(this);
		connect(slider, &QSlider::valueChanged, column, valueChanged);
		connect(plusButton, &QPushButton::pressed, column,
			[column, started, plus]() { (column->*started)(plus); });
		connect(minusButton, &QPushButton::pressed, column,
			[column, started, minus]() { (column->*started)(minus); });
		connect(plusButton, &QPushButton::released, column, stopped);
		connect(minusButton, &QPushButton::released, column, stopped);
	}

	void paintEvent(QPaintEvent *event) override;

	QPushButton *plusButton;
	QSlider *slider;
	QPushButton *minusButton;
};
