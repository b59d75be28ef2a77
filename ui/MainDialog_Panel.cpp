// The advanced panel of the controller window: exposure, white balance and image settings, built from the
// connected model's capability object and filled from the camera's current settings.

#include "ui/MainDialog.h"
#include "ui/UiLog.h"
#include "ui_MainDialog.h"

#include "camera/viscaGeneralOps.h"
#include "settings/Utils.h"
#include "ui/ModuleText.h"
#include "visca/viscaIpModule.h"

#include <QDebug>
#include <QComboBox>

namespace {

// Gives a camera that just switched to manual white balance time to settle before its gains are read.
constexpr int kManualWBSettleMs = 1000;

// Restores a widget's previous signal blocking when it goes out of scope.
class SignalsBlocked {
public:
	explicit SignalsBlocked(std::initializer_list<QObject *> objects)
	{
		for (QObject *object : objects)
			saved.append({object, object->blockSignals(true)});
	}
	~SignalsBlocked()
	{
		for (auto it = saved.crbegin(); it != saved.crend(); ++it)
			it->first->blockSignals(it->second);
	}
	SignalsBlocked(const SignalsBlocked &) = delete;
	SignalsBlocked &operator=(const SignalsBlocked &) = delete;

private:
	QList<std::pair<QObject *, bool>> saved;
};

void fillBox(QComboBox *box, const QList<std::string> &names)
{
	box->clear();
	for (const std::string &name : names)
		box->addItem(QString::fromStdString(name));
}

} // namespace

namespace {

// A camera setting the panel sends with the value the control gives it.
template <typename Setter>
CameraCommand panelSetting(const char *name, Setter setter)
{
	return CameraCommands::setting(name, [setter](viscaIpModule &link, int value) { (link.*setter)(value); });
}

} // namespace

