#include "ui/KVFocusVerticalSlider.h"

#include "settings/ModuleText.h"
#include "ui_KVFocusVerticalSlider.h"

#include <QApplication>
#include <QColor>
#include <QPainter>

KVFocusVerticalSlider::KVFocusVerticalSlider(QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::KVFocusVerticalSlider>())
{
	ui->setupUi(this);
	// Named registration lets string-based connections and signal spies carry the enums as well.
	qRegisterMetaType<KVFocusVerticalSlider::FocusType>("KVFocusVerticalSlider::FocusType");
	qRegisterMetaType<KVFocusVerticalSlider::AFMode>("KVFocusVerticalSlider::AFMode");

	// The buttons show only artwork, so their names come from the locale table for tool tips and screen readers.
	ui->FocusPlusButton->setAccessibleName(ModuleText::text("FocusNearButton"));
	ui->FocusPlusButton->setToolTip(ModuleText::text("FocusNearButton"));
	ui->FocusMinusButton->setAccessibleName(ModuleText::text("FocusFarButton"));
	ui->FocusMinusButton->setToolTip(ModuleText::text("FocusFarButton"));
	ui->AFButton->setAccessibleName(ModuleText::text("AutoFocusButton"));
	ui->AFButton->setToolTip(ModuleText::text("AutoFocusButton"));

	connect(ui->FocusSlider, &QSlider::valueChanged, this, [this](int value) { emit valueChanged(value); });
	// The checked state of the AF button is the focus mode; every change of it, by click or by updateUI(), is
	// reported, so the owner hears of a mode it set itself unless it blocks this widget's signals.
	connect(ui->AFButton, &QPushButton::toggled, this, [this](bool checked) {
		const AFMode mode = checked ? Auto : Manual;
		updateUI(mode);
		emit modeChanged(mode);
	});
	connect(ui->FocusPlusButton, &QPushButton::pressed, this, [this]() { emit started(FocusNear); });
	connect(ui->FocusPlusButton, &QPushButton::released, this, [this]() { emit stopped(); });
	connect(ui->FocusMinusButton, &QPushButton::pressed, this, [this]() { emit started(FocusFar); });
	connect(ui->FocusMinusButton, &QPushButton::released, this, [this]() { emit stopped(); });
}

KVFocusVerticalSlider::~KVFocusVerticalSlider() = default;

void KVFocusVerticalSlider::setMinMaxValue(int min, int max)
{
	ui->FocusSlider->setMaximum(max);
	ui->FocusSlider->setMinimum(min);
}

void KVFocusVerticalSlider::setValue(int value)
{
	ui->FocusSlider->setValue(value);
}

void KVFocusVerticalSlider::updateUI(KVFocusVerticalSlider::AFMode mode)
{
	switch (mode) {
	case Manual:
		ui->FocusPlusButton->setEnabled(true);
		ui->FocusMinusButton->setEnabled(true);
		ui->FocusSlider->setEnabled(true);
		ui->AFButton->setChecked(false);
		break;
	case Auto:
		// The camera drives the lens itself; manual steps would only fight it.
		ui->FocusPlusButton->setEnabled(false);
		ui->FocusMinusButton->setEnabled(false);
		ui->FocusSlider->setEnabled(false);
		ui->AFButton->setChecked(true);
		break;
	default:
		ui->AFButton->setChecked(true);
		break;
	}
}

void KVFocusVerticalSlider::paintEvent(QPaintEvent *event)
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
