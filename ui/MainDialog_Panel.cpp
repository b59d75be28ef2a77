// The advanced panel of the controller window: exposure, white balance and image settings, built from the
// connected model's capability object and filled from the camera's current settings.

#include "ui/MainDialog.h"
#include "ui_MainDialog.h"

#include "camera/viscaGeneralOps.h"
#include "settings/Utils.h"
#include "ui/ModuleText.h"
#include "visca/viscaIpModule.h"

#include <QDebug>
#include <QThread>

namespace {

// Gives a camera that just switched to manual white balance time to settle before its gains are read.
constexpr unsigned long kManualWBSettleMs = 1000;

// Inquiry answers carry their value in the low bits; -1 (no camera link) is passed on untouched, so it matches
// no name of any map.
int lowBits(int answer, int mask)
{
	return answer < 0 ? answer : (answer & mask);
}

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

void MainDialog::setupPanelConnection()
{
	connect(ui->PresetSpeedBox, &QComboBox::currentTextChanged, this, &MainDialog::selectPresetSpeed);

	connect(ui->ExposureModeBox, &QComboBox::currentTextChanged, this, [this](const QString &mode) {
		const viscaGeneralOps *ops = currentOps();
		const int code = ops ? ops->aeModeMap.value(mode.toStdString(), 0) : 0;
		setCommand([this](int value) { cameraModule->setAeMode(value); }, code);
		updateExposureUI(mode);
		updateExposureUIWithoutMode();
	});
	connect(ui->ShutterSpeedButton, &KVPlusMinusButton::valueChanged, this,
		[this](int value) { setCommand([this](int v) { cameraModule->setShutterDirect(v); }, value); });
	connect(ui->IrisButton, &KVPlusMinusButton::valueChanged, this,
		[this](int value) { setCommand([this](int v) { cameraModule->setIrisDirect(v); }, value); });
	connect(ui->GainButton, &KVPlusMinusButton::valueChanged, this,
		[this](int value) { setCommand([this](int v) { cameraModule->setAeGain(v); }, value); });

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
		const viscaGeneralOps *ops = currentOps();
		const int code = ops ? ops->wbModeMap.value(mode.toStdString(), 0) : 0;
		setCommand([this](int value) { cameraModule->setWBmode(value); }, code);
		updateWBUI(mode);
		if (mode == ModuleText::text("Manual")) {
			QThread::msleep(kManualWBSettleMs);
			updateWBUIWithoutMode();
		}
	});
	connect(ui->RGainButton, &KVPlusMinusButton::valueChanged, this,
		[this](int value) { setCommand([this](int v) { cameraModule->setRGain(v); }, value); });
	connect(ui->BGainButton, &KVPlusMinusButton::valueChanged, this,
		[this](int value) { setCommand([this](int v) { cameraModule->setBGain(v); }, value); });
	connect(ui->OnePushButton, &QPushButton::pressed, this,
		[this]() { setCommand([this](int) { cameraModule->setOnePushTrigger(); }, 0); });

	connect(ui->ImageModeBox, &QComboBox::currentTextChanged, this, [this](const QString &mode) {
		const viscaGeneralOps *ops = currentOps();
		const int code = ops ? ops->imageModeMap.value(mode.toStdString(), 0) : 0;
		setCommand([this](int value) { cameraModule->setImageMode(value); }, code);
		updateImageUI(mode);
		updateImageUIWithoutMode();
	});
	connect(ui->SharpnessButton, &KVPlusMinusButton::valueChanged, this,
		[this](int value) { setCommand([this](int v) { cameraModule->setSharpness(v); }, value); });
	connect(ui->HueButton, &KVPlusMinusButton::valueChanged, this,
		[this](int value) { setCommand([this](int v) { cameraModule->setHue(v); }, value); });
	connect(ui->SaturationButton, &KVPlusMinusButton::valueChanged, this,
		[this](int value) { setCommand([this](int v) { cameraModule->setSaturation(v); }, value); });
	connect(ui->GammaButton, &KVPlusMinusButton::valueChanged, this,
		[this](int value) { setCommand([this](int v) { cameraModule->setGamma(v); }, value); });
	connect(ui->DigEffectBox, &QComboBox::currentTextChanged, this, [this](const QString &effect) {
		const viscaGeneralOps *ops = currentOps();
		const int code = ops ? ops->mirrorFlipMap.value(effect.toStdString(), 0) : 0;
		setCommand([this](int value) { cameraModule->setDigEffect(value); }, code);
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
	const SignalsBlocked blocked{ui->ZoomWidget, ui->FocusWidget,  ui->ExposureModeBox,
				     ui->AWBModeBox, ui->ImageModeBox, ui->DigEffectBox};
	const viscaGeneralOps *ops = currentOps();
	const QMap<std::string, int> none;

	ui->ZoomWidget->setValue(getCommand([this]() { return cameraModule->getZoomDirect(); }));
	ui->FocusWidget->setValue(getCommand([this]() { return cameraModule->getFocusDirect(); }));
	const int autoFocus = getCommand([this]() { return int(cameraModule->getAfMode()); });
	ui->FocusWidget->updateUI(autoFocus > 0 ? KVFocusVerticalSlider::Auto : KVFocusVerticalSlider::Manual);

	const int aeMode = lowBits(getCommand([this]() { return cameraModule->getAeMode(); }), 0xFF);
	const QMap<std::string, int> &aeModes = ops ? ops->aeModeMap : none;
	for (auto it = aeModes.cbegin(); it != aeModes.cend(); ++it) {
		if (it.value() == aeMode) {
			const QString name = QString::fromStdString(it.key());
			ui->ExposureModeBox->setCurrentText(name);
			updateExposureUI(name);
		}
	}
	updateExposureUIWithoutMode();

	const int wbMode = lowBits(getCommand([this]() { return cameraModule->getWBmode(); }), 0xFF);
	const QMap<std::string, int> &wbModes = ops ? ops->wbModeMap : none;
	for (auto it = wbModes.cbegin(); it != wbModes.cend(); ++it) {
		if (it.value() == wbMode) {
			const QString name = QString::fromStdString(it.key());
			ui->AWBModeBox->setCurrentText(name);
			updateWBUI(name);
		}
	}
	updateWBUIWithoutMode();

	const int imageMode = lowBits(getCommand([this]() { return cameraModule->getImageMode(); }), 0xFF);
	const QMap<std::string, int> &imageModes = ops ? ops->imageModeMap : none;
	for (auto it = imageModes.cbegin(); it != imageModes.cend(); ++it) {
		if (it.value() == imageMode) {
			const QString name = QString::fromStdString(it.key());
			ui->ImageModeBox->setCurrentText(name);
			updateImageUI(name);
		}
	}
	updateImageUIWithoutMode();

	const int effect = getCommand([this]() { return cameraModule->getDigEffect(); });
	const QMap<std::string, int> &effects = ops ? ops->mirrorFlipMap : none;
	for (auto it = effects.cbegin(); it != effects.cend(); ++it) {
		if (it.value() == effect)
			ui->DigEffectBox->setCurrentText(QString::fromStdString(it.key()));
	}
}

void MainDialog::updateExposureUIWithoutMode()
{
	const SignalsBlocked blocked{ui->ShutterSpeedButton, ui->IrisButton, ui->GainButton};
	ui->ShutterSpeedButton->setValue(
		lowBits(getCommand([this]() { return cameraModule->getShutterDirect(); }), 0xFF));
	ui->IrisButton->setValue(lowBits(getCommand([this]() { return cameraModule->getIrisDirect(); }), 0xFF));
	ui->GainButton->setValue(lowBits(getCommand([this]() { return cameraModule->getAeGain(); }), 0xFF));
}

void MainDialog::updateWBUIWithoutMode()
{
	const SignalsBlocked blocked{ui->RGainButton, ui->BGainButton};
	ui->RGainButton->setValue(lowBits(getCommand([this]() { return cameraModule->getRGain(); }), 0xFFFF));
	ui->BGainButton->setValue(lowBits(getCommand([this]() { return cameraModule->getBGain(); }), 0xFFFF));
}

void MainDialog::updateImageUIWithoutMode()
{
	const SignalsBlocked blocked{ui->SharpnessButton, ui->HueButton, ui->SaturationButton, ui->GammaButton};
	ui->SharpnessButton->setValue(lowBits(getCommand([this]() { return cameraModule->getSharpness(); }), 0xFF));
	ui->HueButton->setValue(lowBits(getCommand([this]() { return cameraModule->getHue(); }), 0xFF));
	ui->SaturationButton->setValue(lowBits(getCommand([this]() { return cameraModule->getSaturation(); }), 0xFF));
	ui->GammaButton->setValue(lowBits(getCommand([this]() { return cameraModule->getGamma(); }), 0xFF));
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
		ui->ShutterSpeedButton, shutter, [this](int code) { cameraModule->setShutterDirect(code); },
		"It's failed to set shutter.", "It's failed to set shutter in", "It's the end of ShutterSpeed List");
	applySceneSetting(
		ui->IrisButton, iris, [this](int code) { cameraModule->setIrisDirect(code); },
		"It's failed to set iris.", "It's failed to set Iris in", nullptr);
	applySceneSetting(
		ui->GainButton, gain, [this](int code) { cameraModule->setAeGain(code); }, "It's failed to set gain.",
		"It's failed to set Gain in", "It's the end of Gain List");
}

void MainDialog::applySceneSetting(KVPlusMinusButton *control, const SceneSetting &setting, const Command &command,
				   const char *singleFailed, const char *candidateFailed, const char *endOfList)
{
	for (const QString &candidate : setting.candidates) {
		const int code = control->getValue(candidate);
		if (code >= 0) {
			control->setValue(code);
			setCommand(command, code);
			return;
		}
		if (setting.list)
			qDebug().noquote() << candidateFailed << candidate;
	}
	if (!setting.list)
		qDebug() << singleFailed;
	else if (endOfList)
		qDebug() << endOfList;
}
