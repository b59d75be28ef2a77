#pragma once

#include "control/CameraJob.h"

#include <QList>

#include <deque>

// The jobs waiting for one camera. What the camera is asked keeps the order it was asked in, except that the
// latest word on a lane wins and urgent work goes first:
//  - Drive lanes (pan/tilt, zoom, focus): at most one job of a lane waits. A newer move takes the waiting one's
//    place; a stop replaces a waiting move of its lane. So a stick that changed a hundred times while the camera
//    was busy sends its latest position, and a release's stop goes out after at most the job that runs.
//  - Urgent jobs (stops, tally lamps) go ahead of the rest, in the order they came.
//  - Position lanes and settings: only the latest value of each waits.
//  - Past the bound, a new job is refused; a stop is always taken. Nothing taken is dropped later but by a newer
//    job of its own lane, so what the queue took is what the camera gets.
// Not thread-safe: the worker guards it.
class CameraJobQueue {
public:
	explicit CameraJobQueue(int maxJobs = 32) : maxJobs(maxJobs) {}

	// Queues a job; false when the queue is full and the job is no stop (nothing was queued). Work `taken` before
	// is queued whatever the bound.
	bool push(CameraJob job, bool taken = false);
	bool empty() const { return jobs.empty(); }
	int size() const { return int(jobs.size()); }
	bool full() const { return int(jobs.size()) >= maxJobs; }
	CameraJob takeNext();
	// What waits goes, except the stops; how many went.
	int discardAllButStops();
	// Whether a stop of `lane` waits.
	bool hasStop(CameraLane lane) const;
	// Names of the waiting jobs, oldest first (for the log and tests).
	QList<QByteArray> names() const;

private:
	using Iterator = std::deque<CameraJob>::iterator;
	Iterator waitingOfLane(const CameraJob &job);
	// Where an urgent job goes: after the urgent ones that wait already.
	Iterator urgentEnd();

	std::deque<CameraJob> jobs;
	const int maxJobs;
};
