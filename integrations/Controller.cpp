#include "integrations/Controller.h"

#include "control/CameraDirector.h"
#include "control/CameraInUse.h"
#include "control/CameraPool.h"
#include "control/CameraSpeeds.h"
#include "camera/viscaGeneralOps.h"
#include "integrations/HotkeySource.h"
#include "integrations/HotkeyTable.h"
#include "integrations/LiveCameras.h"
#include "integrations/PresetPictures.h"
#include "integrations/TallyLamps.h"
#include "relay/RelayService.h"
#include "scenes/ScenePresetLinker.h"
#include "scenes/SceneSource.h"
#include "settings/ModuleText.h"
#include "settings/SettingsFile.h"

#include <QJsonObject>
#include <QLoggingCategory>
#include <QPointer>
#include <QTimer>

#include <algorithm>

namespace {

Q_LOGGING_CATEGORY(lcController, "kavren.controller")

CameraDirector *makeDirector(CameraPool *pool, Controller *controller)
{
	// A slot is named as the window shows it: its nickname, or the localized slot name.
	return new CameraDirector(
		pool,
		[](int slot) {
			const QString slotName = SettingsFile::slotName(slot);
			const QJsonValue nickname = SettingsFile::read().value(SettingsFile::nickNameKey(slotName));
			return nickname.isUndefined() ? ModuleText::text(slotName.toUtf8().constData())
						      : nickname.toString();
		},
		controller);
}

} // namespace

Controller::Controller(const Options &options, QObject *parent)
    : QObject(parent), pool(new CameraPool(options.cameras, this)), inUse(new CameraInUse(pool, this)),
      cameraDirector(makeDirector(pool, this)), pictures(new PresetPictures(Utils::getAppDataPath(), this)),
      relayService(new RelayService(options.relay, Utils::getAppDataPath(), this)),
      hotkeySource(HotkeySource::create(this)), cameraRequests(cameraDirector, pictures)
{
	inUse->setGuard([this](int slot, CameraInUse::Origin origin) { return mayChangeTheShot(slot, origin); });
	relayService->start();
	hotkeysOn = SettingsFile::read().value(QLatin1String(SettingsFile::kHotKeyKey)).toBool(false);
	listenToHotkeys(hotkeysOn);
	// The operator finds the camera used last in use again.
	inUse->restore();
	gamepadInput = new GamepadInput(this, options.gamepad, this);
	connect(gamepadInput, &GamepadInput::connectionChanged, this, &Controller::gamepadConnectionChanged);
}

Controller::~Controller()
{
	shutdown();
}

void Controller::attachSceneSource(SceneSource *source)
{
	dropSceneFollowers();
	scenes = source;
	if (!source || down)
		return;
	live = new LiveCameras(source, this);
	connect(live, &LiveCameras::changed, this, [this](const QSet<int> &slotsLive) {
		cameraDirector->setLiveSlots(slotsLive);
		emit liveCamerasChanged();
	});
	sceneLinks = new ScenePresetLinker(source, cameraDirector, this);
	sceneLinks->setLiveCheck([this](int slot) { return live && live->isLive(slot); });
	tallyLamps = new TallyLamps(source, cameraDirector, this);
}

void Controller::dropSceneFollowers()
{
	delete sceneLinks;
	sceneLinks = nullptr;
	delete tallyLamps;
	tallyLamps = nullptr;
	delete live;
	live = nullptr;
	cameraDirector->setLiveSlots({});
}

bool Controller::mayChangeTheShot(int slot, CameraInUse::Origin origin) const
{
	if (!live || !live->isLive(slot) || origin == CameraInUse::Origin::Deliberate)
		return true;
	// Keys and buttons are held back like the window unless the operator switched that off.
	return origin == CameraInUse::Origin::Keys && !LiveCameras::protectsEveryone();
}

