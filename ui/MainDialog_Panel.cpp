// The advanced panel of the controller window: exposure, white balance and image settings, built from the
// connected model's capability object and filled from the camera's current settings.

#include "ui/MainDialog.h"
#include "ui/UiLog.h"
#include "ui_MainDialog.h"

#include "camera/viscaGeneralOps.h"
#include "control/PanelCommands.h"
#include "settings/Utils.h"
#include "settings/ModuleText.h"

#include <QDebug>

#include <algorithm>
#include <iterator>
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

// A mode box lists the model's modes in the order of their codes: the translated label to read, the code (item
// data) to send and to decide by.
void fillModeBox(QComboBox *box, const viscaGeneralOps::LabelValueMap &modes)
{
	box->clear();
	viscaGeneralOps::LabelValueMap sorted = modes;
	for (const std::string &name : Utils::sortMapByValue(sorted))
		box->addItem(QString::fromStdString(name), modes.value(name));
}

bool isMode(const std::optional<int> &mode, int code)
{
	return mode && *mode == code;
}

} // namespace

namespace {

using Picture = CameraCommands::Picture;

// Which mode of its section lets the operator change a value control.
enum class Gate { ManualExposure, ManualWhiteBalance, AnyImageMode, CustomImage };

// One row per value control of the panel: the command it sends, the value it shows from a reading, its steps
// (the model's names, a number range, or both: a range that only says whether there is anything to step) and the
// mode that lets the operator change it.
struct ValueControl {
	KVPlusMinusButton *Ui_MainDialog::*widget;
	Picture setting;
	std::optional<int> PanelReading::*reading;
	MainDialog::PanelGroup group;
	viscaGeneralOps::LabelValueMap viscaGeneralOps::*names;
	uint8_t (viscaGeneralOps::*min)() const;
	uint8_t (viscaGeneralOps::*max)() const;
	Gate gate;
};

using Ops = viscaGeneralOps;
const ValueControl kValueControls[] = {
	{&Ui_MainDialog::ShutterSpeedButton, Picture::Shutter, &PanelReading::shutter, MainDialog::ExposureGroup,
	 &Ops::shutterMap, nullptr, nullptr, Gate::ManualExposure},
	{&Ui_MainDialog::IrisButton, Picture::Iris, &PanelReading::iris, MainDialog::ExposureGroup, &Ops::irisMap,
	 nullptr, nullptr, Gate::ManualExposure},
	{&Ui_MainDialog::GainButton, Picture::Gain, &PanelReading::gain, MainDialog::ExposureGroup, &Ops::gainMap,
	 nullptr, nullptr, Gate::ManualExposure},
	{&Ui_MainDialog::RGainButton, Picture::RGain, &PanelReading::rGain, MainDialog::WhiteBalanceGroup, nullptr,
	 &Ops::RgainMin, &Ops::RgainMax, Gate::ManualWhiteBalance},
	{&Ui_MainDialog::BGainButton, Picture::BGain, &PanelReading::bGain, MainDialog::WhiteBalanceGroup, nullptr,
	 &Ops::BgainMin, &Ops::BgainMax, Gate::ManualWhiteBalance},
	{&Ui_MainDialog::SharpnessButton, Picture::Sharpness, &PanelReading::sharpness, MainDialog::ImageGroup, nullptr,
	 &Ops::sharpeessMin, &Ops::sharpeessMax, Gate::AnyImageMode},
	{&Ui_MainDialog::HueButton, Picture::Hue, &PanelReading::hue, MainDialog::ImageGroup, nullptr, &Ops::hueMin,
	 &Ops::hueMax, Gate::CustomImage},
	{&Ui_MainDialog::SaturationButton, Picture::Saturation, &PanelReading::saturation, MainDialog::ImageGroup,
	 nullptr, &Ops::saturationMin, &Ops::saturationMax, Gate::CustomImage},
	{&Ui_MainDialog::GammaButton, Picture::Gamma, &PanelReading::gamma, MainDialog::ImageGroup, &Ops::gammaMap,
	 &Ops::GammaMin, &Ops::GammaMax, Gate::CustomImage},
};

CameraCommand valueCommand(const ValueControl &row)
{
	return CameraCommands::picture(row.setting);
}

} // namespace

