#pragma once

#include "ui/KVLensSlider.h"

// The focus column: caption "Focus", focus-plus button, vertical slider and focus-minus button (KVLensSlider), with
// a checkable button below them that switches between auto and manual focus.
class KVFocusVerticalSlider : public KVLensSlider {
	Q_OBJECT

public:
	enum FocusType { FocusNear = 0, FocusFar = 1 };
	Q_ENUM(FocusType)
	// Fixed to int: a camera may report a mode outside the two, which the slider must survive.
	enum AFMode : int { Manual = 0, Auto = 1 };
	Q_ENUM(AFMode)

	explicit KVFocusVerticalSlider(QWidget *parent = nullptr);

	// Manual: plus, minus and slider usable, AF button unchecked. Auto: the three disabled, AF button checked.
	void updateUI(KVFocusVerticalSlider::AFMode mode);

signals:
	void valueChanged(int value);
	void modeChanged(KVFocusVerticalSlider::AFMode mode);
	void started(KVFocusVerticalSlider::FocusType type);
	void stopped();

private:
	QPushButton *afButton;
};
