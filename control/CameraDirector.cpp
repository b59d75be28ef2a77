#include "control/CameraDirector.h"
#include "visca/viscaIpModule.h"

#include "camera/CameraLog.h"
#include "camera/viscaGeneralOps.h"
#include "control/CameraPool.h"
#include "control/CameraSpeeds.h"
#include "settings/SettingsFile.h"
#include "settings/Utils.h"

#include <QJsonObject>
#include <QPointer>

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

using Direction = CameraCommands::Direction;

QString storedAddress(int slot)
{
	return SettingsFile::read().value(SettingsFile::addressKey(slot)).toString();
}

std::optional<Direction> directionNamed(const QString &name)
{
	static const QHash<QString, Direction> directions{
		{QStringLiteral("up"), Direction::Up},
		{QStringLiteral("down"), Direction::Down},
		{QStringLiteral("left"), Direction::Left},
		{QStringLiteral("right"), Direction::Right},
		{QStringLiteral("up-left"), Direction::UpLeft},
		{QStringLiteral("up-right"), Direction::UpRight},
		{QStringLiteral("down-left"), Direction::DownLeft},
		{QStringLiteral("down-right"), Direction::DownRight},
	};
	const auto it = directions.constFind(name);
	return it == directions.constEnd() ? std::nullopt : std::optional<Direction>(*it);
}

// A caller's text as a refusal quotes it: short, and with control characters spelled out, so that a newline in a
// request cannot write a line of its own into the host's log.
QString shownText(const QString &text)
{
	QString shown;
	for (const QChar c : text.left(32)) {
		if (c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line ||
		    c.category() == QChar::Separator_Paragraph)
			shown += QStringLiteral("\\x%1").arg(int(c.unicode()), 2, 16, QLatin1Char('0'));
		else
			shown += c;
	}
	return shown;
}

// Moves, zooms and focus drives come from requests, which obs-websocket runs in parallel: a stop may overtake
// its move on the way here.
CameraJob driveJob(const CameraCommand &command, int value)
{
	CameraJob job = CameraJob::fromCommand(command, value);
	job.mayOvertake = true;
	return job;
}

CameraDirector::Outcome busy(int slot)
{
	return CameraDirector::Outcome::refused(
		QStringLiteral("the camera of slot %1 has too many commands waiting; this one was not taken")
			.arg(slot));
}

const QHash<QString, CameraCommand> &zoomCommands()
{
	static const QHash<QString, CameraCommand> commands{{QStringLiteral("in"), CameraCommands::zoomIn()},
							    {QStringLiteral("out"), CameraCommands::zoomOut()},
							    {QStringLiteral("stop"), CameraCommands::zoomStop()}};
	return commands;
}

// A focus direction's command and its value.
const QHash<QString, std::pair<CameraCommand, int>> &focusCommands()
{
	static const QHash<QString, std::pair<CameraCommand, int>> commands{
		{QStringLiteral("near"), {CameraCommands::focusNear(), 0}},
		{QStringLiteral("far"), {CameraCommands::focusFar(), 0}},
		{QStringLiteral("stop"), {CameraCommands::focusStop(), 0}},
		{QStringLiteral("auto"), {CameraCommands::autoFocus(), 1}},
		{QStringLiteral("manual"), {CameraCommands::autoFocus(), 0}}};
	return commands;
}

// The tally lamp switch; models differ in nothing but whether they answer it.
CameraJob tallyJob(bool on, CameraJob::FollowUp refused)
{
	CameraJob job;
	job.name = on ? "tallyOn" : "tallyOff";
	job.lane = CameraLane::Setting;
	job.settingKey = "tally";
	job.pauseAfter = true;
	job.run = [on, refused](viscaIpModule &link) {
		const uint8_t payload[] = {0x81, 0x01, 0x7E, 0x01, 0x0A, 0x00, uint8_t(on ? 0x02 : 0x03), 0xFF};
		constexpr int kHeader = 8;
		uint8_t packet[kHeader + sizeof payload];
		const uint32_t serial = link.setViscaIpHeader(packet, 0x00, uint8_t(sizeof payload));
		std::memcpy(packet + kHeader, payload, sizeof payload);
		// Sent once: a camera that answered with an error would refuse it again.
		link.writeViscaWithAckComplete(packet, int(sizeof packet), serial, 1);
		return link.lastExchangeAnswered() && !link.lastExchangeOk() ? refused : CameraJob::FollowUp();
	};
	return job;
}

} // namespace

