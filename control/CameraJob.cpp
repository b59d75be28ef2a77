#include "control/CameraJob.h"

#include <utility>

CameraJob CameraJob::fromCommand(const CameraCommand &command, int value)
{
	return fromCommand(command, value, Body());
}

CameraJob CameraJob::fromCommand(const CameraCommand &command, int value, Body then)
{
	CameraJob job;
	job.name = command.name;
	job.lane = command.lane;
	job.stop = command.stop;
	job.settingKey = command.settingKey;
	job.pauseAfter = true;
	job.run = [operation = command.run, value, then = std::move(then)](viscaIpModule &link) -> FollowUp {
		if (operation)
			operation(link, value);
		return then ? then(link) : FollowUp();
	};
	return job;
}

CameraJob CameraJob::inquiry(const char *name, Body body)
{
	CameraJob job;
	job.name = name;
	job.run = std::move(body);
	return job;
}
