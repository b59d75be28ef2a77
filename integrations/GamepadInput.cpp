#include "integrations/GamepadInput.h"

#include "camera/viscaGeneralOps.h"
#include "control/CameraInUse.h"
#include "integrations/Controller.h"
#include "integrations/IntegrationLog.h"
#include "settings/ConfinedFile.h"
#include "settings/OutsideText.h"
#include "settings/SettingsFile.h"
#include "settings/Utils.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMap>
#include <QTimer>

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <system_error>

namespace {

constexpr double kAxisFullScale = 32767.0;
// The gamepad's inputs as the camera's doors know them: a release stops what the same input's press started.
constexpr int kStickInput = 1; // + the role: pan/tilt share the first
constexpr int kButtonInput = 100;
constexpr int kHatInput = 200;

CameraCaller gamepadInput(int input)
{
	return CameraCaller{CameraOrigin::Gamepad, input};
}
constexpr const char *kMappingFileName = "KavrenGamepadMappings.txt";

QString guidText(SDL_JoystickGUID guid)
{
	char text[33] = {};
	SDL_JoystickGetGUIDString(guid, text, int(sizeof(text)));
	return QString::fromLatin1(text);
}

qint64 steadyMs()
{
	static QElapsedTimer clock;
	if (!clock.isValid())
		clock.start();
	return clock.elapsed();
}

// A speed of [minimum, maximum] for a stick deflected by `magnitude` (0 at the dead zone's edge, 1 at full throw).
int speedFor(double magnitude, int minimum, int maximum)
{
	return minimum + int(std::lround(magnitude * std::max(0, maximum - minimum)));
}

} // namespace

GamepadInput::GamepadInput(Controller *controller, const Options &options, QObject *parent)
    : QObject(parent), controller(controller), options(options),
      chosen(SettingsFile::read().value(QLatin1String(GamepadMapping::kGuidKey)).toString()),
      chosenAmongAlike(std::max(1, SettingsFile::read().value(QLatin1String(GamepadMapping::kNumberKey)).toInt(1))),
      chosenDeviceName(SettingsFile::read().value(QLatin1String(GamepadMapping::kNameKey)).toString()),
      current(GamepadMapping::stored(SettingsFile::read()))
{
	startSdl(options.mappingFile.isEmpty() ? Utils::getAppDataPath() + QLatin1Char('/') + kMappingFileName
					       : options.mappingFile);
	if (!sdlUp)
		return;
	timer = new QTimer(this);
	timer->setInterval(options.pollMs);
	connect(timer, &QTimer::timeout, this, &GamepadInput::poll);
	timer->start();
	poll();
}

GamepadInput::~GamepadInput()
{
	shutdown();
}

void GamepadInput::startSdl(const QString &mappingFile)
{
	// SDL lives inside the host: it must not take the host's signals, and it reads devices without a window.
	SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
	SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
	if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) < 0) {
		sdlError = QString::fromUtf8(SDL_GetError());
		qCWarning(lcGamepad, "Gamepads are not available: SDL did not start (%s)", qUtf8Printable(sdlError));
		return;
	}
	sdlUp = true;
	loadMappings(mappingFile);
}

