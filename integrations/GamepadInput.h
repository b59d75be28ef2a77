#pragma once

#include "control/CameraCommand.h"
#include "integrations/GamepadLayout.h"
#include "integrations/GamepadMapping.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QVector>

#include <atomic>
#include <functional>
#include <optional>
#include <thread>

class Controller;
class QTimer;

// The operator's gamepad or joystick, read through SDL 2: a device with a game-controller mapping (SDL's database,
// and the mappings file beside the settings) through SDL's game-controller API, any other through its raw axes,
// buttons and hats. Only the device the operator chose (by its GUID) drives, and only through the controller's one
// path: its buttons and hat through Controller::act(), its axes as moves of the camera in use at speeds that follow
// the stick. SDL is polled on the UI thread by a short timer and never waited for. The mappings file is read on a
// thread of its own, at most kMaxMappingBytes of it and kMaxMappings mappings (SDL takes longer for each mapping the
// more it knows: 20,000 would hold OBS's start for seconds); the chosen device is opened once they are in. Lives
// on the UI thread.
//
// A move meets its stop: a stick back inside its dead zone, a device unplugged and shutdown() stop whatever this
// device set moving, on every camera it moved. A camera gets at most one pan/tilt move per moveIntervalMs, the
// stick's latest position; a stop is never held back.
class GamepadInput : public QObject {
	Q_OBJECT

public:
	static constexpr qint64 kMaxMappingBytes = 1024 * 1024;
	static constexpr int kMaxMappings = 2000;

	struct Options {
		int pollMs = 8;
		int moveIntervalMs = 20;
		// Milliseconds of a steady clock; the moves are spaced by it (tests step it by hand).
		std::function<qint64()> clock;
		// Extra SDL game-controller mappings, one a line; empty: KavrenGamepadMappings.txt in the settings
		// folder.
		QString mappingFile;
	};
	struct Device {
		QString guid;
		int number = 1; // among the connected devices of this GUID, from 1
		QString name;
		bool isController = false; // read through a game-controller mapping
		int axes = 0;
		int buttons = 0;
		int hats = 0;
		GamepadLayout layout; // what the operator can bind
	};

	GamepadInput(Controller *controller, const Options &options, QObject *parent = nullptr);
	~GamepadInput() override;

	// False when SDL could not start; why, for the dialog.
	bool available() const { return sdlUp; }
	QString unavailableReason() const { return sdlError; }

	QList<Device> devices() const { return connected; }
	// The chosen device when it is connected.
	std::optional<Device> activeDevice() const;
	QString chosenGuid() const { return chosen; }
	int chosenNumber() const { return chosenAmongAlike; }
	// The chosen device's name as last seen connected; empty when it never was (or in settings of old).
	QString chosenName() const { return chosenDeviceName; }
	// Chooses (and stores, with its name when it is connected) the device that drives: the `number`th of those of
	// `guid`, or the last of them while fewer are connected. What the previous one set moving is stopped.
	void choose(const QString &guid, int number = 1);

	GamepadMapping mapping() const { return current; }
	// Uses and stores a mapping; what the old one set moving is stopped first.
	void setMapping(const GamepadMapping &mapping);

	// The active device as last read: axes (-32768..32767), buttons, hat directions (SDL_HAT_* bits).
	QVector<int> axisValues() const { return axes; }
	QVector<bool> buttonStates() const { return buttons; }
	int hatState() const { return hat; }
	// Where each of the active device's axes rests: 0, or an end for a trigger read as a whole axis.
	QVector<int> axisRests() const { return rests; }

	// One reading of SDL: devices that came or went, the active device's changes to the cameras. The timer runs it.
	void poll();
	// Stops what the device set moving and lets go of SDL; nothing is read afterwards.
	void shutdown();

signals:
	void devicesChanged();
	// The chosen device was found (connected) or lost.
	void connectionChanged(const QString &device, bool connected);
	// The active device's axes, buttons or hat moved.
	void stateChanged();

private:
	struct PanTiltMove {
		CameraCommands::Direction direction;
		int speeds;
		bool operator==(const PanTiltMove &other) const
		{
			return direction == other.direction && speeds == other.speeds;
		}
	};

	void startSdl(const QString &mappingFile);
	void loadMappings(const QString &path);
	// On the UI thread, once the mappings file is read: what was used and skipped, said in the log.
	void mappingsLoaded(const QString &path, int added, int unusable, qint64 skippedBytes, int skippedLines);
	void refreshDevices();
	QString nameOf(const QString &guid) const;
	void openChosen();
	void close(bool lost);
	void read();
	int axisValue(int axis) const;
	// An axis at an end when the device opens is a trigger at rest, which drives one way from there.
	void noteRests();
	void pressChanges(const QVector<bool> &nowPressed, int nowHat);
	void driveAxes();
	void drivePanTilt();
	// A lens axis: its direction and speed, as the stick says (0: still).
	struct LensDrive {
		int direction = 0;
		int speed = 0;
		bool operator==(const LensDrive &other) const
		{
			return direction == other.direction && speed == other.speed;
		}
	};
	void driveLens(GamepadMapping::Role role, const CameraCommand &positive, const CameraCommand &negative,
		       const CameraCommand &stop);
	void releaseAll();
	double deflection(GamepadMapping::Role role) const;
	std::optional<PanTiltMove> wantedMove() const;
	qint64 now() const;

	Controller *const controller;
	const Options options;
	QTimer *timer = nullptr;
	bool sdlUp = false;
	std::thread mappingLoader;
	std::atomic<bool> stopLoading{false};
	bool mappingsIn = false;
	QString sdlError;
	QList<Device> connected;
	QList<int> connectedIds; // SDL instance ids, in device order
	QString chosen;
	int chosenAmongAlike = 1;
	QString chosenDeviceName;
	GamepadMapping current;
	void *openDevice = nullptr; // SDL_GameController or SDL_Joystick
	bool openIsController = false;
	int openId = -1;
	QString openName;
	QVector<int> axes;
	// Where each axis rests: 0 for a stick, an end for a trigger that a raw joystick reports as a whole axis.
	QVector<int> rests;
	QVector<bool> buttons;
	int hat = 0;
	// What this device has set going: the pan/tilt move and the zoom and focus drives last sent.
	std::optional<PanTiltMove> sentMove;
	std::optional<qint64> lastMoveAt;
	LensDrive sentLens[GamepadMapping::kRoleCount];
	std::optional<qint64> lensMoveAt[GamepadMapping::kRoleCount];
};