void MainDialog::setupPanelConnection()
{
	connect(ui->PresetSpeedBox, &QComboBox::currentTextChanged, this, &MainDialog::selectPresetSpeed);

	connect(ui->ExposureModeBox, &QComboBox::currentTextChanged, this, [this](const QString &mode) {
		noteOperatorChange(ui->ExposureModeBox);
		const viscaGeneralOps *ops = currentOps();
		const int code = ops ? ops->aeModeMap.value(mode.toStdString(), 0) : 0;
		setCommand(panelSetting("setAeMode", &viscaIpModule::setAeMode), code);
		updateExposureUI(mode);
		updateExposureUIWithoutMode();
	});
	const auto bindValue = [this](KVPlusMinusButton *control, const CameraCommand &command) {
		connect(control, &KVPlusMinusButton::valueChanged, this, [this, control, command](int value) {
			noteOperatorChange(control);
			setCommand(command, value);
		});
	};
	bindValue(ui->ShutterSpeedButton, panelSetting("setShutterDirect", &viscaIpModule::setShutterDirect));
	bindValue(ui->IrisButton, panelSetting("setIrisDirect", &viscaIpModule::setIrisDirect));
	bindValue(ui->GainButton, panelSetting("setAeGain", &viscaIpModule::setAeGain));

	// The scenes: the nearest names come first, because the models' tables differ in their steps.
	connect(ui->LowLightButton, &QPushButton::pressed, this, [this]() {
		applyScene({{QStringLiteral("1/30"), QStringLiteral("1/25")}, true}, {{QStringLiteral("F2")}, false},
			   {{QStringLiteral("33dB"), QStringLiteral("32dB"), QStringLiteral("34dB"),
			     QStringLiteral("31dB"), QStringLiteral("35dB"), QStringLiteral("30dB"),
			     QStringLiteral("36dB")},
			    true});
	});
	connect(ui->BackLightButton, &QPushButton::pressed, this, [this]() {
		applyScene({{QStringLiteral("1/120")}, false}, {{QStringLiteral("F4.5"), QStringLiteral("F4.8")}, true},
			   {{QStringLiteral("21dB"), QStringLiteral("20dB"), QStringLiteral("22dB")}, true});
	});
	connect(ui->IndoorButton, &QPushButton::pressed, this, [this]() {
		applyScene(
			{{QStringLiteral("1/60"), QStringLiteral("1/50")}, true},
			{{QStringLiteral("F3.2"), QStringLiteral("F3.1"), QStringLiteral("F3.3"), QStringLiteral("F3"),
			  QStringLiteral("F3.4"), QStringLiteral("F2.9"), QStringLiteral("F3.5")},
			 true},
			{{QStringLiteral("24dB")}, false});
	});
	connect(ui->MotionButton, &QPushButton::pressed, this, [this]() {
		applyScene({{QStringLiteral("1/180")}, false},
			   {{QStringLiteral("F3.2"), QStringLiteral("F3.1"), QStringLiteral("F3.3"),
			     QStringLiteral("F3.0"), QStringLiteral("F3.4"), QStringLiteral("F2.9"),
			     QStringLiteral("F3.5")},
			    true},
			   {{QStringLiteral("27dB"), QStringLiteral("26dB"), QStringLiteral("28dB")}, true});
	});

	connect(ui->AWBModeBox, &QComboBox::currentTextChanged, this, [this](const QString &mode) {
		noteOperatorChange(ui->AWBModeBox);
		const viscaGeneralOps *ops = currentOps();
		const int code = ops ? ops->wbModeMap.value(mode.toStdString(), 0) : 0;
		setCommand(panelSetting("setWBmode", &viscaIpModule::setWBmode), code);
		updateWBUI(mode);
		// A camera that just switched to manual white balance needs a moment before its gains mean anything.
		if (mode == ModuleText::text("Manual"))
			requestReading(WhiteBalanceGroup, &PanelReading::readWhiteBalanceValues,
				       &MainDialog::applyWhiteBalanceValues, kManualWBSettleMs);
	});
	bindValue(ui->RGainButton, panelSetting("setRGain", &viscaIpModule::setRGain));
	bindValue(ui->BGainButton, panelSetting("setBGain", &viscaIpModule::setBGain));
	connect(ui->OnePushButton, &QPushButton::pressed, this, [this]() {
		CameraCommand command;
		command.name = "setOnePushTrigger";
		command.run = [](viscaIpModule &link, int) { link.setOnePushTrigger(); };
		setCommand(command, 0);
	});

	connect(ui->ImageModeBox, &QComboBox::currentTextChanged, this, [this](const QString &mode) {
		noteOperatorChange(ui->ImageModeBox);
		const viscaGeneralOps *ops = currentOps();
		const int code = ops ? ops->imageModeMap.value(mode.toStdString(), 0) : 0;
		setCommand(panelSetting("setImageMode", &viscaIpModule::setImageMode), code);
		updateImageUI(mode);
		updateImageUIWithoutMode();
	});
	bindValue(ui->SharpnessButton, panelSetting("setSharpness", &viscaIpModule::setSharpness));
	bindValue(ui->HueButton, panelSetting("setHue", &viscaIpModule::setHue));
	bindValue(ui->SaturationButton, panelSetting("setSaturation", &viscaIpModule::setSaturation));
	bindValue(ui->GammaButton, panelSetting("setGamma", &viscaIpModule::setGamma));
	connect(ui->DigEffectBox, &QComboBox::currentTextChanged, this, [this](const QString &effect) {
		noteOperatorChange(ui->DigEffectBox);
		const viscaGeneralOps *ops = currentOps();
		const int code = ops ? ops->mirrorFlipMap.value(effect.toStdString(), 0) : 0;
		setCommand(panelSetting("setDigEffect", &viscaIpModule::setDigEffect), code);
	});
}

// ------------------------------------------------------------------------------------------------ building

void MainDialog::setupControlUI(viscaGeneralOps *ops)
{
	QMap<std::string, int> memorySpeeds = ops->memorySpeedMap;
	QMap<std::string, int> aeModes = ops->aeModeMap;
	QMap<std::string, int> shutters = ops->shutterMap;
	QMap<std::string, int> irises = ops->irisMap;
	QMap<std::string, int> gains = ops->gainMap;
	QMap<std::string, int> wbModes = ops->wbModeMap;
	QMap<std::string, int> imageModes = ops->imageModeMap;
	QMap<std::string, int> mirrorFlips = ops->mirrorFlipMap;
	QMap<std::string, int> gammas = ops->gammaMap;

	// Building the panel describes the new camera; it must not send anything to it.
	const SignalsBlocked blocked{ui->ZoomWidget, ui->FocusWidget,  ui->PresetSpeedBox, ui->ExposureModeBox,
				     ui->AWBModeBox, ui->ImageModeBox, ui->DigEffectBox};

	ui->ZoomWidget->setMinMaxValue(int(ops->zoomMin()), int(ops->zoomMax()));
	ui->FocusWidget->setMinMaxValue(int(ops->focusMin()), int(ops->focusMax()));

	panSpeedRange = {ops->panSpeedMin(), ops->panSpeedMax()};
	tiltSpeedRange = {ops->tiltSpeedMin(), ops->tiltSpeedMax()};
	zoomSpeedRange = {ops->zoomSpeedMin(), ops->zoomSpeedMax()};
	focusSpeedRange = {ops->focusSpeedMin(), ops->focusSpeedMax()};

	setupPresetSpeedUI(Utils::sortMapByValue(memorySpeeds));
	setupExposureModeUI(Utils::sortMapByValue(aeModes));
	setupWBModeUI(Utils::sortMapByValue(wbModes));
	setupImageModeUI(Utils::sortMapByValue(imageModes));
	setupDigEffectUI(Utils::sortMapByValue(mirrorFlips));

	ui->ShutterSpeedButton->setElements(shutters);
	ui->IrisButton->setElements(irises);
	ui->GainButton->setElements(gains);

	ui->RGainButton->setMinMaxValue(ops->RgainMin(), ops->RgainMax());
	ui->BGainButton->setMinMaxValue(ops->BgainMin(), ops->BgainMax());
	ui->SharpnessButton->setMinMaxValue(ops->sharpeessMin(), ops->sharpeessMax());
	ui->SaturationButton->setMinMaxValue(ops->saturationMin(), ops->saturationMax());
	ui->HueButton->setMinMaxValue(ops->hueMin(), ops->hueMax());
	ui->GammaButton->setMinMaxValue(ops->GammaMin(), ops->GammaMax());
	// The gamma control steps through names; its bounds above only decide whether there is anything to step.
	ui->GammaButton->setElements(gammas);
}