void Controller::setHotkeysEnabled(bool on)
{
	// The switch is a preference, not an operation: whether it was stored is not looked at.
	SettingsFile::update([on](QJsonObject &settings) {
		settings[QLatin1String(SettingsFile::kHotKeyKey)] = on;
		return true;
	});
	hotkeysOn = on;
	listenToHotkeys(on && !down);
}

void Controller::listenToHotkeys(bool on)
{
	// One listener at most: a second switch-on must not run every command twice. The host calls its hotkey
	// callback on a thread of its own; the automatic connection brings the event to this thread.
	disconnect(hotkeySource, &HotkeySource::hotKeysentTo, this, nullptr);
	if (on)
		connect(hotkeySource, &HotkeySource::hotKeysentTo, this, &Controller::onHotkey);
}

void Controller::onHotkey(int index, bool pressed)
{
	if (index < 0 || index >= HotkeyTable::kCount)
		return;
	const HotkeyTable::Row &row = HotkeyTable::row(index);
	act(row.action, pressed, row.argument);
}

bool Controller::act(OperatorAction action, bool pressed, int argument)
{
	using Direction = CameraCommands::Direction;
	switch (action) {
	case OperatorAction::TiltUp:
		return drive(CameraCommands::move(Direction::Up), CameraCommands::motorStop(), pressed);
	case OperatorAction::TiltDown:
		return drive(CameraCommands::move(Direction::Down), CameraCommands::motorStop(), pressed);
	case OperatorAction::PanLeft:
		return drive(CameraCommands::move(Direction::Left), CameraCommands::motorStop(), pressed);
	case OperatorAction::PanRight:
		return drive(CameraCommands::move(Direction::Right), CameraCommands::motorStop(), pressed);
	case OperatorAction::ZoomIn:
		return drive(CameraCommands::zoomIn(), CameraCommands::zoomStop(), pressed);
	case OperatorAction::ZoomOut:
		return drive(CameraCommands::zoomOut(), CameraCommands::zoomStop(), pressed);
	case OperatorAction::FocusNear:
		return drive(CameraCommands::focusNear(), CameraCommands::focusStop(), pressed);
	case OperatorAction::FocusFar:
		return drive(CameraCommands::focusFar(), CameraCommands::focusStop(), pressed);
	case OperatorAction::StorePreset:
		return storePresetWhenHeld(argument, pressed);
	default:
		break;
	}
	// The rest act once, on press.
	if (!pressed)
		return false;
	switch (action) {
	case OperatorAction::ZoomStop:
		return inUse->drive(CameraCommands::zoomStop(), 0, CameraInUse::Origin::Keys);
	case OperatorAction::FocusAuto:
		return inUse->drive(CameraCommands::autoFocus(), 1, CameraInUse::Origin::Keys);
	case OperatorAction::Home:
		return inUse->drive(CameraCommands::home(), 0, CameraInUse::Origin::Keys);
	case OperatorAction::SelectCamera:
		return SettingsFile::isSlot(argument) && argument != inUse->slot() &&
		       inUse->choose(argument) == CameraInUse::Start::Started;
	case OperatorAction::PreviousCamera:
		return chooseNeighbour(-1);
	case OperatorAction::NextCamera:
		return chooseNeighbour(1);
	case OperatorAction::CallPreset:
		return callPreset(argument);
	case OperatorAction::SpeedUp:
		return changeSpeeds(1);
	case OperatorAction::SpeedDown:
		return changeSpeeds(-1);
	default:
		return false;
	}
}

bool Controller::drive(const CameraCommand &press, const CameraCommand &release, bool pressed)
{
	// A press needs a camera in use; a release stops what its press started, wherever the choice has gone.
	if (pressed && !inUse->isConnected())
		return false;
	return inUse->drive(pressed ? press : release, 0, CameraInUse::Origin::Keys);
}