void GamepadInput::loadMappings(const QString &path)
{
	const QFileInfo file(path);
	if (!file.exists()) {
		mappingsIn = true;
		return;
	}
	// Links in the folder's path are the operator's own arrangement; a link in the file's place is not followed.
	const QString folder = QFileInfo(file.absolutePath()).canonicalFilePath();
	const QString name = file.fileName();
	QPointer<GamepadInput> self(this);
	auto load = [this, self, path, folder, name]() {
		int added = 0;
		int unusable = 0;
		int skippedLines = 0;
		qint64 skippedBytes = 0;
		// A thread body lets nothing escape: the device is opened all the same, with the mappings that went in.
		try {
			const ConfinedFile::Content content = ConfinedFile::read(folder, name, kMaxMappingBytes);
			// SDL's rule for a mappings file: a line counts only where it names this platform.
			const QByteArray platform = QByteArrayLiteral("platform:") + SDL_GetPlatform() + ',';
			const QList<QByteArray> lines = content.bytes.split('\n');
			// A line cut by the size limit is no mapping.
			const int complete = content.complete() ? int(lines.size()) : int(lines.size()) - 1;
			for (int n = 0; n < complete && !stopLoading; ++n) {
				const QByteArray line = lines.at(n).trimmed();
				if (line.isEmpty() || line.startsWith('#') || !line.contains(platform))
					continue;
				if (added >= kMaxMappings) {
					++skippedLines;
					continue;
				}
				// Each call holds SDL's joystick lock for one mapping only: the UI thread's polls go
				// between.
				if (SDL_GameControllerAddMapping(line.constData()) >= 0)
					++added;
				else
					++unusable;
			}
			skippedBytes = content.problem.isEmpty() ? content.size - content.bytes.size() : 0;
			if (!content.problem.isEmpty())
				qCWarning(lcGamepad, "The gamepad mappings file %s is not read: %s %s",
					  qUtf8Printable(path), content.folderProblem ? "its folder" : "it",
					  qUtf8Printable(content.problem));
		} catch (const std::exception &e) {
			qCWarning(lcGamepad, "The gamepad mappings file %s was not read to its end: %s",
				  qUtf8Printable(path), e.what());
		}
		QMetaObject::invokeMethod(
			self.data(),
			[self, path, added, unusable, skippedBytes, skippedLines]() {
				self->mappingsLoaded(path, added, unusable, skippedBytes, skippedLines);
			},
			Qt::QueuedConnection);
	};
	try {
		mappingLoader = std::thread(load);
	} catch (const std::system_error &) {
		load();
	}
}

void GamepadInput::mappingsLoaded(const QString &path, int added, int unusable, qint64 skippedBytes, int skippedLines)
{
	if (mappingLoader.joinable())
		mappingLoader.join();
	mappingsIn = true;
	if (!sdlUp)
		return;
	if (skippedBytes > 0 || skippedLines > 0)
		qCWarning(lcGamepad,
			  "The gamepad mappings file %s is too long: only its first %lld bytes and %d mappings are "
			  "used; %d "
			  "mappings and %lld bytes after them are skipped",
			  qUtf8Printable(path), kMaxMappingBytes, kMaxMappings, skippedLines, skippedBytes);
	if (added <= 0)
		qCWarning(lcGamepad, "The gamepad mappings file %s holds no mapping SDL can use; it is ignored",
			  qUtf8Printable(path));
	else
		qCInfo(lcGamepad, "%d gamepad mappings read from %s (%d lines SDL could not use)", added,
		       qUtf8Printable(path), unusable);
	// A device the new mappings describe is a game controller from now on: it is listed and opened again.
	const int index = int(connectedIds.indexOf(openId));
	if (openDevice && index >= 0 && bool(SDL_IsGameController(index)) != openIsController)
		close(false);
	connectedIds.clear();
	poll();
}

std::optional<GamepadInput::Device> GamepadInput::activeDevice() const
{
	if (!openDevice)
		return std::nullopt;
	const int index = int(connectedIds.indexOf(openId));
	return index >= 0 ? std::optional<Device>(connected.at(index)) : std::nullopt;
}

void GamepadInput::choose(const QString &guid, int number)
{
	const QString name = nameOf(guid);
	number = std::max(1, number);
	SettingsFile::updateLaterLogged(lcGamepad, [guid, name, number](QJsonObject &settings) {
		settings[QLatin1String(GamepadMapping::kGuidKey)] = guid;
		if (name.isEmpty())
			settings.remove(QLatin1String(GamepadMapping::kNameKey));
		else
			settings[QLatin1String(GamepadMapping::kNameKey)] = name;
		if (number == 1)
			settings.remove(QLatin1String(GamepadMapping::kNumberKey));
		else
			settings[QLatin1String(GamepadMapping::kNumberKey)] = number;
	});
	chosenDeviceName = name;
	if (guid == chosen && number == chosenAmongAlike)
		return;
	chosen = guid;
	chosenAmongAlike = number;
	close(false);
	if (sdlUp)
		poll();
}

QString GamepadInput::nameOf(const QString &guid) const
{
	for (const Device &device : connected)
		if (device.guid == guid)
			return device.name;
	// Chosen again while unplugged: the name it had stays.
	return guid == chosen ? chosenDeviceName : QString();
}