void MainDialog::setupPanelConnection()
{
	connect(ui->PresetSpeedBox, &QComboBox::currentTextChanged, this, &MainDialog::selectPresetSpeed);

	// A mode box sends the code of the chosen mode, then lets the section follow it.
	const auto bindMode = [this](QComboBox *box, Picture setting, std::function<void(int code)> follow) {
		connect(box, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
			[this, box, setting, follow](int index) {
				noteOperatorChange(box);
				const int code = box->itemData(index).toInt();
				setCommand(CameraCommands::picture(setting), code);
				if (follow)
					follow(code);
			});
	};
	bindMode(ui->ExposureModeBox, Picture::AeMode, [this](int code) {
		updateExposureUI(code);
		updateExposureUIWithoutMode();
	});
	const auto bindValue = [this](KVPlusMinusButton *control, const CameraCommand &command) {
		connect(control, &KVPlusMinusButton::valueChanged, this, [this, control, command](int value) {
			noteOperatorChange(control);
			setCommand(command, value);
		});
	};
	for (const ValueControl &row : kValueControls)
		bindValue((*ui).*row.widget, valueCommand(row));

	// The scenes: the nearest names come first, because the models' tables differ in their steps.
	connect(ui->LowLightButton, &QPushButton::pressed, this, [this]() {
		applyExposureScene({{QStringLiteral("1/30"), QStringLiteral("1/25")}, true},
				   {{QStringLiteral("F2")}, false},
				   {{QStringLiteral("33dB"), QStringLiteral("32dB"), QStringLiteral("34dB"),
				     QStringLiteral("31dB"), QStringLiteral("35dB"), QStringLiteral("30dB"),
				     QStringLiteral("36dB")},
				    true});
	});
	connect(ui->BackLightButton, &QPushButton::pressed, this, [this]() {
		applyExposureScene({{QStringLiteral("1/120")}, false},
				   {{QStringLiteral("F4.5"), QStringLiteral("F4.8")}, true},
				   {{QStringLiteral("21dB"), QStringLiteral("20dB"), QStringLiteral("22dB")}, true});
	});
	connect(ui->IndoorButton, &QPushButton::pressed, this, [this]() {
		applyExposureScene(
			{{QStringLiteral("1/60"), QStringLiteral("1/50")}, true},
			{{QStringLiteral("F3.2"), QStringLiteral("F3.1"), QStringLiteral("F3.3"), QStringLiteral("F3"),
			  QStringLiteral("F3.4"), QStringLiteral("F2.9"), QStringLiteral("F3.5")},
			 true},
			{{QStringLiteral("24dB")}, false});
	});
	connect(ui->MotionButton, &QPushButton::pressed, this, [this]() {
		applyExposureScene({{QStringLiteral("1/180")}, false},
				   {{QStringLiteral("F3.2"), QStringLiteral("F3.1"), QStringLiteral("F3.3"),
				     QStringLiteral("F3.0"), QStringLiteral("F3.4"), QStringLiteral("F2.9"),
				     QStringLiteral("F3.5")},
				    true},
				   {{QStringLiteral("27dB"), QStringLiteral("26dB"), QStringLiteral("28dB")}, true});
	});

	bindMode(ui->AWBModeBox, Picture::WbMode, [this](int code) {
		updateWBUI(code);
		// A camera that just switched to manual white balance needs a moment before its gains mean anything.
		if (isMode(PanelModes::of(currentOps()).manualWhiteBalance, code))
			requestReading(WhiteBalanceGroup, PanelReading::Part::WhiteBalance,
				       &MainDialog::applyWhiteBalanceValues, kManualWBSettleMs);
	});
	connect(ui->OnePushButton, &QPushButton::pressed, this,
		[this]() { setCommand(CameraCommands::onePushTrigger(), 0); });

	bindMode(ui->ImageModeBox, Picture::ImageMode, [this](int code) {
		updateImageUI(code);
		updateImageUIWithoutMode();
	});
	bindMode(ui->DigEffectBox, Picture::DigEffect, nullptr);
}

