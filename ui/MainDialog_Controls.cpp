// The motion, lens and preset controls of the controller window, the speed edits and the preset speed list.

#include "ui/MainDialog.h"
#include "settings/ModuleText.h"
#include "ui/ElidedCaption.h"
#include "ui/PresetButtonPicture.h"
#include "ui/UiLog.h"
#include "ui_MainDialog.h"

#include "camera/viscaGeneralOps.h"
#include "control/CameraPool.h"
#include "control/CameraInUse.h"
#include "control/CameraSpeeds.h"
#include "integrations/Controller.h"
#include "integrations/PresetPictures.h"
#include "settings/SettingsFile.h"
#include "settings/PresetNames.h"

#include <QDebug>
#include <QJsonObject>
#include <QJsonValue>
#include <QPointer>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int kPresetButtons = 9;
constexpr int kTenOffset = 10;
// Gives the operator a moment to see which preset was called before the selection clears.
constexpr int kPresetCallHoldMs = 500;

using Speed = CameraCommands::Speed;

} // namespace

void MainDialog::setupControlConnection()
{
	connect(ui->ZoomWidget, &KVZoomVerticalSlider::valueChanged, this, [this](int value) {
		noteOperatorChange(ui->ZoomWidget);
		setCommand(CameraCommands::zoomTo(), value);
	});
	connect(ui->ZoomWidget, &KVZoomVerticalSlider::started, this, [this](KVZoomVerticalSlider::ZoomType type) {
		if (type == KVZoomVerticalSlider::ZoomIn)
			setCommand(CameraCommands::zoomIn(), type);
		else if (type == KVZoomVerticalSlider::ZoomOut)
			setCommand(CameraCommands::zoomOut(), type);
	});
	connect(ui->ZoomWidget, &KVZoomVerticalSlider::stopped, this, &MainDialog::onZoomStopped);
	connect(ui->FocusWidget, &KVFocusVerticalSlider::valueChanged, this, [this](int value) {
		noteOperatorChange(ui->FocusWidget);
		setCommand(CameraCommands::focusTo(), value);
	});
	connect(ui->FocusWidget, &KVFocusVerticalSlider::started, this, [this](KVFocusVerticalSlider::FocusType type) {
		if (type == KVFocusVerticalSlider::FocusNear)
			setCommand(CameraCommands::focusNear(), type);
		else if (type == KVFocusVerticalSlider::FocusFar)
			setCommand(CameraCommands::focusFar(), type);
	});
	connect(ui->FocusWidget, &KVFocusVerticalSlider::stopped, this, &MainDialog::onFocusStopped);
	connect(ui->FocusWidget, &KVFocusVerticalSlider::modeChanged, this, [this](KVFocusVerticalSlider::AFMode mode) {
		noteOperatorChange(ui->FocusWidget->findChild<QObject *>(QStringLiteral("AFButton")));
		setCommand(CameraCommands::autoFocus(), mode != KVFocusVerticalSlider::Manual ? 1 : 0);
	});

	// The pad moves while a button is held and stops on release; home is a single move.
	using Direction = CameraCommands::Direction;
	const auto drive = [this](QPushButton *button, Direction direction) {
		connect(button, &QPushButton::pressed, this,
			[this, direction]() { setCommand(CameraCommands::move(direction), 0); });
		connect(button, &QPushButton::released, this, [this]() { setCommand(CameraCommands::motorStop(), 0); });
	};
	drive(ui->UpperLeftButton, Direction::UpLeft);
	drive(ui->UpButton, Direction::Up);
	drive(ui->UpperRightButton, Direction::UpRight);
	drive(ui->LefButton, Direction::Left);
	connect(ui->HomeButton, &QPushButton::pressed, this, [this]() { setCommand(CameraCommands::home(), 0); });
	drive(ui->RightButton, Direction::Right);
	drive(ui->LowerLeftButton, Direction::DownLeft);
	drive(ui->DownButton, Direction::Down);
	drive(ui->LowerRightButton, Direction::DownRight);

	connect(ui->TenButton, &QPushButton::toggled, this, &MainDialog::updatePresetName);
	connect(ui->CallButton, &QPushButton::pressed, this, &MainDialog::callPreset);
	connect(ui->StoreButton, &QPushButton::pressed, this, &MainDialog::storePreset);
	connect(owner->presetPictures(), &PresetPictures::pictureChanged, this, [this](int slot) {
		if (slot == connectedSlot())
			updatePresetName();
	});

	connect(ui->PanSpeedEdit, &QLineEdit::returnPressed, this, &MainDialog::readPanSpeed);
	connect(ui->FocusSpeedEdit, &QLineEdit::returnPressed, this, &MainDialog::readFocusSpeed);
	connect(ui->TiltSpeedEdit, &QLineEdit::returnPressed, this, &MainDialog::readTiltSpeed);
	connect(ui->ZoomSpeedEdit, &QLineEdit::returnPressed, this, &MainDialog::readZoomSpeed);

	setupPanelConnection();
}

