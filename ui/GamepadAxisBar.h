#pragma once

#include <QWidget>

#include <utility>

// One axis as it drives its role: the reading filled from where the axis rests (a stick's centre, a trigger's
// end), a mark at the rest, the dead zone round it shaded, all mirrored when the role is inverted, as the camera
// sees it.
class GamepadAxisBar : public QWidget {
	Q_OBJECT

public:
	struct Range {
		int minimum = -32768;
		int rest = 0;
		int maximum = 32767;
	};
	struct Reading {
		Range range;
		int value = 0;
		int deadZonePercent = 0;
		bool inverted = false;
	};

	explicit GamepadAxisBar(QWidget *parent = nullptr);
	void setReading(const Reading &reading);
	Reading reading() const { return now; }

	// Where things are drawn, as fractions of the bar's length from its left end.
	double restAt() const;
	double valueAt() const;
	std::pair<double, double> deadZone() const; // its left and right edges

	QSize sizeHint() const override;

protected:
	void paintEvent(QPaintEvent *event) override;

private:
	double at(double value) const;

	Reading now;
};
