#include "ui/KVLensSlider.h"

#include "settings/ModuleText.h"

#include <QApplication>
#include <QColor>
#include <QLabel>
#include <QMargins>
#include <QPainter>
#include <QSize>
#include <QVBoxLayout>

namespace {

// What sets one lens's column apart.
struct Look {
	const char *objectName; // the column's own
	// The caption's locale key, the first word of each part's object name and of its artwork.
	const char *lens;
	const char *plusKey; // locale keys of the buttons' names, for tool tips and screen readers
	const char *minusKey;
	QSize size; // initial size
	int spacing;
	QMargins margins;
	QSize captionMinimum;
};

// In the order of KVLensSlider::Lens.
const Look kLooks[] = {
	{"KVZoomVerticalSlider", "Zoom", "ZoomInButton", "ZoomOutButton", {66, 206}, 10, {13, 5, 13, 10}, {40, 17}},
	{"KVFocusVerticalSlider", "Focus", "FocusNearButton", "FocusFarButton", {68, 221}, 5, {11, 3, 11, 6}, {0, 0}},
};

// The pressed and disabled artwork of a button sits beside its plain one, under the same name.
QString lensButtonSheet(const QString &artwork)
{
	return QStringLiteral("QPushButton {\n"
			      "\tborder: none;\n"
			      "\tbackground: transparent;\n"
			      "\timage: url(\":/resource/images/Simple Mode/%1.svg\");\n"
			      "}\n"
			      "QPushButton:pressed {\n"
			      "\timage: url(\":/resource/images/Simple Mode/%1_p.svg\");\n"
			      "}\n"
			      "QPushButton:disabled {\n"
			      "\timage: url(\":/resource/images/Simple Mode/%1_d.svg\");\n"
			      "}")
		.arg(artwork);
}

const char *const kCaptionSheet = "QLabel {\n"
				  "\tfont-size: 16px;\n"
				  "\tbackground: transparent;\n"
				  "}";

const char *const kSliderSheet = "QSlider {\n"
				 "\tbackground: transparent;\n"
				 "}\n"
				 "QSlider::groove:vertical {\n"
				 "\tbackground: palette(dark);\n"
				 "\twidth: 10px;\n"
				 "\tborder-radius: 5px;\n"
				 "}\n"
				 "QSlider::handle:vertical {\n"
				 "\tbackground: palette(highlight);\n"
				 "\theight: 10px;\n"
				 "\tborder-radius: 5px;\n"
				 "}\n"
				 "QSlider::handle:vertical:disabled {\n"
				 "\tbackground: palette(light);\n"
				 "}";

} // namespace

KVLensSlider::KVLensSlider(Lens lens, QWidget *parent) : QWidget(parent)
{
	const Look &look = kLooks[int(lens)];
	setObjectName(QLatin1String(look.objectName));
	resize(look.size);
	setMinimumSize(66, 206);
	setWindowTitle(QStringLiteral("Form"));
	const QString word = QLatin1String(look.lens);

	auto *column = new QVBoxLayout(this);
	column->setObjectName(QStringLiteral("verticalLayout"));
	column->setSpacing(look.spacing);
	column->setContentsMargins(look.margins);

	auto *caption = new QLabel(this);
	caption->setObjectName(word + QLatin1String("Label"));
	caption->setMinimumSize(look.captionMinimum);
	caption->setStyleSheet(QLatin1String(kCaptionSheet));
	caption->setText(ModuleText::text(look.lens));
	caption->setAlignment(Qt::AlignCenter);
	column->addWidget(caption);

	plusButton = addButton(word + QLatin1String("PlusButton"), lensButtonSheet(word + QLatin1Char('+')));

	slider = new QSlider(this);
	slider->setObjectName(word + QLatin1String("Slider"));
	slider->setMinimumSize(10, 0);
	slider->setMaximumSize(10, QWIDGETSIZE_MAX);
	slider->setFocusPolicy(Qt::NoFocus);
	slider->setStyleSheet(QLatin1String(kSliderSheet));
	slider->setOrientation(Qt::Vertical);
	column->addWidget(slider, 0, Qt::AlignHCenter);

	minusButton = addButton(word + QLatin1String("MinusButton"), lensButtonSheet(word + QLatin1Char('-')));

	// The buttons show only artwork, so their names come from the locale table for tool tips and screen readers.
	plusButton->setAccessibleName(ModuleText::text(look.plusKey));
	plusButton->setToolTip(ModuleText::text(look.plusKey));
	minusButton->setAccessibleName(ModuleText::text(look.minusKey));
	minusButton->setToolTip(ModuleText::text(look.minusKey));
}

QPushButton *KVLensSlider::addButton(const QString &objectName, const QString &styleSheet)
{
	auto *button = new QPushButton(this);
	button->setObjectName(objectName);
	button->setMinimumSize(35, 35);
	button->setFocusPolicy(Qt::NoFocus);
	button->setStyleSheet(styleSheet);
	button->setAutoRepeat(false);
	layout()->addWidget(button);
	return button;
}

void KVLensSlider::setMinMaxValue(int min, int max)
{
	slider->setMaximum(max);
	slider->setMinimum(min);
}

void KVLensSlider::setValue(int value)
{
	slider->setValue(value);
}

void KVLensSlider::paintEvent(QPaintEvent *event)
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
