#include "ui/KVFocusVerticalSlider.h"

#include "settings/ModuleText.h"

namespace {

// Manual focus shows "MF", auto focus "AF"; a disabled button reads as manual.
const char *const kAfSheet = "QPushButton {\n"
			     "\tborder: none;\n"
			     "\tbackground: transparent;\n"
			     "\timage: url(\":/resource/images/Simple Mode/MF.svg\");\n"
			     "}\n"
			     "QPushButton:pressed {\n"
			     "\timage: url(\":/resource/images/Simple Mode/MF_p.svg\");\n"
			     "}\n"
			     "QPushButton:checked {\n"
			     "\timage: url(\":/resource/images/Simple Mode/AF.svg\");\n"
			     "}\n"
			     "QPushButton:checked:pressed {\n"
			     "\timage: url(\":/resource/images/Simple Mode/AF_p.svg\");\n"
			     "}\n"
			     "QPushButton:disabled {\n"
			     "\timage: url(\":/resource/images/Simple Mode/MF.svg\");\n"
			     "}";

} // namespace

KVFocusVerticalSlider::KVFocusVerticalSlider(QWidget *parent)
    : KVLensSlider(Lens::Focus, parent), afButton(addButton(QStringLiteral("AFButton"), QLatin1String(kAfSheet)))
{
	// Named registration lets string-based connections and signal spies carry the enums as well.
	qRegisterMetaType<KVFocusVerticalSlider::FocusType>("KVFocusVerticalSlider::FocusType");
	qRegisterMetaType<KVFocusVerticalSlider::AFMode>("KVFocusVerticalSlider::AFMode");

	afButton->setCheckable(true);
	afButton->setAccessibleName(ModuleText::text("AutoFocusButton"));
	afButton->setToolTip(ModuleText::text("AutoFocusButton"));
	// The checked state of the AF button is the focus mode; every change of it, by click or by updateUI(), is
	// reported, so the owner hears of a mode it set itself unless it blocks this widget's signals.
	connect(afButton, &QPushButton::toggled, this, [this](bool checked) {
		const AFMode mode = checked ? Auto : Manual;
		updateUI(mode);
		emit modeChanged(mode);
	});
	reportThrough(&KVFocusVerticalSlider::valueChanged, &KVFocusVerticalSlider::started,
		      &KVFocusVerticalSlider::stopped, FocusNear, FocusFar);
}

void KVFocusVerticalSlider::updateUI(KVFocusVerticalSlider::AFMode mode)
{
	switch (mode) {
	case Manual:
		plusButton->setEnabled(true);
		minusButton->setEnabled(true);
		slider->setEnabled(true);
		afButton->setChecked(false);
		break;
	case Auto:
		// The camera drives the lens itself; manual steps would only fight it.
		plusButton->setEnabled(false);
		minusButton->setEnabled(false);
		slider->setEnabled(false);
		afButton->setChecked(true);
		break;
	default:
		afButton->setChecked(true);
		break;
	}
}
