#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class KVFocusVerticalSlider;
}

// The focus column: caption, focus-plus button, vertical slider, focus-minus button and the checkable button
// that switches between auto and manual focus. Like the zoom column it only reports what the operator does.
class KVFocusVerticalSlider : public QWidget {
	Q_OBJECT

public:
	enum FocusType { FocusNear = 0, FocusFar = 1 };
	Q_ENUM(FocusType)
	// Fixed to int: a camera may report a mode outside the two, which the slider must survive.
	enum AFMode : int { Manual = 0, Auto = 1 };
	Q_ENUM(AFMode)

	explicit KVFocusVerticalSlider(QWidget *parent = nullptr);
	~KVFocusVerticalSlider() override;

	void setMinMaxValue(int min, int max);
	void setValue(int value);
	// Manual: plus, minus and slider usable, AF button unchecked. Auto: the three disabled, AF button checked.
	void updateUI(KVFocusVerticalSlider::AFMode mode);

signals:
	void valueChanged(int value);
	void modeChanged(KVFocusVerticalSlider::AFMode mode);
	void started(KVFocusVerticalSlider::FocusType type);
	void stopped();

protected:
	void paintEvent(QPaintEvent *event) override;

private:
	std::unique_ptr<Ui::KVFocusVerticalSlider> ui;
};
