#include "integrations/Controller.h"

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
#include "settings/Utils.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QPointer>
#include <QTimer>

#include <QSet>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace {

Q_LOGGING_CATEGORY(lcController, "kavren.controller")

// A slot is named as the window shows it: its nickname, or the localized slot name.
QString slotCaption(int slot)
{
	const QString slotName = SettingsFile::slotName(slot);
	const QJsonValue nickname = SettingsFile::read().value(SettingsFile::nickNameKey(slotName));
	return nickname.isUndefined() ? ModuleText::text(slotName.toUtf8().constData()) : nickname.toString();
}

} // namespace

Controller::Controller(const Options &options, QObject *parent)
    : QObject(parent), pool(new CameraPool(options.cameras, slotCaption, this)), inUse(new CameraInUse(pool, this)),
      pictures(new PresetPictures(Utils::getAppDataPath(), this)),
      relayService(new RelayService(options.relay, Utils::getAppDataPath(), this)),
      hotkeySource(HotkeySource::create(this)), cameraRequests(pool)
{
	pictures->follow(pool);
	connect(pool, &CameraPool::heldBack, this, &Controller::heldBack);
	connect(pool, &CameraPool::presetCalled, this, [this](int slot, int preset, CameraOrigin origin) {
		if (origin == CameraOrigin::Hotkey || origin == CameraOrigin::Gamepad)
			emit presetCalledFromHotkey(slot, preset);
	});
	relayService->start();
	hotkeysOn = SettingsFile::read().value(QLatin1String(SettingsFile::kHotKeyKey)).toBool(false);
	listenToHotkeys(hotkeysOn);
	// Every camera with an address is watched, so that one that dies is told whether it is in use or not.
	watchAssignedCameras();
	connect(SettingsFile::notifier(), &SettingsNotifier::changed, this, [this]() {
		watchAssignedCameras();
		protectFromRelay();
	});
	connect(inUse, &CameraInUse::released, this, &Controller::watchAssignedCameras);
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
	connect(live, &LiveCameras::changed, this, &Controller::onLiveChanged);
	onLiveChanged(live->liveAddresses());
	sceneLinks = new ScenePresetLinker(source, pool, this);
	tallyLamps = new TallyLamps(source, pool, this);
}

void Controller::dropSceneFollowers()
{
	delete sceneLinks;
	sceneLinks = nullptr;
	delete tallyLamps;
	tallyLamps = nullptr;
	delete live;
	live = nullptr;
	liveAddresses.clear();
	pool->setLiveAddresses({});
}

void Controller::onLiveChanged(const QSet<QString> &addresses)
{
	const QSet<QString> before = liveAddresses;
	liveAddresses = addresses;
	pool->setLiveAddresses(addresses);
	protectFromRelay();
	// A camera that goes on air while it moves stops, unless the operator holds it on purpose.
	const bool deliberate = deliberateHeld && deliberateHeld();
	for (int slot = 1; slot <= CameraPool::kSlots && !deliberate; ++slot) {
		CameraDoor *door = pool->door(slot);
		const QString address = door ? door->info().address : QString();
		if (door && addresses.contains(address) && !before.contains(address))
			door->stopMovingLanes(QStringLiteral("it went live on program"));
	}
	emit liveCamerasChanged();
}

void Controller::protectFromRelay()
{
	// Other programs' raw datagrams are held back from a live camera like their requests.
	const QStringList live = CameraPool::protectsEveryone()
					 ? QStringList(liveAddresses.begin(), liveAddresses.end())
					 : QStringList();
	relayService->setLiveAddresses(live);
}

void Controller::watchAssignedCameras()
{
	const QJsonObject settings = SettingsFile::read();
	for (int slot = 1; slot <= CameraPool::kSlots; ++slot) {
		CameraWorker *worker = pool->worker(slot);
		if (!worker || (slot == inUse->slot() && inUse->worker()))
			continue;
		const QString address = settings.value(SettingsFile::addressKey(slot)).toString();
		worker->setWatch(address.isEmpty() ? CameraWorker::Watch::None : CameraWorker::Watch::Assigned,
				 address);
	}
}

