// How the controller window is used without a mouse and what screen readers hear of it: focus and tab order,
// the arrow keys on the direction pad, the names of the controls and the actions of the checkable buttons.

#include "ui/MainDialog.h"
#include "ui_MainDialog.h"

#include "ui/ClickingButtonAccessible.h"
#include "ui/EnterKeyActs.h"
#include "ui/KVPlusMinusButton.h"
#include "settings/ModuleText.h"
#include "ui/PadKeyboard.h"
#include "settings/SettingsFile.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSlider>

namespace {

// The controls a keyboard user works with.
bool isOperable(const QWidget *widget)
{
	return qobject_cast<const QAbstractButton *>(widget) || qobject_cast<const QComboBox *>(widget) ||
	       qobject_cast<const QLineEdit *>(widget) || qobject_cast<const QSlider *>(widget);
}

template <typename T>
T *part(QWidget *control, const char *name)
{
	return control->findChild<T *>(QString::fromLatin1(name));
}

} // namespace

void MainDialog::setupAccessibleNames()
{
	// These buttons show only artwork; screen readers and tool tips need words for them.
	const std::pair<QPushButton *, const char *> named[] = {
		{ui->UpButton, "TiltUpButton"},
		{ui->DownButton, "TiltDownButton"},
		{ui->LefButton, "PanLeftButton"},
		{ui->RightButton, "PanRightButton"},
		{ui->UpperLeftButton, "UpLeftButton"},
		{ui->UpperRightButton, "UpRightButton"},
		{ui->LowerLeftButton, "DownLeftButton"},
		{ui->LowerRightButton, "DownRightButton"},
		{ui->HomeButton, "HomeButton"},
		{ui->IndoorButton, "IndoorSceneButton"},
		{ui->MotionButton, "MotionSceneButton"},
		{ui->LowLightButton, "LowLightSceneButton"},
		{ui->BackLightButton, "BackLightSceneButton"},
	};
	for (const auto &[button, key] : named) {
		const QString text = ModuleText::text(key);
		button->setAccessibleName(text);
		button->setToolTip(text);
	}

	// Fields are named by the label beside them, and by what they hold where the label is shared.
	const std::pair<QWidget *, const char *> fields[] = {
		{ui->PanSpeedEdit, "PanSpeedField"},
		{ui->TiltSpeedEdit, "TiltSpeedField"},
		{ui->ZoomSpeedEdit, "ZoomSpeedField"},
		{ui->FocusSpeedEdit, "FocusSpeedField"},
		{ui->PresetSpeedBox, "PresetSpeedField"},
		{ui->ExposureModeBox, "ExposureModeField"},
		{ui->AWBModeBox, "WhiteBalanceModeField"},
		{ui->ImageModeBox, "ImageModeField"},
		{ui->DigEffectBox, "DigEffectField"},
		{part<QSlider>(ui->ZoomWidget, "ZoomSlider"), "ZoomPositionField"},
		{part<QSlider>(ui->FocusWidget, "FocusSlider"), "FocusPositionField"},
	};
	for (const auto &[field, key] : fields)
		field->setAccessibleName(ModuleText::text(key));

	const std::pair<KVPlusMinusButton *, QLabel *> values[] = {
		{ui->ShutterSpeedButton, ui->ShutterSpeedLabel},
		{ui->IrisButton, ui->IrisLabel},
		{ui->GainButton, ui->GainLabel},
		{ui->RGainButton, ui->RGainLabel},
		{ui->BGainButton, ui->BGainLabel},
		{ui->SharpnessButton, ui->SharpnessLabel},
		{ui->SaturationButton, ui->SaturationLabel},
		{ui->HueButton, ui->HueLabel},
		{ui->GammaButton, ui->GammaLabel},
	};
	for (const auto &[control, label] : values)
		control->setAccessibleCaption(label->text());

	// A screen reader's press or toggle of a slot or preset button must do what a click does.
	for (QAbstractButton *button : findChildren<QAbstractButton *>())
		if (button->isCheckable())
			ClickingButtonAccessible::mark(button);
}

void MainDialog::setupKeyboard()
{
	// Once the window has the focus, every control is reached with Tab and used with Space or Enter.
	auto *enterKeys = new EnterKeyActs(this);
	for (QWidget *control : findChildren<QWidget *>()) {
		if (isOperable(control) && control->focusPolicy() != Qt::StrongFocus)
			control->setFocusPolicy(Qt::StrongFocus);
		if (auto *button = qobject_cast<QAbstractButton *>(control))
			enterKeys->watch(button);
	}

	QList<QWidget *> order{ui->SettingsButton, ui->ViewButton, ui->HelpButton};
	for (int slot = 1; slot <= SettingsFile::kSlotCount; ++slot)
		order << cameraButton(slot);
	order << ui->UpperLeftButton << ui->UpButton << ui->UpperRightButton << ui->LefButton << ui->HomeButton
	      << ui->RightButton << ui->LowerLeftButton << ui->DownButton << ui->LowerRightButton;
	order << part<QWidget>(ui->ZoomWidget, "ZoomPlusButton") << part<QWidget>(ui->ZoomWidget, "ZoomSlider")
	      << part<QWidget>(ui->ZoomWidget, "ZoomMinusButton") << part<QWidget>(ui->FocusWidget, "FocusPlusButton")
	      << part<QWidget>(ui->FocusWidget, "FocusSlider") << part<QWidget>(ui->FocusWidget, "FocusMinusButton")
	      << part<QWidget>(ui->FocusWidget, "AFButton");
	for (int number = 1; number <= 9; ++number)
		order << presetButton(number);
	order << ui->StoreButton << ui->TenButton << ui->CallButton;
	order << ui->PanSpeedEdit << ui->TiltSpeedEdit << ui->ZoomSpeedEdit << ui->FocusSpeedEdit << ui->PresetSpeedBox;
	const auto stepper = [&order](KVPlusMinusButton *control) {
		order << part<QWidget>(control, "MinusButton") << part<QWidget>(control, "PlusButton");
	};
	order << ui->ExposureModeBox;
	stepper(ui->ShutterSpeedButton);
	stepper(ui->IrisButton);
	stepper(ui->GainButton);
	order << ui->IndoorButton << ui->MotionButton << ui->LowLightButton << ui->BackLightButton << ui->AWBModeBox;
	stepper(ui->RGainButton);
	stepper(ui->BGainButton);
	order << ui->OnePushButton << ui->ImageModeBox;
	stepper(ui->SharpnessButton);
	stepper(ui->SaturationButton);
	stepper(ui->HueButton);
	stepper(ui->GammaButton);
	order << ui->DigEffectBox;
	for (int i = 1; i < order.size(); ++i)
		setTabOrder(order.at(i - 1), order.at(i));

	auto *padKeys = new PadKeyboard(this, [this](std::optional<CameraCommands::Direction> direction) {
		setCommand(direction ? CameraCommands::move(*direction) : CameraCommands::motorStop(), 0);
	});
	for (QWidget *padButton :
	     {ui->UpperLeftButton, ui->UpButton, ui->UpperRightButton, ui->LefButton, ui->HomeButton, ui->RightButton,
	      ui->LowerLeftButton, ui->DownButton, ui->LowerRightButton})
		padKeys->watch(padButton);
}

void MainDialog::keyPressEvent(QKeyEvent *event)
{
	// A controller window stays open while the show runs; Escape would otherwise hide it.
	if (event->key() == Qt::Key_Escape) {
		event->accept();
		return;
	}
	QDialog::keyPressEvent(event);
}