void GamepadInput::setMapping(const GamepadMapping &mapping)
{
	releaseAll();
	current = mapping;
	SettingsFile::updateLaterLogged(lcGamepad, [mapping](QJsonObject &settings) { mapping.store(settings); });
}

void GamepadInput::poll()
{
	if (!sdlUp)
		return;
	// The events pump SDL's devices; their state is read below, and the device list is compared as a whole, so
	// that no event is needed to notice a change.
	SDL_Event event;
	while (SDL_PollEvent(&event)) {
	}
	refreshDevices();
	if (openDevice && !connectedIds.contains(openId))
		close(true);
	if (!openDevice && mappingsIn)
		openChosen();
	if (openDevice)
		read();
}

void GamepadInput::refreshDevices()
{
	QList<int> ids;
	const int count = SDL_NumJoysticks();
	for (int index = 0; index < count; ++index)
		ids << SDL_JoystickGetDeviceInstanceID(index);
	if (ids == connectedIds)
		return;
	connectedIds = ids;
	connected.clear();
	QMap<QString, int> alike;
	for (int index = 0; index < count; ++index) {
		Device device;
		device.guid = guidText(SDL_JoystickGetDeviceGUID(index));
		device.number = ++alike[device.guid];
		device.isController = SDL_IsGameController(index);
		const char *name =
			device.isController ? SDL_GameControllerNameForIndex(index) : SDL_JoystickNameForIndex(index);
		device.name = QString::fromUtf8(name ? name : "");
		device.axes = device.isController ? SDL_CONTROLLER_AXIS_MAX : -1;
		device.buttons = device.isController ? SDL_CONTROLLER_BUTTON_MAX : -1;
		device.layout = GamepadLayout::ofDevice(index);
		connected << device;
	}
	emit devicesChanged();
}

void GamepadInput::openChosen()
{
	// Identical devices share a GUID: the chosen one of them drives, or the last while fewer are connected.
	int index = -1;
	for (int each = 0; each < connected.size() && !chosen.isEmpty(); ++each)
		if (connected.at(each).guid == chosen && connected.at(each).number <= chosenAmongAlike)
			index = each;
	if (index < 0)
		return;
	Device &device = connected[index];
	SDL_Joystick *joystick = nullptr;
	if (device.isController) {
		auto *pad = SDL_GameControllerOpen(index);
		openDevice = pad;
		joystick = pad ? SDL_GameControllerGetJoystick(pad) : nullptr;
	} else {
		joystick = SDL_JoystickOpen(index);
		openDevice = joystick;
		if (joystick) {
			device.axes = SDL_JoystickNumAxes(joystick);
			device.buttons = SDL_JoystickNumButtons(joystick);
			device.hats = SDL_JoystickNumHats(joystick);
		}
	}
	if (!openDevice) {
		qCWarning(lcGamepad, "Gamepad %s could not be opened: %s", OutsideText::quoted(device.name).constData(),
			  SDL_GetError());
		return;
	}
	openIsController = device.isController;
	openId = connectedIds.at(index);
	openName = device.name;
	axes = QVector<int>(std::max(0, device.axes), 0);
	buttons = QVector<bool>(std::max(0, device.buttons), false);
	hat = 0;
	qCInfo(lcGamepad, "Gamepad %s connected (%s)", OutsideText::quoted(openName).constData(),
	       openIsController ? "game controller" : "joystick");
	noteRests();
	// Where the device rests now is where it starts from: a stick already held drives from the next change.
	read();
	emit connectionChanged(openName, true);
	emit stateChanged();
}

void GamepadInput::close(bool lost)
{
	if (!openDevice)
		return;
	releaseAll();
	if (openIsController)
		SDL_GameControllerClose(static_cast<SDL_GameController *>(openDevice));
	else
		SDL_JoystickClose(static_cast<SDL_Joystick *>(openDevice));
	openDevice = nullptr;
	openId = -1;
	axes.clear();
	rests.clear();
	buttons.clear();
	hat = 0;
	if (lost)
		qCWarning(lcGamepad, "Gamepad %s was lost", OutsideText::quoted(openName).constData());
	emit connectionChanged(openName, false);
	emit stateChanged();
}

int GamepadInput::axisValue(int axis) const
{
	return openIsController ? SDL_GameControllerGetAxis(static_cast<SDL_GameController *>(openDevice),
							    SDL_GameControllerAxis(axis))
				: SDL_JoystickGetAxis(static_cast<SDL_Joystick *>(openDevice), axis);
}

