#pragma once

#include "control/CameraDoor.h"
#include "control/CameraWorker.h"
#include "settings/SettingsFile.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <array>
#include <functional>
#include <mutex>

// The cameras of the eight slots: each slot's worker and the one door through which everything reaches it. Owned by the
// controller, which lives as long as the module: whoever drives a slot's camera shares its one door and so the camera's
// one order of commands. What the doors tell is told here for every slot. Lives on the UI thread; door(), cameras(),
// isLive() and caption() may be called from any thread.
class CameraPool : public QObject {
	Q_OBJECT

public:
	static constexpr int kSlots = SettingsFile::kSlotCount;
	// The settings key of the switch that holds keys, gamepads and other programs back from a live camera (on
	// when absent; the window always is).
	static constexpr const char *kProtectionKey = "LiveCameraProtection";
	static bool protectsEveryone();

	// `caption` names a slot as the window shows it; none names it "Camera<n>".
	using Caption = std::function<QString(int slot)>;
	explicit CameraPool(const CameraWorker::Options &options, Caption caption = {}, QObject *parent = nullptr);
	~CameraPool() override;

	// The door of slot 1..8; null for any other number and after shutdown.
	CameraDoor *door(int slot) const;
	// The worker behind a slot's door.
	CameraWorker *worker(int slot) const;

	const CameraWorker::Options &workerOptions() const { return options; }
	QString caption(int slot) const;
	QList<CameraDoor::Info> cameras() const;

	// The addresses of the cameras live on program in Studio Mode: protection follows the camera, whichever slot
	// reaches it.
	void setLiveAddresses(const QSet<QString> &addresses);
	bool isLive(const QString &address) const;

	// Ends every worker: each stops every lane it was told to move, all in parallel, then each is joined. No
	// worker is made afterwards.
	void shutdown();

signals:
	void presetCalled(int slot, int preset, CameraOrigin origin);
	void presetStored(int slot, int preset, CameraOrigin origin);
	void heldBack(int slot, CameraOrigin origin);
	void cameraStatusChanged(int slot, bool connected, bool answering);
	void cameraLinked(int slot);
	void notice(const QString &text);
	// What cameras() tells may have changed (live cameras; names and addresses live in the settings).
	void camerasChanged();

private:
	const CameraWorker::Options options;
	const Caption captionOf;
	mutable std::mutex mutex;
	std::array<CameraDoor *, kSlots> doors{};
	QSet<QString> live;
	bool closed = false;
};