// ------------------------------------------------------------------------------------------------ building

void MainDialog::setupControlUI(viscaGeneralOps *ops)
{
	QMap<std::string, int> memorySpeeds = ops->memorySpeedMap;

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
	setupExposureModeUI(ops->aeModeMap);
	setupWBModeUI(ops->wbModeMap);
	setupImageModeUI(ops->imageModeMap);
	setupDigEffectUI(ops->mirrorFlipMap);

	for (const ValueControl &row : kValueControls) {
		KVPlusMinusButton *control = (*ui).*row.widget;
		if (row.min)
			control->setMinMaxValue((ops->*row.min)(), (ops->*row.max)());
		// A control with both steps through names; its bounds only decide whether there is anything to step.
		if (row.names)
			control->setElements(ops->*row.names);
	}
}

void MainDialog::setupPresetSpeedUI(const QList<std::string> &names)
{
	fillBox(ui->PresetSpeedBox, names);
}

void MainDialog::setupExposureModeUI(const QMap<std::string, int> &modes)
{
	fillModeBox(ui->ExposureModeBox, modes);
}

void MainDialog::setupWBModeUI(const QMap<std::string, int> &modes)
{
	fillModeBox(ui->AWBModeBox, modes);
}

void MainDialog::setupImageModeUI(const QMap<std::string, int> &modes)
{
	fillModeBox(ui->ImageModeBox, modes);
}

void MainDialog::setupDigEffectUI(const QMap<std::string, int> &modes)
{
	fillModeBox(ui->DigEffectBox, modes);
}

// ------------------------------------------------------------------------------------------------ reading

void MainDialog::updateControlUI()
{
	requestReading(AllGroups, PanelReading::Part::All, &MainDialog::applyPanelReading);
}

void MainDialog::applyModeReading(QComboBox *box, std::optional<int> code, quint64 askedAt,
				  void (MainDialog::*gate)(int code))
{
	if (!code || changedSince(box, askedAt))
		return;
	const int index = box->findData(*code);
	if (index < 0)
		return;
	box->setCurrentIndex(index);
	if (gate)
		(this->*gate)(*code);
}

void MainDialog::applyPanelReading(const PanelReading &reading, quint64 askedAt)
{
	// Showing the camera's state must not send it back.
	const SignalsBlocked blocked{ui->ZoomWidget, ui->FocusWidget,  ui->ExposureModeBox,
				     ui->AWBModeBox, ui->ImageModeBox, ui->DigEffectBox};
	if (reading.zoom && !changedSince(ui->ZoomWidget, askedAt))
		ui->ZoomWidget->setValue(*reading.zoom);
	if (reading.focus && !changedSince(ui->FocusWidget, askedAt))
		ui->FocusWidget->setValue(*reading.focus);
	if (reading.autoFocus)
		ui->FocusWidget->updateUI(*reading.autoFocus ? KVFocusVerticalSlider::Auto
							     : KVFocusVerticalSlider::Manual);

	applyModeReading(ui->ExposureModeBox, reading.aeMode, askedAt, &MainDialog::updateExposureUI);
	applyExposureValues(reading, askedAt);
	applyModeReading(ui->AWBModeBox, reading.wbMode, askedAt, &MainDialog::updateWBUI);
	applyWhiteBalanceValues(reading, askedAt);
	applyModeReading(ui->ImageModeBox, reading.imageMode, askedAt, &MainDialog::updateImageUI);
	applyImageValues(reading, askedAt);
	applyModeReading(ui->DigEffectBox, reading.digEffect, askedAt, nullptr);
}