void Controller::setHotkeysEnabled(bool on)
{
	// The switch is a preference, not an operation: whether it was stored is not looked at.
	SettingsFile::updateLater([on](QJsonObject &settings) {
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
	disconnect(hotkeySource, nullptr, this, nullptr);
	if (on) {
		connect(hotkeySource, &HotkeySource::hotKeysentTo, this, &Controller::onHotkey);
		connect(hotkeySource, &HotkeySource::hotKeyTapped, this, &Controller::onHotkeyTapped);
	}
}

void Controller::onHotkey(int index, bool pressed)
{
	if (index < 0 || index >= HotkeyTable::kCount)
		return;
	const HotkeyTable::Row &row = HotkeyTable::row(index);
	act(row.action, pressed, row.argument, CameraCaller{CameraOrigin::Hotkey, index});
}

// The command of an action that moves while its input is held.
static std::optional<CameraCommand> heldMove(OperatorAction action)
{
	using Direction = CameraCommands::Direction;
	switch (action) {
	case OperatorAction::TiltUp:
		return CameraCommands::move(Direction::Up);
	case OperatorAction::TiltDown:
		return CameraCommands::move(Direction::Down);
	case OperatorAction::PanLeft:
		return CameraCommands::move(Direction::Left);
	case OperatorAction::PanRight:
		return CameraCommands::move(Direction::Right);
	case OperatorAction::ZoomIn:
		return CameraCommands::zoomIn();
	case OperatorAction::ZoomOut:
		return CameraCommands::zoomOut();
	case OperatorAction::FocusNear:
		return CameraCommands::focusNear();
	case OperatorAction::FocusFar:
		return CameraCommands::focusFar();
	default:
		return std::nullopt;
	}
}

void Controller::onHotkeyTapped(int index)
{
	if (index < 0 || index >= HotkeyTable::kCount)
		return;
	const HotkeyTable::Row &row = HotkeyTable::row(index);
	const CameraCaller caller{CameraOrigin::Hotkey, index};
	if (const std::optional<CameraCommand> move = heldMove(row.action)) {
		tap(*move, caller);
		return;
	}
	act(row.action, true, row.argument, caller);
	act(row.action, false, row.argument, caller);
}

namespace {

// Lives as long as a tap's move job: when the job goes without having run (a newer command of its lane took its
// place, or its camera went), the tap is let go at once, on the UI thread.
struct TapMoveFate {
	std::function<void()> letGoOnUiThread;
	std::atomic<bool> ran{false};
	~TapMoveFate()
	{
		if (!ran && QCoreApplication::instance())
			QMetaObject::invokeMethod(QCoreApplication::instance(), letGoOnUiThread, Qt::QueuedConnection);
	}
};

} // namespace

bool Controller::tap(const CameraCommand &move, const CameraCaller &caller)
{
	// The stop follows kTapMs after the camera got the move, not after the press: on a busy machine the move may
	// still wait behind other work (a preset recall) for seconds, and a stop timed from the press would take its
	// place. No clock decides about a move that never goes out: the job's end tells.
	auto letGo = std::make_shared<bool>(false);
	QPointer<Controller> self(this);
	const auto release = [self, letGo, lane = move.lane, caller]() {
		if (self && !std::exchange(*letGo, true))
			self->inUse->release(lane, caller);
	};
	auto fate = std::make_shared<TapMoveFate>();
	fate->letGoOnUiThread = release;
	CameraJob job = CameraJob::fromCommand(move, 0);
	job.run = [run = std::move(job.run), self, release, fate](viscaIpModule &link) -> CameraJob::FollowUp {
		fate->ran = true;
		const CameraJob::FollowUp then = run(link);
		return [then, self, release]() {
			if (then)
				then();
			if (self)
				QTimer::singleShot(kTapMs, self.data(), release);
		};
	};
	return inUse->submit(std::move(job), caller);
}

bool Controller::act(OperatorAction action, bool pressed, int argument, const CameraCaller &caller)
{
	if (const std::optional<CameraCommand> move = heldMove(action))
		return hold(*move, pressed, caller);
	switch (action) {
	case OperatorAction::StorePreset:
		return storePresetWhenHeld(argument, pressed, caller);
	default:
		break;
	}
	// The rest act once, on press.
	if (!pressed)
		return false;
	switch (action) {
	case OperatorAction::ZoomStop:
		return inUse->drive(CameraCommands::zoomStop(), 0, caller);
	case OperatorAction::FocusAuto:
		return inUse->drive(CameraCommands::autoFocus(), 1, caller);
	case OperatorAction::Home:
		return inUse->drive(CameraCommands::home(), 0, caller);
	case OperatorAction::SelectCamera:
		return SettingsFile::isSlot(argument) && argument != inUse->slot() &&
		       inUse->choose(argument) == CameraInUse::Start::Started;
	case OperatorAction::PreviousCamera:
		return chooseNeighbour(-1);
	case OperatorAction::NextCamera:
		return chooseNeighbour(1);
	case OperatorAction::CallPreset:
		return callPreset(argument, caller);
	case OperatorAction::SpeedUp:
		return changeSpeeds(1, caller);
	case OperatorAction::SpeedDown:
		return changeSpeeds(-1, caller);
	default:
		return false;
	}
}

bool Controller::hold(const CameraCommand &move, bool pressed, const CameraCaller &caller)
{
	// A press moves the camera in use; a release stops what this input's press started, wherever the choice has
	// gone since.
	return pressed ? inUse->press(move, 0, caller) : inUse->release(move.lane, caller);
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

bool Controller::callPreset(int preset, const CameraCaller &caller)
{
	CameraDoor *door = inUse->door();
	return SettingsFile::isPreset(preset) && door && door->callPreset(preset, caller).ok;
}

bool Controller::storePresetWhenHeld(int preset, bool pressed, const CameraCaller &caller)
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
	QTimer::singleShot(kStoreHoldMs, this, [this, preset, hold, slot, caller] {
		if (storeHolds.value(preset) != hold)
			return;
		storeHolds.remove(preset);
		// Only the camera the key was pressed for: a choice changed meanwhile stores nothing.
		CameraDoor *door = inUse->door();
		if (inUse->slot() != slot || !door)
			return;
		QPointer<Controller> self(this);
		door->storePreset(preset, caller, [self, slot, preset](bool ok) {
			if (self)
				emit self->presetStored(slot, preset, ok);
		});
	});
	return true;
}

bool Controller::changeSpeeds(int step, const CameraCaller &caller)
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
	inUse->drive(CameraCommands::speed(CameraCommands::Speed::Pan), pan, caller);
	inUse->drive(CameraCommands::speed(CameraCommands::Speed::Tilt), tilt, caller);
	SettingsFile::updateLaterLogged(lcController, [prefix, pan, tilt](QJsonObject &settings) {
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
	// OBS ends next: what waits to be written goes into the file now, or the log says what the file lacks. Longer
	// than a write may wait for another OBS's lock.
	SettingsFile::finishWrites(kFinishWritesMs);
}