void MainDialog::setupPresetSpeedUI(const QList<std::string> &names)
{
	fillBox(ui->PresetSpeedBox, names);
}

void MainDialog::setupExposureModeUI(const QList<std::string> &names)
{
	fillBox(ui->ExposureModeBox, names);
}

void MainDialog::setupWBModeUI(const QList<std::string> &names)
{
	fillBox(ui->AWBModeBox, names);
}

void MainDialog::setupImageModeUI(const QList<std::string> &names)
{
	fillBox(ui->ImageModeBox, names);
}

void MainDialog::setupDigEffectUI(const QList<std::string> &names)
{
	fillBox(ui->DigEffectBox, names);
}

// ------------------------------------------------------------------------------------------------ reading

void MainDialog::updateControlUI()
{
	requestReading(AllGroups, &PanelReading::readAll, &MainDialog::applyPanelReading);
}

void MainDialog::applyModeReading(QComboBox *box, const QMap<std::string, int> &modes, std::optional<int> code,
				  quint64 askedAt, void (MainDialog::*gate)(QString))
{
	if (!code || changedSince(box, askedAt))
		return;
	for (auto it = modes.cbegin(); it != modes.cend(); ++it) {
		if (it.value() == *code) {
			const QString name = QString::fromStdString(it.key());
			box->setCurrentText(name);
			if (gate)
				(this->*gate)(name);
		}
	}
}

void MainDialog::applyPanelReading(const PanelReading &reading, quint64 askedAt)
{
	// Showing the camera's state must not send it back.
	const SignalsBlocked blocked{ui->ZoomWidget, ui->FocusWidget,  ui->ExposureModeBox,
				     ui->AWBModeBox, ui->ImageModeBox, ui->DigEffectBox};
	const viscaGeneralOps *ops = currentOps();
	const QMap<std::string, int> none;

	if (reading.zoom && !changedSince(ui->ZoomWidget, askedAt))
		ui->ZoomWidget->setValue(*reading.zoom);
	if (reading.focus && !changedSince(ui->FocusWidget, askedAt))
		ui->FocusWidget->setValue(*reading.focus);
	if (reading.autoFocus)
		ui->FocusWidget->updateUI(*reading.autoFocus ? KVFocusVerticalSlider::Auto
							     : KVFocusVerticalSlider::Manual);

	applyModeReading(ui->ExposureModeBox, ops ? ops->aeModeMap : none, reading.aeMode, askedAt,
			 &MainDialog::updateExposureUI);
	applyExposureValues(reading, askedAt);
	applyModeReading(ui->AWBModeBox, ops ? ops->wbModeMap : none, reading.wbMode, askedAt, &MainDialog::updateWBUI);
	applyWhiteBalanceValues(reading, askedAt);
	applyModeReading(ui->ImageModeBox, ops ? ops->imageModeMap : none, reading.imageMode, askedAt,
			 &MainDialog::updateImageUI);
	applyImageValues(reading, askedAt);
	applyModeReading(ui->DigEffectBox, ops ? ops->mirrorFlipMap : none, reading.digEffect, askedAt, nullptr);
}