void MainDialog::onZoomStopped()
{
	stopLensAndFollow(CameraLane::Zoom, ui->ZoomWidget,
			  [this](int position) { ui->ZoomWidget->setValue(position); });
}

void MainDialog::onFocusStopped()
{
	stopLensAndFollow(CameraLane::Focus, ui->FocusWidget,
			  [this](int position) { ui->FocusWidget->setValue(position); });
}

void MainDialog::stopLensAndFollow(CameraLane lens, QWidget *slider, std::function<void(int)> show)
{
	// The slider follows the lens once it stopped; that update must not travel back as a direct position.
	QPointer<MainDialog> self(this);
	const quint64 generation = cameraGeneration;
	const quint64 askedAt = changeClock;
	if (!inUse().release(lens, windowCaller()))
		return;
	submitToCamera(CameraJob::readPosition(lens, [=](int reported, bool answered) {
		if (!self || self->cameraGeneration != generation || !answered || self->changedSince(slider, askedAt))
			return;
		const bool wasBlocked = slider->blockSignals(true);
		show(reported);
		slider->blockSignals(wasBlocked);
	}));
}

// ------------------------------------------------------------------------------------------------ speeds

void MainDialog::readPanSpeed()
{
	commitSpeed(ui->PanSpeedEdit, panSpeedRange, CameraCommands::speed(Speed::Pan), CameraSpeeds::kPan.key);
}

void MainDialog::readTiltSpeed()
{
	commitSpeed(ui->TiltSpeedEdit, tiltSpeedRange, CameraCommands::speed(Speed::Tilt), CameraSpeeds::kTilt.key);
}

void MainDialog::readZoomSpeed()
{
	commitSpeed(ui->ZoomSpeedEdit, zoomSpeedRange, CameraCommands::speed(Speed::Zoom), CameraSpeeds::kZoom.key);
}

void MainDialog::readFocusSpeed()
{
	commitSpeed(ui->FocusSpeedEdit, focusSpeedRange, CameraCommands::speed(Speed::Focus), CameraSpeeds::kFocus.key);
}

void MainDialog::commitSpeed(QLineEdit *edit, const SpeedRange &range, const CameraCommand &command, const char *key)
{
	if (!inUse().worker())
		return;
	// Empty or not a number reads as 0, which the clamp turns into the model's minimum.
	const int entered = edit->text().toInt();
	const int speed = entered > range.second ? range.second : std::max(entered, range.first);
	// The link keeps the speed for the next move; nothing is sent to the camera for it.
	if (!setCommand(command, speed))
		return;
	edit->setText(QString::number(speed));
	storeSetting(cameraKeyPrefix + QLatin1String(key), edit->text());
}

void MainDialog::setDefaultControlSettings()
{
	const QJsonObject settings = SettingsFile::read();

	const std::pair<QLineEdit *, CameraSpeeds::Setting> speeds[] = {
		{ui->PanSpeedEdit, CameraSpeeds::kPan},
		{ui->TiltSpeedEdit, CameraSpeeds::kTilt},
		{ui->ZoomSpeedEdit, CameraSpeeds::kZoom},
		{ui->FocusSpeedEdit, CameraSpeeds::kFocus},
	};
	for (const auto &[edit, setting] : speeds)
		edit->setText(CameraSpeeds::storedText(settings, cameraKeyPrefix, setting));

	const QString presetSpeedKey = cameraKeyPrefix + QLatin1String(CameraSpeeds::kPresetSpeedKey);
	if (settings.contains(presetSpeedKey))
		ui->PresetSpeedBox->setCurrentText(settings.value(presetSpeedKey).toString());
	else
		ui->PresetSpeedBox->setCurrentIndex(CameraSpeeds::kDefaultPresetSpeedIndex);
}

void MainDialog::selectPresetSpeed(const QString &text)
{
	// A list shorter than six entries leaves no default selection; there is no speed to send for that.
	if (text.isEmpty()) {
		qCDebug(lcUi) << "No preset speed selected; nothing sent.";
		return;
	}
	const viscaGeneralOps *ops = currentOps();
	const int speed = ops ? ops->memorySpeedMap.value(text.toStdString(), 0) : 0;
	if (setCommand(CameraCommands::presetSpeed(), speed))
		storeSetting(cameraKeyPrefix + QLatin1String(CameraSpeeds::kPresetSpeedKey), text);
}

// ------------------------------------------------------------------------------------------------ presets

QPushButton *MainDialog::presetButton(int number) const
{
	return findChild<QPushButton *>(QStringLiteral("Preset%1Button").arg(number));
}

void MainDialog::selectPreset(QPushButton *button)
{
	++presetSelectionClock;
	updatePresetUI(button, button->isChecked());
}

void MainDialog::on_Preset1Button_clicked()
{
	selectPreset(ui->Preset1Button);
}

void MainDialog::on_Preset2Button_clicked()
{
	selectPreset(ui->Preset2Button);
}

void MainDialog::on_Preset3Button_clicked()
{
	selectPreset(ui->Preset3Button);
}