bool Controller::chooseNeighbour(int step)
{
	// The next slot in that direction that has an address, round the eight; from none, the first or the last.
	const QJsonObject settings = SettingsFile::read();
	const int from = inUse->connectingSlot() ? inUse->connectingSlot() : inUse->slot();
	int slot = from ? from : (step > 0 ? 0 : SettingsFile::kSlotCount + 1);
	for (int tried = 0; tried < SettingsFile::kSlotCount; ++tried) {
		slot = (slot - 1 + step + SettingsFile::kSlotCount) % SettingsFile::kSlotCount + 1;
		if (slot == from)
			return false;
		if (!settings.value(SettingsFile::addressKey(slot)).toString().isEmpty())
			return inUse->choose(slot) == CameraInUse::Start::Started;
	}
	return false;
}

bool Controller::callPreset(int preset)
{
	if (!SettingsFile::isPreset(preset) ||
	    !inUse->drive(CameraCommands::presetRecall(), preset, CameraInUse::Origin::Keys))
		return false;
	cameraDirector->reportPresetCall(inUse->slot(), preset, CameraDirector::Source::Hotkey);
	emit presetCalledFromHotkey(inUse->slot(), preset);
	return true;
}

bool Controller::storePresetWhenHeld(int preset, bool pressed)
{
	if (!SettingsFile::isPreset(preset))
		return false;
	if (!pressed) {
		// Let go before it was due: nothing is stored, and the operator is told to hold the key.
		if (storeHolds.remove(preset) > 0)
			emit storeNeedsHold(preset);
		return false;
	}
	if (!inUse->isConnected() || storeHolds.contains(preset))
		return false;
	const quint64 hold = ++holdClock;
	const int slot = inUse->slot();
	storeHolds.insert(preset, hold);
	QTimer::singleShot(kStoreHoldMs, this, [this, preset, hold, slot] {
		if (storeHolds.value(preset) != hold)
			return;
		storeHolds.remove(preset);
		// Only the camera the key was pressed for: a choice changed meanwhile stores nothing.
		if (inUse->slot() != slot)
			return;
		QPointer<Controller> self(this);
		const bool queued =
			inUse->submit(CameraJob::confirmed(CameraCommands::presetSave(), preset,
							   [self, slot, preset](bool ok) {
								   if (self)
									   emit self->presetStored(slot, preset, ok);
							   }),
				      CameraInUse::Origin::Keys);
		if (!queued)
			return;
		pictures->take(slot, preset);
		qCInfo(lcController, "Preset %d stored on camera %d by a held key", preset, slot);
	});
	return true;
}

bool Controller::changeSpeeds(int step)
{
	// Pan and tilt speeds one step up or down, within the model's ranges, kept for the camera and used from the
	// next move on.
	const viscaGeneralOps *ops = inUse->connection().ops.get();
	if (!ops || !inUse->isConnected())
		return false;
	const QString prefix = inUse->connection().address + inUse->connection().model;
	const CameraSpeeds speeds = CameraSpeeds::stored(SettingsFile::read(), prefix, *ops);
	const int pan = std::clamp(speeds.pan + step, int(ops->panSpeedMin()), int(ops->panSpeedMax()));
	const int tilt = std::clamp(speeds.tilt + step, int(ops->tiltSpeedMin()), int(ops->tiltSpeedMax()));
	if (pan == speeds.pan && tilt == speeds.tilt)
		return false;
	inUse->drive(CameraCommands::speed(CameraCommands::Speed::Pan), pan);
	inUse->drive(CameraCommands::speed(CameraCommands::Speed::Tilt), tilt);
	SettingsFile::updateLogged(lcController, [&](QJsonObject &settings) {
		settings[prefix + QLatin1String(CameraSpeeds::kPan.key)] = QString::number(pan);
		settings[prefix + QLatin1String(CameraSpeeds::kTilt.key)] = QString::number(tilt);
	});
	emit speedsChanged();
	return true;
}

void Controller::shutdown()
{
	if (down)
		return;
	down = true;
	cameraRequests.close();
	dropSceneFollowers();
	listenToHotkeys(false);
	gamepadInput->shutdown();
	pool->shutdown();
	relayService->shutdown();
}
