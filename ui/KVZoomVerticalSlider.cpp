#include "ui/KVZoomVerticalSlider.h"

KVZoomVerticalSlider::KVZoomVerticalSlider(QWidget *parent) : KVLensSlider(Lens::Zoom, parent)
{
	// Named registration lets string-based connections and signal spies carry the enum as well.
	qRegisterMetaType<KVZoomVerticalSlider::ZoomType>("KVZoomVerticalSlider::ZoomType");
	reportThrough(&KVZoomVerticalSlider::valueChanged, &KVZoomVerticalSlider::started,
		      &KVZoomVerticalSlider::stopped, ZoomIn, ZoomOut);
}