namespace {

struct ValueReading {
	KVPlusMinusButton *control;
	std::optional<int> value;
};

// Each value widget takes its read-back value, unless the camera did not answer it or the operator changed the
// control after the reading was asked for. Showing a value sends nothing.
void applyValues(std::initializer_list<ValueReading> values, const std::function<bool(QObject *)> &changed)
{
	for (const ValueReading &entry : values) {
		if (!entry.value || changed(entry.control))
			continue;
		const bool wasBlocked = entry.control->blockSignals(true);
		entry.control->setValue(*entry.value);
		entry.control->blockSignals(wasBlocked);
	}
}

} // namespace

void MainDialog::applyExposureValues(const PanelReading &reading, quint64 askedAt)
{
	applyValues({{ui->ShutterSpeedButton, reading.shutter},
		     {ui->IrisButton, reading.iris},
		     {ui->GainButton, reading.gain}},
		    [this, askedAt](QObject *control) { return changedSince(control, askedAt); });
}

void MainDialog::applyWhiteBalanceValues(const PanelReading &reading, quint64 askedAt)
{
	applyValues({{ui->RGainButton, reading.rGain}, {ui->BGainButton, reading.bGain}},
		    [this, askedAt](QObject *control) { return changedSince(control, askedAt); });
}

void MainDialog::applyImageValues(const PanelReading &reading, quint64 askedAt)
{
	applyValues({{ui->SharpnessButton, reading.sharpness},
		     {ui->HueButton, reading.hue},
		     {ui->SaturationButton, reading.saturation},
		     {ui->GammaButton, reading.gamma}},
		    [this, askedAt](QObject *control) { return changedSince(control, askedAt); });
}

void MainDialog::updateExposureUIWithoutMode()
{
	requestReading(ExposureGroup, &PanelReading::readExposureValues, &MainDialog::applyExposureValues);
}

void MainDialog::updateImageUIWithoutMode()
{
	requestReading(ImageGroup, &PanelReading::readImageValues, &MainDialog::applyImageValues);
}

// ------------------------------------------------------------------------------------------------ gating

void MainDialog::updateExposureUI(QString mode)
{
	const bool manual = mode == ModuleText::text("Manual");
	ui->ShutterSpeedButton->setEnabled(manual);
	ui->IrisButton->setEnabled(manual);
	ui->GainButton->setEnabled(manual);
}

void MainDialog::updateWBUI(QString mode)
{
	if (mode == ModuleText::text("Manual")) {
		ui->RGainButton->setEnabledUI(true);
		ui->BGainButton->setEnabledUI(true);
		ui->OnePushButton->setEnabled(false);
	} else {
		ui->RGainButton->setEnabledUI(false);
		ui->BGainButton->setEnabledUI(false);
		ui->OnePushButton->setEnabled(mode == ModuleText::text("One_Push_WB"));
	}
}

void MainDialog::updateImageUI(QString mode)
{
	const bool custom = mode == ModuleText::text("Custom");
	ui->SharpnessButton->setEnabledUI(true);
	ui->SaturationButton->setEnabledUI(custom);
	ui->HueButton->setEnabledUI(custom);
	ui->GammaButton->setEnabledUI(custom);
}

// ------------------------------------------------------------------------------------------------ scenes

void MainDialog::applyScene(const SceneSetting &shutter, const SceneSetting &iris, const SceneSetting &gain)
{
	// Unblocked on purpose: a box showing another mode switches the camera to manual exposure first.
	ui->ExposureModeBox->setCurrentText(ModuleText::text("Manual"));

	applySceneSetting(
		ui->ShutterSpeedButton, shutter, panelSetting("setShutterDirect", &viscaIpModule::setShutterDirect),
		"It's failed to set shutter.", "It's failed to set shutter in", "It's the end of ShutterSpeed List");
	applySceneSetting(ui->IrisButton, iris, panelSetting("setIrisDirect", &viscaIpModule::setIrisDirect),
			  "It's failed to set iris.", "It's failed to set Iris in", nullptr);
	applySceneSetting(ui->GainButton, gain, panelSetting("setAeGain", &viscaIpModule::setAeGain),
			  "It's failed to set gain.", "It's failed to set Gain in", "It's the end of Gain List");
}

void MainDialog::applySceneSetting(KVPlusMinusButton *control, const SceneSetting &setting, const Command &command,
				   const char *singleFailed, const char *candidateFailed, const char *endOfList)
{
	for (const QString &candidate : setting.candidates) {
		const int code = control->getValue(candidate);
		if (code >= 0) {
			noteOperatorChange(control);
			control->setValue(code);
			setCommand(command, code);
			return;
		}
		if (setting.list)
			qCDebug(lcUi).noquote() << candidateFailed << candidate;
	}
	if (!setting.list)
		qCDebug(lcUi) << singleFailed;
	else if (endOfList)
		qCDebug(lcUi) << endOfList;
}