CameraDirector::CameraDirector(CameraPool *pool, Caption caption, QObject *parent)
    : QObject(parent), pool(pool), caption(std::move(caption))
{
	// Every user of a slot's camera hears of its status here, whoever made its link.
	for (int slot = 1; slot <= CameraPool::kSlots; ++slot)
		if (CameraWorker *worker = pool->existingWorker(slot))
			watch(slot, worker);
	connect(pool, &CameraPool::workerMade, this, &CameraDirector::watch);
	// The slots' names and addresses live in the settings.
	connect(SettingsFile::notifier(), &SettingsNotifier::changed, this, &CameraDirector::camerasChanged);
}

QString CameraDirector::sourceName(Source source)
{
	switch (source) {
	case Source::Window:
		return QStringLiteral("window");
	case Source::Hotkey:
		return QStringLiteral("hotkey");
	case Source::Scene:
		return QStringLiteral("scene");
	case Source::Request:
		return QStringLiteral("request");
	}
	return QString();
}

int CameraDirector::maxWaiting() const
{
	return pool->workerOptions().maxJobs;
}

void CameraDirector::setLiveSlots(const QSet<int> &slotsLive)
{
	if (slotsLive == liveSlots)
		return;
	liveSlots = slotsLive;
	emit camerasChanged();
}

QList<CameraDirector::CameraInfo> CameraDirector::cameras() const
{
	const QJsonObject settings = SettingsFile::read();
	QList<CameraInfo> list;
	for (int slot = 1; slot <= CameraPool::kSlots; ++slot) {
		CameraInfo info;
		info.slot = slot;
		info.name = caption ? caption(slot) : QStringLiteral("Camera%1").arg(slot);
		info.address = settings.value(SettingsFile::addressKey(slot)).toString();
		info.live = liveSlots.contains(slot);
		if (const CameraWorker *worker = pool->existingWorker(slot); worker && worker->hasLink()) {
			info.model = worker->model();
			info.connected = !lost.value(slot) && worker->address() == info.address;
			info.answering = info.connected && worker->isAnswering();
		}
		list << info;
	}
	return list;
}

CameraDirector::Outcome CameraDirector::callPreset(int slot, int preset, Source source)
{
	if (const Outcome check = checkPreset(preset); !check.ok)
		return check;
	const Outcome outcome = dispatch(slot, "a preset call", [preset](const viscaGeneralOps &) {
		return CameraJob::fromCommand(CameraCommands::presetRecall(), preset);
	});
	if (outcome.ok)
		reportPresetCall(slot, preset, source);
	return outcome;
}

CameraDirector::Outcome CameraDirector::storePreset(int slot, int preset, Source source)
{
	if (const Outcome check = checkPreset(preset); !check.ok)
		return check;
	const Outcome outcome = dispatch(slot, "a preset store", [preset](const viscaGeneralOps &) {
		return CameraJob::fromCommand(CameraCommands::presetSave(), preset);
	});
	if (outcome.ok)
		qCInfo(lcCamera, "Preset %d stored on camera %d from a %s", preset, slot,
		       qUtf8Printable(sourceName(source)));
	return outcome;
}

