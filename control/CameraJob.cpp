#include "control/CameraJob.h"

#include "visca/viscaIpModule.h"

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
	job.changesTheShot = command.changesTheShot;
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

CameraJob CameraJob::readPosition(CameraLane lens, PositionAnswer answer)
{
	const bool zoom = lens == CameraLane::Zoom;
	return inquiry("read lens position", [zoom, answer = std::move(answer)](viscaIpModule &link) -> FollowUp {
		const int position = zoom ? link.getZoomDirect() : link.getFocusDirect();
		const bool answered = link.lastExchangeOk();
		return [answer, position, answered]() { answer(position, answered); };
	});
}

CameraJob CameraJob::confirmed(const CameraCommand &command, int value, ConfirmAnswer answer)
{
	return fromCommand(command, value, [answer = std::move(answer)](viscaIpModule &link) -> FollowUp {
		const bool confirmed = link.lastExchangeOk();
		return [answer, confirmed]() { answer(confirmed); };
	});
}

CameraJob CameraJob::panelReading(PanelReading::Part part, int settleMs, ReadingAnswer answer)
{
	return inquiry("read back", [part, settleMs, answer = std::move(answer)](viscaIpModule &link) -> FollowUp {
		if (settleMs > 0)
			link.pauseFor(settleMs);
		PanelReading reading;
		reading.read(part, link);
		return [answer, reading]() { answer(reading); };
	});
}
