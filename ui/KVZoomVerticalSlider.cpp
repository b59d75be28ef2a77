#include "ui/KVZoomVerticalSlider.h"

#include "settings/ModuleText.h"
#include "ui_KVZoomVerticalSlider.h"

#include <QApplication>
#include <QColor>
#include <QPainter>

KVZoomVerticalSlider::KVZoomVerticalSlider(QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::KVZoomVerticalSlider>())
{
	ui->setupUi(this);
	// Named registration lets string-based connections and signal spies carry the enums as well.
	qRegisterMetaType<KVZoomVerticalSlider::ZoomType>("KVZoomVerticalSlider::ZoomType");

	// The buttons show only artwork, so their names come from the locale table for tool tips and screen readers.
	ui->ZoomPlusButton->setAccessibleName(ModuleText::text("ZoomInButton"));
	ui->ZoomPlusButton->setToolTip(ModuleText::text("ZoomInButton"));
	ui->ZoomMinusButton->setAccessibleName(ModuleText::text("ZoomOutButton"));
	ui->ZoomMinusButton->setToolTip(ModuleText::text("ZoomOutButton"));

	connect(ui->ZoomSlider, &QSlider::valueChanged, this, [this](int value) { emit valueChanged(value); });
	// Press and release, not auto-repeat: the camera zooms continuously until it is told to stop.
	connect(ui->ZoomPlusButton, &QPushButton::pressed, this, [this]() { emit started(ZoomIn); });
	connect(ui->ZoomPlusButton, &QPushButton::released, this, [this]() { emit stopped(); });
	connect(ui->ZoomMinusButton, &QPushButton::pressed, this, [this]() { emit started(ZoomOut); });
	connect(ui->ZoomMinusButton, &QPushButton::released, this, [this]() { emit stopped(); });
}

KVZoomVerticalSlider::~KVZoomVerticalSlider() = default;

void KVZoomVerticalSlider::setMinMaxValue(int min, int max)
{
	ui->ZoomSlider->setMaximum(max);
	ui->ZoomSlider->setMinimum(min);
}

void KVZoomVerticalSlider::setValue(int value)
{
	ui->ZoomSlider->setValue(value);
}

void KVZoomVerticalSlider::paintEvent(QPaintEvent *event)
{
	Q_UNUSED(event)
	QPainter painter(this);
	painter.setRenderHint(QPainter::Antialiasing);
	painter.setPen(Qt::NoPen);
	// The panel behind the artwork follows the host's palette, as the window does (the widget's own palette
	// carries the window's background from the style sheet).
	painter.setBrush(QApplication::palette(this).color(QPalette::Button));
	painter.drawRoundedRect(QRectF(0, 0, width(), height()), 10, 10, Qt::AbsoluteSize);
}
