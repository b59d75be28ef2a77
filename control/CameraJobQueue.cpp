#include "control/CameraJobQueue.h"

#include <algorithm>
#include <utility>

namespace {

bool isDriveLane(CameraLane lane)
{
	return lane == CameraLane::PanTilt || lane == CameraLane::Zoom || lane == CameraLane::Focus;
}

bool sameValue(const CameraJob &a, const CameraJob &b)
{
	return a.lane == b.lane && (a.lane != CameraLane::Setting || a.settingKey == b.settingKey);
}

} // namespace

int CameraJobQueue::push(CameraJob job, bool cameraBehind)
{
	const bool merge = cameraBehind || int(jobs.size()) >= kBacklog;
	if (!merge || job.lane == CameraLane::None)
		jobs.push_back(std::move(job));
	else if (isDriveLane(job.lane))
		pushDrive(std::move(job));
	else
		replaceSameValue(std::move(job));
	return enforceBound();
}

CameraJobQueue::Iterator CameraJobQueue::lastOfLane(CameraLane lane)
{
	for (auto it = jobs.end(); it != jobs.begin();) {
		--it;
		if (it->lane == lane)
			return it;
	}
	return jobs.end();
}

void CameraJobQueue::pushDrive(CameraJob job)
{
	const auto last = lastOfLane(job.lane);
	if (last == jobs.end()) {
		jobs.push_back(std::move(job));
		return;
	}
	if (job.stop) {
		// Two stops in a row stop the same motion.
		if (!last->stop)
			jobs.push_back(std::move(job));
		return;
	}
	if (!last->stop) {
		// Still waiting to move: move the newer way instead, in the waiting move's place.
		*last = std::move(job);
		return;
	}
	// The lane ends with a stop. When the move before it waits too, the camera never saw that move: the pair goes.
	const auto stopAt = last;
	auto moveAt = jobs.end();
	for (auto it = stopAt; it != jobs.begin();) {
		--it;
		if (it->lane == job.lane) {
			moveAt = it->stop ? jobs.end() : it;
			break;
		}
	}
	if (moveAt != jobs.end()) {
		jobs.erase(stopAt);
		jobs.erase(moveAt);
	}
	jobs.push_back(std::move(job));
}

void CameraJobQueue::replaceSameValue(CameraJob job)
{
	jobs.erase(std::remove_if(jobs.begin(), jobs.end(),
				  [&job](const CameraJob &waiting) { return sameValue(waiting, job); }),
		   jobs.end());
	jobs.push_back(std::move(job));
}

int CameraJobQueue::enforceBound()
{
	int dropped = 0;
	while (int(jobs.size()) > maxJobs) {
		const auto victim =
			std::find_if(jobs.begin(), jobs.end(), [](const CameraJob &job) { return !job.stop; });
		if (victim == jobs.end())
			break;
		jobs.erase(victim);
		++dropped;
	}
	return dropped;
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

QList<QByteArray> CameraJobQueue::names() const
{
	QList<QByteArray> list;
	for (const CameraJob &job : jobs)
		list << job.name;
	return list;
}
