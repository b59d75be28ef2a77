#pragma once

#include "ui/KVLensSlider.h"

// The zoom column: caption "Zoom", zoom-plus button, vertical slider and zoom-minus button (KVLensSlider).
class KVZoomVerticalSlider : public KVLensSlider {
	Q_OBJECT

public:
	enum ZoomType { ZoomIn = 0, ZoomOut = 1 };
	Q_ENUM(ZoomType)

	explicit KVZoomVerticalSlider(QWidget *parent = nullptr);

signals:
	void valueChanged(int value);
	void started(KVZoomVerticalSlider::ZoomType type);
	void stopped();
};