CameraDirector::Outcome CameraDirector::move(int slot, const QString &direction, std::optional<int> panSpeed,
					     std::optional<int> tiltSpeed)
{
	if (const Outcome check = checkMove(direction); !check.ok)
		return check;
	if (direction == QLatin1String("stop"))
		return dispatch(slot, "a stop",
				[](const viscaGeneralOps &) { return driveJob(CameraCommands::motorStop(), 0); });
	if (direction == QLatin1String("home"))
		return dispatch(slot, "a move home", [](const viscaGeneralOps &) {
			return CameraJob::fromCommand(CameraCommands::home(), 0);
		});
	const Direction towards = *directionNamed(direction);
	return dispatch(slot, "a move", [towards, panSpeed, tiltSpeed](const viscaGeneralOps &ops) {
		return driveJob(CameraCommands::moveAtSpeeds(towards),
				CameraCommands::speedsValue(ops, panSpeed, tiltSpeed));
	});
}

CameraDirector::Outcome CameraDirector::zoom(int slot, const QString &direction)
{
	if (const Outcome check = checkZoom(direction); !check.ok)
		return check;
	const CameraCommand command = zoomCommands().value(direction);
	return dispatch(slot, "a zoom", [command](const viscaGeneralOps &) { return driveJob(command, 0); });
}

CameraDirector::Outcome CameraDirector::focus(int slot, const QString &direction)
{
	if (const Outcome check = checkFocus(direction); !check.ok)
		return check;
	const auto [command, value] = focusCommands().value(direction);
	return dispatch(slot, "a focus", [command = command, value = value](const viscaGeneralOps &) {
		return driveJob(command, value);
	});
}

CameraDirector::Outcome CameraDirector::checkSlot(int slot)
{
	if (slot < 1 || slot > CameraPool::kSlots)
		return Outcome::refused(QStringLiteral("slot %1 is not 1 to %2").arg(slot).arg(CameraPool::kSlots));
	return {};
}

CameraDirector::Outcome CameraDirector::checkPreset(int preset)
{
	if (!SettingsFile::isPreset(preset))
		return Outcome::refused(QStringLiteral("preset %1 is not %2 to %3")
						.arg(preset)
						.arg(SettingsFile::kFirstPreset)
						.arg(SettingsFile::kLastPreset));
	return {};
}

CameraDirector::Outcome CameraDirector::checkMove(const QString &direction)
{
	if (direction == QLatin1String("stop") || direction == QLatin1String("home") || directionNamed(direction))
		return {};
	return Outcome::refused(QStringLiteral("direction \"%1\" is not one of up, down, left, right, up-left, "
					       "up-right, down-left, down-right, stop, home")
					.arg(shownText(direction)));
}

CameraDirector::Outcome CameraDirector::checkZoom(const QString &direction)
{
	if (zoomCommands().contains(direction))
		return {};
	return Outcome::refused(
		QStringLiteral("zoom direction \"%1\" is not one of in, out, stop").arg(shownText(direction)));
}

CameraDirector::Outcome CameraDirector::checkFocus(const QString &direction)
{
	if (focusCommands().contains(direction))
		return {};
	return Outcome::refused(QStringLiteral("focus direction \"%1\" is not one of near, far, stop, auto, manual")
					.arg(shownText(direction)));
}

CameraDirector::Outcome CameraDirector::tally(int slot, bool on)
{
	QPointer<CameraDirector> self(this);
	return dispatch(slot, "a tally lamp switch", [self, slot, on](const viscaGeneralOps &) {
		return tallyJob(on, [self, slot]() {
			if (self)
				emit self->tallyRefused(slot);
		});
	});
}

void CameraDirector::reportPresetCall(int slot, int preset, Source source)
{
	qCInfo(lcCamera, "Preset %d called on camera %d from a %s", preset, slot, qUtf8Printable(sourceName(source)));
	emit presetCalled(slot, preset, source);
}

