#include "control/CameraJobQueue.h"

#include <algorithm>
#include <utility>

namespace {

// Jobs whose latest value alone matters: one of each waits.
bool replacesByLane(const CameraJob &job)
{
	return job.lane != CameraLane::None;
}

// Stops and urgent jobs go ahead of the rest: a release's stop never waits behind a recall.
bool goesAhead(const CameraJob &job)
{
	return job.stop || job.urgent;
}

bool sameLane(const CameraJob &a, const CameraJob &b)
{
	return a.lane == b.lane && (a.lane != CameraLane::Setting || a.settingKey == b.settingKey);
}

} // namespace

bool CameraJobQueue::push(CameraJob job, bool taken)
{
	const Iterator waiting = replacesByLane(job) ? waitingOfLane(job) : jobs.end();
	if (waiting != jobs.end()) {
		// A stop that replaces a move moves up to the urgent ones; a move that replaces a stop takes its place.
		if (goesAhead(job) && !goesAhead(*waiting)) {
			jobs.erase(waiting);
			jobs.insert(urgentEnd(), std::move(job));
		} else {
			*waiting = std::move(job);
		}
		return true;
	}
	if (full() && !job.stop && !taken)
		return false;
	if (goesAhead(job))
		jobs.insert(urgentEnd(), std::move(job));
	else
		jobs.push_back(std::move(job));
	return true;
}

CameraJobQueue::Iterator CameraJobQueue::waitingOfLane(const CameraJob &job)
{
	return std::find_if(jobs.begin(), jobs.end(),
			    [&job](const CameraJob &waiting) { return sameLane(waiting, job); });
}

CameraJobQueue::Iterator CameraJobQueue::urgentEnd()
{
	return std::find_if(jobs.begin(), jobs.end(), [](const CameraJob &waiting) { return !goesAhead(waiting); });
}

CameraJob CameraJobQueue::takeNext()
{
	CameraJob job = std::move(jobs.front());
	jobs.pop_front();
	return job;
}

int CameraJobQueue::discardAllButStops()
{
	const auto before = jobs.size();
	jobs.erase(std::remove_if(jobs.begin(), jobs.end(), [](const CameraJob &job) { return !job.stop; }),
		   jobs.end());
	return int(before - jobs.size());
}

bool CameraJobQueue::hasStop(CameraLane lane) const
{
	return std::any_of(jobs.begin(), jobs.end(),
			   [lane](const CameraJob &job) { return job.lane == lane && job.stop; });
}

QList<QByteArray> CameraJobQueue::names() const
{
	QList<QByteArray> list;
	for (const CameraJob &job : jobs)
		list << job.name;
	return list;
}
