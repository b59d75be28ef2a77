// The motion, lens and preset controls of the controller window, the speed edits and the preset speed list.

#include "ui/MainDialog.h"
#include "ui_MainDialog.h"

#include "camera/viscaGeneralOps.h"
#include "settings/Utils.h"
#include "visca/viscaIpModule.h"

#include <QDebug>
#include <QJsonObject>
#include <QJsonValue>
#include <QThread>

#include <algorithm>

namespace {

constexpr int kPresetButtons = 9;
constexpr int kTenOffset = 10;
// Without a stored choice the list's sixth entry is preselected: a moderate speed on every model.
constexpr int kDefaultPresetSpeedIndex = 5;
// Gives the operator a moment to see which preset was called before the selection clears.
constexpr unsigned long kPresetCallHoldMs = 500;

} // namespace

void MainDialog::setupControlConnection()
{
	connect(ui->ZoomWidget, &KVZoomVerticalSlider::valueChanged, this, [this](int value) {
		setCommand([this](int position) { cameraModule->setZoomDirect(position); }, value);
	});
	connect(ui->ZoomWidget, &KVZoomVerticalSlider::started, this, [this](KVZoomVerticalSlider::ZoomType type) {
		setCommand(
			[this](int zoom) {
				if (zoom == KVZoomVerticalSlider::ZoomIn)
					cameraModule->setZoomIn();
				else if (zoom == KVZoomVerticalSlider::ZoomOut)
					cameraModule->setZoomOut();
			},
			type);
	});
	connect(ui->ZoomWidget, &KVZoomVerticalSlider::stopped, this, [this]() {
		setCommand(
			[this](int) {
				// The slider follows the lens; that update must not travel back as a direct-zoom
				// command.
				const bool wasBlocked = ui->ZoomWidget->blockSignals(true);
				cameraModule->setZoomStop();
				ui->ZoomWidget->setValue(cameraModule->getZoomDirect());
				ui->ZoomWidget->blockSignals(wasBlocked);
			},
			0);
	});
	connect(ui->FocusWidget, &KVFocusVerticalSlider::valueChanged, this, [this](int value) {
		setCommand([this](int position) { cameraModule->setFocusDirect(position); }, value);
	});
	connect(ui->FocusWidget, &KVFocusVerticalSlider::started, this, [this](KVFocusVerticalSlider::FocusType type) {
		setCommand(
			[this](int focus) {
				if (focus == KVFocusVerticalSlider::FocusNear)
					cameraModule->setFocusNearWithSpeed();
				else if (focus == KVFocusVerticalSlider::FocusFar)
					cameraModule->setFocusfarWithSpeed();
			},
			type);
	});
	connect(ui->FocusWidget, &KVFocusVerticalSlider::stopped, this, [this]() {
		setCommand(
			[this](int) {
				const bool wasBlocked = ui->FocusWidget->blockSignals(true);
				cameraModule->setFocusStop();
				ui->FocusWidget->setValue(cameraModule->getFocusDirect());
				ui->FocusWidget->blockSignals(wasBlocked);
			},
			0);
	});
	connect(ui->FocusWidget, &KVFocusVerticalSlider::modeChanged, this, [this](KVFocusVerticalSlider::AFMode mode) {
		setCommand([this](int afMode) { cameraModule->setAfMode(afMode != KVFocusVerticalSlider::Manual); },
			   mode);
	});

	// The pad moves while a button is held and stops on release; home is a single move.
	const auto drive = [this](QPushButton *button, void (viscaIpModule::*move)()) {
		connect(button, &QPushButton::pressed, this,
			[this, move]() { setCommand([this, move](int) { (cameraModule->*move)(); }, 0); });
		connect(button, &QPushButton::released, this,
			[this]() { setCommand([this](int) { cameraModule->setMotorStop(); }, 0); });
	};
	drive(ui->UpperLeftButton, &viscaIpModule::setMotorUpLeft);
	drive(ui->UpButton, &viscaIpModule::setMotorUP);
	drive(ui->UpperRightButton, &viscaIpModule::setMotorUpRight);
	drive(ui->LefButton, &viscaIpModule::setMotorLeft);
	connect(ui->HomeButton, &QPushButton::pressed, this,
		[this]() { setCommand([this](int) { cameraModule->setHome(); }, 0); });
	drive(ui->RightButton, &viscaIpModule::setMotorRight);
	drive(ui->LowerLeftButton, &viscaIpModule::setMotorDownLeft);
	drive(ui->DownButton, &viscaIpModule::setMotorDown);
	drive(ui->LowerRightButton, &viscaIpModule::setMotorDownRight);

	connect(ui->CallButton, &QPushButton::pressed, this, &MainDialog::callPreset);
	connect(ui->StoreButton, &QPushButton::pressed, this, &MainDialog::storePreset);

	connect(ui->PanSpeedEdit, &QLineEdit::returnPressed, this, &MainDialog::readPanSpeed);
	connect(ui->FocusSpeedEdit, &QLineEdit::returnPressed, this, &MainDialog::readFocusSpeed);
	connect(ui->TiltSpeedEdit, &QLineEdit::returnPressed, this, &MainDialog::readTiltSpeed);
	connect(ui->ZoomSpeedEdit, &QLineEdit::returnPressed, this, &MainDialog::readZoomSpeed);

	setupPanelConnection();
}

