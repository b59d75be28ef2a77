#pragma once

#include "control/CameraWorker.h"
#include "settings/SettingsFile.h"

#include <QObject>

#include <array>

// The workers of the eight camera slots, made when a slot is first used. Owned by the controller window, which
// lives as long as the module: whoever drives a slot's camera (the window, the hotkeys, integrations) shares the
// slot's one worker and so the camera's one order of commands.
class CameraPool : public QObject {
	Q_OBJECT

public:
	static constexpr int kSlots = SettingsFile::kSlotCount;

	explicit CameraPool(const CameraWorker::Options &options, QObject *parent = nullptr);
	~CameraPool() override;

	// The worker of slot 1..8 (made on first use); null for any other number.
	CameraWorker *worker(int slot);
	// The worker of a slot if one was made.
	CameraWorker *existingWorker(int slot) const;

	const CameraWorker::Options &workerOptions() const { return options; }

	// Ends every worker: each stops every lane it was told to move, all stop waiting at once, then each is
	// joined. No worker is made afterwards.
	void shutdown();

signals:
	// A slot's worker was made (on first use).
	void workerMade(int slot, CameraWorker *worker);

private:
	const CameraWorker::Options options;
	std::array<CameraWorker *, kSlots> workers{};
	bool closed = false;
};
