#include "control/CameraJobQueue.h"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace {

bool sameValue(const CameraJob &a, const CameraJob &b)
{
	return a.lane == b.lane && (a.lane != CameraLane::Setting || a.settingKey == b.settingKey);
}

} // namespace

int CameraJobQueue::push(CameraJob job, bool cameraBehind)
{
	const bool merge = cameraBehind || int(jobs.size()) >= kBacklog;
	if (putBeforeHeldStop(job))
		return enforceBound();
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

bool CameraJobQueue::endsWithStop(CameraLane lane) const
{
	for (auto it = jobs.rbegin(); it != jobs.rend(); ++it)
		if (it->lane == lane)
			return it->stop;
	return false;
}

bool CameraJobQueue::endsWithHeldStop(CameraLane lane) const
{
	for (auto it = jobs.rbegin(); it != jobs.rend(); ++it)
		if (it->lane == lane)
			return it->stop && it->heldUntil != std::chrono::steady_clock::time_point();
	return false;
}

bool CameraJobQueue::putBeforeHeldStop(CameraJob &job)
{
	if (job.stop || !endsWithHeldStop(job.lane))
		return false;
	const auto last = lastOfLane(job.lane);
	last->heldUntil = {};
	// Another source's move (the window, a key) is no move the stop overtook: the stop goes now, the move after it.
	if (!job.mayOvertake)
		return false;
	// The move it waited for is here: the stop goes right after it, without waiting any longer.
	jobs.insert(last, std::move(job));
	return true;
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
	// Positions, not iterators: erasing from the middle of a deque invalidates every iterator into it.
	const size_t stopAt = size_t(last - jobs.begin());
	for (size_t at = stopAt; at-- > 0;) {
		if (jobs[at].lane != job.lane)
			continue;
		if (!jobs[at].stop) {
			jobs.erase(jobs.begin() + std::ptrdiff_t(stopAt));
			jobs.erase(jobs.begin() + std::ptrdiff_t(at));
		}
		break;
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