// ------------------------------------------------------------------------------------------------ speeds

void MainDialog::readPanSpeed()
{
	commitSpeed(ui->PanSpeedEdit, panSpeedRange, &viscaIpModule::setPanSpeed, "PanSpeed");
}

void MainDialog::readTiltSpeed()
{
	commitSpeed(ui->TiltSpeedEdit, tiltSpeedRange, &viscaIpModule::setTiltSpeed, "TiltSpeed");
}

void MainDialog::readZoomSpeed()
{
	commitSpeed(ui->ZoomSpeedEdit, zoomSpeedRange, &viscaIpModule::setZoomSpeed, "ZoomSpeed");
}

void MainDialog::readFocusSpeed()
{
	commitSpeed(ui->FocusSpeedEdit, focusSpeedRange, &viscaIpModule::setFocusSpeed, "FocusSpeed");
}

void MainDialog::commitSpeed(QLineEdit *edit, const SpeedRange &range, SpeedSetter setter, const char *key)
{
	// Empty or not a number reads as 0, which the clamp turns into the model's minimum.
	const int entered = edit->text().toInt();
	setCommand(
		[this, edit, range, setter, key](int speed) {
			speed = speed > range.second ? range.second : std::max(speed, range.first);
			edit->setText(QString::number(speed));
			(cameraModule->*setter)(speed);
			storeSetting(cameraKeyPrefix + QLatin1String(key), edit->text());
		},
		entered);
}

void MainDialog::setDefaultControlSettings()
{
	QJsonObject settings;
	Utils::readJSONFromFile(settings, Utils::getAppDataPath());

	const std::pair<QLineEdit *, std::pair<const char *, const char *>> speeds[] = {
		{ui->PanSpeedEdit, {"PanSpeed", "7"}},
		{ui->TiltSpeedEdit, {"TiltSpeed", "7"}},
		{ui->ZoomSpeedEdit, {"ZoomSpeed", "5"}},
		{ui->FocusSpeedEdit, {"FocusSpeed", "3"}},
	};
	for (const auto &[edit, keyAndDefault] : speeds) {
		const QString key = cameraKeyPrefix + QLatin1String(keyAndDefault.first);
		edit->setText(settings.contains(key) ? settings.value(key).toString()
						     : QString::fromLatin1(keyAndDefault.second));
	}

	const QString presetSpeedKey = cameraKeyPrefix + QStringLiteral("PresetSpeed");
	if (settings.contains(presetSpeedKey))
		ui->PresetSpeedBox->setCurrentText(settings.value(presetSpeedKey).toString());
	else
		ui->PresetSpeedBox->setCurrentIndex(kDefaultPresetSpeedIndex);
}

void MainDialog::selectPresetSpeed(const QString &text)
{
	// A list shorter than six entries leaves no default selection; there is no speed to send for that.
	if (text.isEmpty()) {
		qDebug() << "No preset speed selected; nothing sent.";
		return;
	}
	const viscaGeneralOps *ops = currentOps();
	const int speed = ops ? ops->memorySpeedMap.value(text.toStdString(), 0) : 0;
	setCommand(
		[this](int value) {
			cameraModule->setPresetSpeed(value);
			storeSetting(cameraKeyPrefix + QStringLiteral("PresetSpeed"),
				     ui->PresetSpeedBox->currentText());
		},
		speed);
}

// ------------------------------------------------------------------------------------------------ presets

QPushButton *MainDialog::presetButton(int number) const
{
	return findChild<QPushButton *>(QStringLiteral("Preset%1Button").arg(number));
}

void MainDialog::selectPreset(QPushButton *button)
{
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
	if (preset > 0) {
		setCommand(
			[this](int number) {
				cameraModule->setMemory1_Index(number);
				cameraModule->setMemory1_Recall();
			},
			preset);
	}
	ui->TenButton->setChecked(false);
	// The recalled position brings its own lens and picture settings.
	updateControlUI();
	QThread::msleep(kPresetCallHoldMs);
	updatePresetUI(nullptr, false);
}

void MainDialog::storePreset()
{
	const int preset = calculatePresetIndex();
	if (preset > 0) {
		setCommand(
			[this](int number) {
				cameraModule->setMemory1_Index(number);
				cameraModule->setMemory1_Save();
			},
			preset);
	}
	ui->TenButton->setChecked(false);
	updatePresetUI(nullptr, false);
}

void MainDialog::updatePresetName()
{
	QJsonObject settings;
	if (!Utils::readJSONFromFile(settings, Utils::getAppDataPath())) {
		qDebug() << "It's failed to read JSON file.";
		return;
	}
	for (int number = 1; number <= kPresetButtons; ++number) {
		const QString key = QString::number(number);
		presetButton(number)->setText(settings.contains(key) ? settings.value(key).toString() : key);
	}
}