void MainDialog::on_Preset4Button_clicked()
{
	selectPreset(ui->Preset4Button);
}

void MainDialog::on_Preset5Button_clicked()
{
	selectPreset(ui->Preset5Button);
}

void MainDialog::on_Preset6Button_clicked()
{
	selectPreset(ui->Preset6Button);
}

void MainDialog::on_Preset7Button_clicked()
{
	selectPreset(ui->Preset7Button);
}

void MainDialog::on_Preset8Button_clicked()
{
	selectPreset(ui->Preset8Button);
}

void MainDialog::on_Preset9Button_clicked()
{
	selectPreset(ui->Preset9Button);
}

void MainDialog::updatePresetUI(QPushButton *button, bool checked)
{
	for (int number = 1; number <= kPresetButtons; ++number)
		presetButton(number)->setChecked(false);
	if (button)
		button->setChecked(checked);
}

int MainDialog::calculatePresetIndex()
{
	const int base = ui->TenButton->isChecked() ? kTenOffset : 0;
	for (int number = 1; number <= kPresetButtons; ++number) {
		if (presetButton(number)->isChecked())
			return base + number;
	}
	return base;
}

void MainDialog::callPreset()
{
	const int preset = calculatePresetIndex();
	if (preset > 0)
		runPresetCommand(false, preset, "StatusPresetCalling", "StatusPresetCalled", "StatusPresetNotCalled");
	else
		setStatusMessage(ModuleText::text("StatusSelectPreset"));
	ui->TenButton->setChecked(false);
	// The recalled position brings its own lens and picture settings; the selection stays a moment after they
	// arrived, so the operator sees which preset was called.
	const quint64 selection = ++presetSelectionClock;
	if (!requestReading(AllGroups, PanelReading::Part::All, &MainDialog::applyPanelReading, 0,
			    [selection](MainDialog &dialog) { dialog.clearPresetSelectionLater(selection); }))
		clearPresetSelectionLater(selection);
}

void MainDialog::runPresetCommand(bool store, int preset, const char *pendingText, const char *doneText,
				  const char *failedText)
{
	CameraDoor *door = inUse().door();
	if (!door)
		return;
	const QString label = presetLabel(preset);
	QPointer<MainDialog> self(this);
	const quint64 generation = cameraGeneration;
	const auto answer = [=](bool confirmed) {
		if (!self || self->cameraGeneration != generation)
			return;
		// The slot may have been renamed while the camera worked.
		const QString camera = self->connectedCaption();
		if (confirmed)
			self->setStatusMessage(ModuleText::text(doneText).arg(label, camera));
		else
			self->setStatusMessage(ModuleText::text(failedText).arg(label, camera), Severity::Warning);
	};
	const CameraCaller caller = windowCaller();
	if ((store ? door->storePreset(preset, caller, answer) : door->callPreset(preset, caller, answer)).ok)
		setStatusMessage(ModuleText::text(pendingText).arg(label, connectedCaption()));
}

QString MainDialog::presetLabel(int preset) const
{
	const QString number = ModuleText::text("PresetNumber").arg(preset);
	const QString name =
		PresetNames::read(SettingsFile::read(), connectedSlot()).value(preset - PresetNames::kFirstPreset);
	return name.isEmpty() ? number : QStringLiteral("%1 (%2)").arg(number, name);
}

void MainDialog::clearPresetSelectionLater(quint64 selection)
{
	QPointer<MainDialog> self(this);
	QTimer::singleShot(kPresetCallHoldMs, this, [self, selection]() {
		// A preset picked in the meantime is the operator's new choice.
		if (self && self->presetSelectionClock == selection)
			self->updatePresetUI(nullptr, false);
	});
}

void MainDialog::storePreset()
{
	const int preset = calculatePresetIndex();
	if (preset > 0)
		runPresetCommand(true, preset, "StatusPresetStoring", "StatusPresetStored", "StatusPresetNotStored");
	else
		setStatusMessage(ModuleText::text("StatusSelectPreset"));
	ui->TenButton->setChecked(false);
	++presetSelectionClock;
	updatePresetUI(nullptr, false);
}

void MainDialog::updatePresetName()
{
	// With "10+" on, the buttons are presets 11 to 19 and "10+" itself is preset 10.
	const QStringList names = PresetNames::read(SettingsFile::read(), connectedSlot());
	const bool tens = ui->TenButton->isChecked();
	const int base = tens ? kTenOffset : 0;
	const PresetPictures *pictures = owner->presetPictures();
	for (int number = 1; number <= kPresetButtons; ++number) {
		ElidedCaption::set(presetButton(number), PresetNames::caption(names, base + number));
		PresetButtonPicture::set(presetButton(number), pictures->picture(connectedSlot(), base + number));
	}
	ElidedCaption::set(ui->TenButton, tens ? PresetNames::caption(names, kTenOffset) : ModuleText::text("10+"));
	PresetButtonPicture::set(ui->TenButton, tens ? pictures->picture(connectedSlot(), kTenOffset) : QImage());
}
