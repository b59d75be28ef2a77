#include "integrations/Controller.h"

#include "control/CameraDirector.h"
#include "control/CameraInUse.h"
#include "control/CameraPool.h"
#include "integrations/HotkeySource.h"
#include "relay/RelayService.h"
#include "scenes/ScenePresetLinker.h"
#include "scenes/SceneSource.h"
#include "settings/ModuleText.h"
#include "settings/SettingsFile.h"

#include <QJsonObject>

namespace {

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
      cameraDirector(makeDirector(pool, this)),
      relayService(new RelayService(options.relay, Utils::getAppDataPath(), this)),
      hotkeySource(HotkeySource::create(this)), cameraRequests(cameraDirector)
{
	relayService->start();
	hotkeysOn = SettingsFile::read().value(QLatin1String(SettingsFile::kHotKeyKey)).toBool(false);
	listenToHotkeys(hotkeysOn);
	// The operator finds the camera used last in use again.
	inUse->restore();
}

Controller::~Controller()
{
	shutdown();
}

void Controller::attachSceneSource(SceneSource *source)
{
	delete sceneLinks;
	sceneLinks = nullptr;
	scenes = source;
	if (source && !down)
		sceneLinks = new ScenePresetLinker(source, cameraDirector, this);
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
	HotkeyCommands::handleHotkey(
		hotkeyCommands, index, pressed, inUse->isConnected(), [this](const CameraCommand &command, int value) {
			if (!inUse->drive(command, value))
				return false;
			if (command.name == hotkeyCommands.presetCallCommand.name) {
				cameraDirector->reportPresetCall(inUse->slot(), value, CameraDirector::Source::Hotkey);
				emit presetCalledFromHotkey(inUse->slot(), value);
			}
			return true;
		});
}

void Controller::shutdown()
{
	if (down)
		return;
	down = true;
	cameraRequests.close();
	delete sceneLinks;
	sceneLinks = nullptr;
	listenToHotkeys(false);
	pool->shutdown();
	relayService->shutdown();
}