void GamepadInput::noteRests()
{
	// A stick never rests this far out; a trigger reported as a whole axis rests at one end of it.
	constexpr int kTriggerRest = 30000;
	rests = QVector<int>(axes.size(), 0);
	for (int axis = 0; axis < axes.size(); ++axis) {
		const int value = axisValue(axis);
		if (std::abs(value) < kTriggerRest)
			continue;
		rests[axis] = value < 0 ? -int(kAxisFullScale) : int(kAxisFullScale);
		qCInfo(lcGamepad, "Gamepad %s: axis %d rests at its end (a trigger); it drives from there, one way",
		       OutsideText::quoted(openName).constData(), axis);
	}
}

void GamepadInput::read()
{
	bool changed = false;
	for (int axis = 0; axis < axes.size(); ++axis) {
		const int value = axisValue(axis);
		changed = changed || value != axes[axis];
		axes[axis] = value;
	}
	QVector<bool> nowPressed(buttons.size());
	for (int button = 0; button < buttons.size(); ++button)
		nowPressed[button] =
			openIsController ? SDL_GameControllerGetButton(static_cast<SDL_GameController *>(openDevice),
								       SDL_GameControllerButton(button)) != 0
					 : SDL_JoystickGetButton(static_cast<SDL_Joystick *>(openDevice), button) != 0;
	const int nowHat = openIsController || SDL_JoystickNumHats(static_cast<SDL_Joystick *>(openDevice)) < 1
				   ? 0
				   : SDL_JoystickGetHat(static_cast<SDL_Joystick *>(openDevice), 0);
	changed = changed || nowPressed != buttons || nowHat != hat;
	pressChanges(nowPressed, nowHat);
	driveAxes();
	if (changed)
		emit stateChanged();
}

void GamepadInput::pressChanges(const QVector<bool> &nowPressed, int nowHat)
{
	for (int button = 0; button < nowPressed.size(); ++button) {
		if (nowPressed[button] == buttons[button])
			continue;
		buttons[button] = nowPressed[button];
		if (current.buttons.contains(button)) {
			const GamepadMapping::ActionBinding binding = current.buttons.value(button);
			controller->act(binding.action, nowPressed[button], binding.argument,
					gamepadInput(kButtonInput + button));
		}
	}
	for (int direction = 0; direction < GamepadMapping::kHatDirections; ++direction) {
		const int bit = 1 << direction; // SDL_HAT_UP, _RIGHT, _DOWN, _LEFT
		if ((nowHat & bit) == (hat & bit) || !current.hat.contains(direction))
			continue;
		const GamepadMapping::ActionBinding binding = current.hat.value(direction);
		controller->act(binding.action, (nowHat & bit) != 0, binding.argument,
				gamepadInput(kHatInput + direction));
	}
	hat = nowHat;
}

void GamepadInput::driveAxes()
{
	drivePanTilt();
	driveLens(GamepadMapping::Role::Zoom, CameraCommands::zoomIn(), CameraCommands::zoomOut(),
		  CameraCommands::zoomStop());
	driveLens(GamepadMapping::Role::Focus, CameraCommands::focusFar(), CameraCommands::focusNear(),
		  CameraCommands::focusStop());
}

double GamepadInput::deflection(GamepadMapping::Role role) const
{
	const GamepadMapping::AxisBinding binding = current.axes[int(role)];
	if (binding.axis < 0 || binding.axis >= axes.size())
		return 0.0;
	// From the axis's rest: a stick's centre, or a trigger's end, from which it reaches 1 at the other end.
	const int rest = rests.value(binding.axis);
	const double fromRest =
		rest == 0 ? axes[binding.axis] / kAxisFullScale : double(axes[binding.axis] - rest) / (-2.0 * rest);
	const double position = std::clamp(fromRest, -1.0, 1.0) * (binding.invert ? -1 : 1);
	const double deadZone = current.deadZonePercent / 100.0;
	if (std::abs(position) <= deadZone)
		return 0.0;
	return std::copysign((std::abs(position) - deadZone) / (1.0 - deadZone), position);
}

