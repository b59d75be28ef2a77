#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class KVZoomVerticalSlider;
}

// The zoom column: caption, zoom-plus button, vertical slider and zoom-minus button. Holding a button reports a
// continuous zoom start and releasing it a stop; moving the slider reports an absolute position. The widget
// sends nothing to a camera itself.
class KVZoomVerticalSlider : public QWidget {
	Q_OBJECT

public:
	enum ZoomType { ZoomIn = 0, ZoomOut = 1 };
	Q_ENUM(ZoomType)

	explicit KVZoomVerticalSlider(QWidget *parent = nullptr);
	~KVZoomVerticalSlider() override;

	void setMinMaxValue(int min, int max);
	void setValue(int value);

signals:
	void valueChanged(int value);
	void started(KVZoomVerticalSlider::ZoomType type);
	void stopped();

protected:
	void paintEvent(QPaintEvent *event) override;

private:
	std::unique_ptr<Ui::KVZoomVerticalSlider> ui;
};