// Each value control of a section takes its read-back value, unless the camera did not answer it or the operator
// changed the control after the reading was asked for. Showing a value sends nothing.
void MainDialog::applyValues(PanelGroup group, const PanelReading &reading, quint64 askedAt)
{
	for (const ValueControl &row : kValueControls) {
		KVPlusMinusButton *control = (*ui).*row.widget;
		const std::optional<int> &value = reading.*row.reading;
		if (row.group != group || !value || changedSince(control, askedAt))
			continue;
		const bool wasBlocked = control->blockSignals(true);
		control->setValue(*value);
		control->blockSignals(wasBlocked);
	}
}

void MainDialog::applyExposureValues(const PanelReading &reading, quint64 askedAt)
{
	applyValues(ExposureGroup, reading, askedAt);
}

void MainDialog::applyWhiteBalanceValues(const PanelReading &reading, quint64 askedAt)
{
	applyValues(WhiteBalanceGroup, reading, askedAt);
}

void MainDialog::applyImageValues(const PanelReading &reading, quint64 askedAt)
{
	applyValues(ImageGroup, reading, askedAt);
}

void MainDialog::updateExposureUIWithoutMode()
{
	requestReading(ExposureGroup, PanelReading::Part::Exposure, &MainDialog::applyExposureValues);
}

void MainDialog::updateImageUIWithoutMode()
{
	requestReading(ImageGroup, PanelReading::Part::Image, &MainDialog::applyImageValues);
}

// ------------------------------------------------------------------------------------------------ gating

namespace {

// Enables the value controls behind one gate; the exposure values are switched whole, the others keep their value
// field read-only.
void openGate(Ui_MainDialog &form, Gate gate, bool open)
{
	for (const ValueControl &row : kValueControls) {
		if (row.gate != gate)
			continue;
		KVPlusMinusButton *control = form.*row.widget;
		if (gate == Gate::ManualExposure)
			control->setEnabled(open);
		else
			control->setEnabledUI(open);
	}
}

} // namespace

void MainDialog::updateExposureUI(int code)
{
	openGate(*ui, Gate::ManualExposure, isMode(PanelModes::of(currentOps()).manualExposure, code));
}

void MainDialog::updateWBUI(int code)
{
	const PanelModes modes = PanelModes::of(currentOps());
	const bool manual = isMode(modes.manualWhiteBalance, code);
	openGate(*ui, Gate::ManualWhiteBalance, manual);
	ui->OnePushButton->setEnabled(!manual && isMode(modes.onePushWhiteBalance, code));
}

void MainDialog::updateImageUI(int code)
{
	openGate(*ui, Gate::AnyImageMode, true);
	openGate(*ui, Gate::CustomImage, isMode(PanelModes::of(currentOps()).customImage, code));
}

// ------------------------------------------------------------------------------------------------ scenes

void MainDialog::applyExposureScene(const ExposureSceneSetting &shutter, const ExposureSceneSetting &iris,
				    const ExposureSceneSetting &gain)
{
	// Unblocked on purpose: a box showing another mode switches the camera to manual exposure first.
	const std::optional<int> manual = PanelModes::of(currentOps()).manualExposure;
	const int manualIndex = manual ? ui->ExposureModeBox->findData(*manual) : -1;
	if (manualIndex >= 0)
		ui->ExposureModeBox->setCurrentIndex(manualIndex);

	applyExposureSceneSetting(ui->ShutterSpeedButton, shutter, "It's failed to set shutter.",
				  "It's failed to set shutter in", "It's the end of ShutterSpeed List");
	applyExposureSceneSetting(ui->IrisButton, iris, "It's failed to set iris.", "It's failed to set Iris in",
				  nullptr);
	applyExposureSceneSetting(ui->GainButton, gain, "It's failed to set gain.", "It's failed to set Gain in",
				  "It's the end of Gain List");
}

void MainDialog::applyExposureSceneSetting(KVPlusMinusButton *control, const ExposureSceneSetting &setting,
					   const char *singleFailed, const char *candidateFailed, const char *endOfList)
{
	const auto row = std::find_if(std::begin(kValueControls), std::end(kValueControls),
				      [&](const ValueControl &entry) { return (*ui).*entry.widget == control; });
	const Command command = valueCommand(*row);
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
