#pragma once

#include "control/CameraJob.h"

#include <QList>

#include <deque>

// The jobs waiting for one camera, oldest first. A camera that keeps up sees every job as it was queued. While a
// camera is slow or silent (its worker says it is behind, or jobs pile up) the operator keeps pressing, and the
// queue keeps what still matters and stays bounded:
//  - Drive lanes (pan/tilt, zoom, focus): a move replaces a move that still waits; a press and release that both
//    still wait are dropped together when the next move comes (the camera never saw that move, so its stop is
//    moot); a stop right behind a waiting stop is the same stop. A stop is otherwise never dropped or moved, so a
//    release never overtakes its press.
//  - Position lanes and settings: only the latest value waits.
//  - Past the bound, the oldest job that is not a stop goes.
//  - A stop held back for the move it may have overtaken (see CameraJob::mayOvertake) lets that move go first.
// Not thread-safe: the worker guards it.
class CameraJobQueue {
public:
	// Jobs waiting from which on a camera counts as behind.
	static constexpr int kBacklog = 4;

	explicit CameraJobQueue(int maxJobs = 32) : maxJobs(maxJobs) {}

	// Queues a job, merging it with waiting ones while the camera is behind; returns how many waiting jobs were
	// dropped to stay within the bound (not counting merges).
	int push(CameraJob job, bool cameraBehind = false);
	bool empty() const { return jobs.empty(); }
	int size() const { return int(jobs.size()); }
	bool full() const { return int(jobs.size()) >= maxJobs; }
	// When the oldest job may run: now, or later while it is a held stop. Not for an empty queue.
	std::chrono::steady_clock::time_point readyAt() const { return jobs.front().heldUntil; }
	// Whether the last waiting job of a lane is a stop, and one held back for its move.
	bool endsWithStop(CameraLane lane) const;
	bool endsWithHeldStop(CameraLane lane) const;
	CameraJob takeNext();
	// The operator left this camera: what waits goes, except the stops.
	int discardAllButStops();
	// Names of the waiting jobs, oldest first (for the log and tests).
	QList<QByteArray> names() const;

private:
	using Iterator = std::deque<CameraJob>::iterator;
	// The last waiting job of `lane`, or end().
	Iterator lastOfLane(CameraLane lane);
	void pushDrive(CameraJob job);
	// A move for a lane whose last waiting job is a held stop goes before that stop; false when there is none.
	bool putBeforeHeldStop(CameraJob &job);
	void replaceSameValue(CameraJob job);
	int enforceBound();

	std::deque<CameraJob> jobs;
	const int maxJobs;
};