CameraDirector::Outcome CameraDirector::dispatch(int slot, const char *what, JobFactory makeJob)
{
	if (const Outcome check = checkSlot(slot); !check.ok)
		return check;
	CameraWorker *worker = pool->worker(slot);
	if (!worker)
		return Outcome::refused(QStringLiteral("the controller is shutting down"));
	const QString address = storedAddress(slot);
	if (address.isEmpty()) {
		const QString text = tr("%1 has no camera address; %2 for it was not sent.").arg(caption(slot), what);
		qCWarning(lcCamera, "%s", qUtf8Printable(text));
		emit notice(text);
		return Outcome::refused(QStringLiteral("slot %1 has no camera address").arg(slot));
	}
	watch(slot, worker);
	if (worker->hasLink() && worker->address() == address && worker->capabilities()) {
		CameraJob job = makeJob(*worker->capabilities());
		// A stop still goes to a silent camera: it is sent again until the camera answers.
		if (!job.stop && (lost.value(slot) || !worker->isAnswering()))
			return Outcome::refused(
				QStringLiteral("the camera of slot %1 (%2) is not answering").arg(slot).arg(address));
		job.refuseWhenFull = true;
		if (!worker->submit(std::move(job)))
			return busy(slot);
		return {};
	}
	// The camera is identified first; what was asked of it waits for that, in order, within the worker's bound.
	const bool identifying = waiting.contains(slot);
	if (waiting.value(slot).size() >= pool->workerOptions().maxJobs)
		return busy(slot);
	waiting[slot] << makeJob;
	if (!identifying)
		identify(slot, address);
	return {};
}

void CameraDirector::identify(int slot, const QString &address)
{
	qCInfo(lcCamera, "Camera %d (%s) is identified in the background", slot, qUtf8Printable(address));
	CameraWorker *worker = pool->worker(slot);
	QPointer<CameraDirector> self(this);
	worker->connectTo(address, [self, slot, worker](const CameraWorker::ConnectResult &result) {
		if (!self)
			return;
		const QList<JobFactory> jobs = self->waiting.take(slot);
		if (result.outcome != CameraWorker::ConnectResult::Outcome::Connected) {
			const QString text = tr("%1 (%2) did not answer; what was asked of it was not sent.")
						     .arg(self->caption(slot), result.address);
			qCWarning(lcCamera, "%s", qUtf8Printable(text));
			emit self->notice(text);
			return;
		}
		self->applyStoredSpeeds(worker);
		for (const JobFactory &makeJob : jobs)
			worker->submit(makeJob(*result.ops));
	});
}

void CameraDirector::applyStoredSpeeds(CameraWorker *worker)
{
	// The camera moves as the operator set it up in the window: the speeds stored for its address and model.
	const QJsonObject settings = SettingsFile::read();
	const CameraSpeeds speeds =
		CameraSpeeds::stored(settings, worker->address() + worker->model(), *worker->capabilities());
	CameraJob job = CameraJob::inquiry("stored speeds", [speeds](viscaIpModule &link) {
		link.setPanSpeed(speeds.pan);
		link.setTiltSpeed(speeds.tilt);
		link.setZoomSpeed(speeds.zoom);
		link.setFocusSpeed(speeds.focus);
		return CameraJob::FollowUp();
	});
	worker->submit(std::move(job));
	if (speeds.presetSpeed >= 0)
		worker->submit(CameraJob::fromCommand(
			CameraCommands::setting("setPresetSpeed",
						[](viscaIpModule &link, int value) { link.setPresetSpeed(value); }),
			speeds.presetSpeed));
}

void CameraDirector::watch(int slot, CameraWorker *worker)
{
	if (watched.contains(worker))
		return;
	watched << worker;
	connect(worker, &CameraWorker::linkReady, this, [this, slot]() {
		lost[slot] = false;
		reportStatus(slot);
		emit cameraLinked(slot);
	});
	connect(worker, &CameraWorker::answeringChanged, this, [this, slot]() { reportStatus(slot); });
	connect(worker, &CameraWorker::connectionLost, this, [this, slot]() {
		lost[slot] = true;
		reportStatus(slot);
	});
	connect(worker, &CameraWorker::answeringAgain, this, [this, slot]() {
		lost[slot] = false;
		reportStatus(slot);
	});
}

void CameraDirector::reportStatus(int slot)
{
	const CameraWorker *worker = pool->existingWorker(slot);
	const bool connected = worker && worker->hasLink() && !lost.value(slot);
	emit cameraStatusChanged(slot, connected, connected && worker->isAnswering());
}