std::optional<GamepadInput::PanTiltMove> GamepadInput::wantedMove() const
{
	using Direction = CameraCommands::Direction;
	const double pan = deflection(GamepadMapping::Role::Pan);
	const double tilt = deflection(GamepadMapping::Role::Tilt);
	const viscaGeneralOps *ops = controller->cameraInUse()->connection().ops.get();
	if ((pan == 0.0 && tilt == 0.0) || !ops)
		return std::nullopt;
	// Row: up, level, down; column: left, still, right.
	static constexpr Direction kDirections[3][3] = {{Direction::UpLeft, Direction::Up, Direction::UpRight},
							{Direction::Left, Direction::Up, Direction::Right},
							{Direction::DownLeft, Direction::Down, Direction::DownRight}};
	const int row = tilt > 0 ? 0 : tilt < 0 ? 2 : 1;
	const int column = pan < 0 ? 0 : pan > 0 ? 2 : 1;
	const int panSpeed = speedFor(std::abs(pan), ops->panSpeedMin(), ops->panSpeedMax());
	const int tiltSpeed = speedFor(std::abs(tilt), ops->tiltSpeedMin(), ops->tiltSpeedMax());
	return PanTiltMove{kDirections[row][column], CameraCommands::speedsValue(*ops, panSpeed, tiltSpeed)};
}

void GamepadInput::drivePanTilt()
{
	const std::optional<PanTiltMove> wanted = wantedMove();
	if (wanted == sentMove)
		return;
	CameraInUse *inUse = controller->cameraInUse();
	const CameraCaller stick = gamepadInput(kStickInput + int(GamepadMapping::Role::Pan));
	if (!wanted) {
		inUse->release(CameraLane::PanTilt, stick);
		sentMove.reset();
		return;
	}
	// The stick's latest position, at most once per interval: a camera is not flooded with moves it cannot take.
	if (lastMoveAt && now() - *lastMoveAt < options.moveIntervalMs)
		return;
	if (!inUse->press(CameraCommands::moveAtSpeeds(wanted->direction), wanted->speeds, stick))
		return;
	sentMove = wanted;
	lastMoveAt = now();
}

void GamepadInput::driveLens(GamepadMapping::Role role, const CameraCommand &positive, const CameraCommand &negative,
			     const CameraCommand &stop)
{
	// Like pan and tilt: the speed follows the stick within the model's range, at most one drive per interval,
	// and the stop at once.
	const double position = deflection(role);
	const viscaGeneralOps *ops = controller->cameraInUse()->connection().ops.get();
	const bool zoom = role == GamepadMapping::Role::Zoom;
	LensDrive wanted;
	if (position != 0.0 && ops) {
		wanted.direction = position > 0 ? 1 : -1;
		wanted.speed = zoom ? speedFor(std::abs(position), ops->zoomSpeedMin(), ops->zoomSpeedMax())
				    : speedFor(std::abs(position), ops->focusSpeedMin(), ops->focusSpeedMax());
	}
	LensDrive &sent = sentLens[int(role)];
	if (wanted == sent)
		return;
	CameraInUse *inUse = controller->cameraInUse();
	const CameraCaller axis = gamepadInput(kStickInput + int(role));
	if (wanted.direction == 0) {
		inUse->release(stop.lane, axis);
		sent = wanted;
		return;
	}
	std::optional<qint64> &movedAt = lensMoveAt[int(role)];
	if (movedAt && now() - *movedAt < options.moveIntervalMs)
		return;
	const CameraCommand drive = CameraCommands::lensAtSpeed(wanted.direction > 0 ? positive : negative);
	if (!inUse->press(drive, wanted.speed, axis))
		return;
	sent = wanted;
	movedAt = now();
}

void GamepadInput::releaseAll()
{
	// Everything this device holds is let go: buttons, hat, axes, as if the operator had let go of them.
	pressChanges(QVector<bool>(buttons.size(), false), 0);
	std::fill(axes.begin(), axes.end(), 0);
	driveAxes();
}

qint64 GamepadInput::now() const
{
	return options.clock ? options.clock() : steadyMs();
}

void GamepadInput::shutdown()
{
	if (!sdlUp)
		return;
	stopLoading = true;
	if (mappingLoader.joinable())
		mappingLoader.join();
	if (timer)
		timer->stop();
	close(false);
	SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
	sdlUp = false;
}
