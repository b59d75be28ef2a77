#include "integrations/CameraRequests.h"

#include "control/CameraDirector.h"
#include "control/CameraPool.h"
#include "integrations/IntegrationLog.h"
#include "integrations/LiveCameras.h"
#include "integrations/PresetPictures.h"
#include "settings/PresetNames.h"
#include "settings/SettingsFile.h"

#include <QCoreApplication>
#include <QPointer>
#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <mutex>
#include <optional>

namespace {

using json = nlohmann::json;

json accepted()
{
	return json{{"ok", true}};
}

json refused(const std::string &type, const QString &why)
{
	qCInfo(lcIntegrations, "Request %s refused: %s", type.c_str(), qUtf8Printable(why));
	return json{{"ok", false}, {"error", why.toStdString()}};
}

json notRunning(const std::string &type)
{
	return refused(type, QStringLiteral("the controller is not running"));
}

// A field that must be a JSON integer (not 1.0, "1" or true); the director checks its range.
struct IntegerField {
	std::optional<int> value;
	QString error; // set when the field is there but is not an integer that fits
};

IntegerField integerField(const json &data, const char *name)
{
	const auto it = data.find(name);
	if (it == data.end())
		return {};
	const QString notInteger = QStringLiteral("\"%1\" must be an integer").arg(QLatin1String(name));
	if (!it->is_number_integer())
		return {std::nullopt, notInteger};
	constexpr std::int64_t kMax = std::numeric_limits<int>::max();
	constexpr std::int64_t kMin = std::numeric_limits<int>::min();
	if (it->is_number_unsigned() ? it->get<std::uint64_t>() > std::uint64_t(kMax)
				     : (it->get<std::int64_t>() > kMax || it->get<std::int64_t>() < kMin))
		return {std::nullopt, notInteger + QStringLiteral(" of a sensible size")};
	return {it->get<int>(), QString()};
}

// The field must be present.
IntegerField requiredInteger(const json &data, const char *name)
{
	IntegerField field = integerField(data, name);
	if (!field.value && field.error.isEmpty())
		field.error = QStringLiteral("\"%1\" is missing").arg(QLatin1String(name));
	return field;
}

struct TextField {
	QString value;
	QString error;
};

TextField requiredText(const json &data, const char *name)
{
	const auto it = data.find(name);
	if (it == data.end())
		return {QString(), QStringLiteral("\"%1\" is missing").arg(QLatin1String(name))};
	if (!it->is_string())
		return {QString(), QStringLiteral("\"%1\" must be a string").arg(QLatin1String(name))};
	return {QString::fromStdString(it->get<std::string>()), QString()};
}

} // namespace

// A checked command, ready for the director.
struct CameraRequests::Command {
	int slot = 0;
	bool stop = false;           // a stop is never refused: the worker sends it until the camera answers
	bool drive = false;          // moves, zooms and focus drives merge in the worker's queue
	bool changesTheShot = false; // held back from a live camera
	std::function<CameraDirector::Outcome(CameraDirector &director)> run;
};

struct CameraRequests::Shared {
	QPointer<CameraDirector> director; // read on the director's thread only
	QPointer<PresetPictures> pictures; // likewise
	int maxWaiting = 0;
	// Set without a lock: OBS may run its exit from a signal handler that interrupted the UI thread anywhere.
	std::atomic<bool> closed{false};

	std::mutex mutex;
	QList<CameraDirector::CameraInfo> cameras;        // the director's picture, refreshed on its thread
	std::array<int, CameraPool::kSlots> onTheirWay{}; // commands handed over, not yet taken by the director

	void refresh()
	{
		if (!director)
			return;
		const QList<CameraDirector::CameraInfo> now = director->cameras();
		std::lock_guard<std::mutex> lock(mutex);
		cameras = now;
	}
};

CameraRequests::CameraRequests(CameraDirector *director, PresetPictures *pictures) : shared(std::make_shared<Shared>())
{
	shared->director = director;
	shared->pictures = pictures;
	if (!director) {
		shared->closed = true;
		return;
	}
	shared->maxWaiting = director->maxWaiting();
	shared->refresh();
	std::weak_ptr<Shared> weak = shared;
	const auto refresh = [weak]() {
		if (const auto state = weak.lock())
			state->refresh();
	};
	QObject::connect(director, &CameraDirector::cameraStatusChanged, director, refresh);
	QObject::connect(director, &CameraDirector::camerasChanged, director, refresh);
	QObject::connect(director, &QObject::destroyed, [weak]() {
		if (const auto state = weak.lock())
			state->closed = true;
	});
}

const std::vector<std::string> &CameraRequests::types()
{
	static const std::vector<std::string> names{"GetCameras", "GetPresets", "CallPreset", "StorePreset",
						    "Move",       "Zoom",       "Focus"};
	return names;
}

void CameraRequests::close()
{
	shared->closed = true;
}

bool CameraRequests::isClosed() const
{
	return shared->closed;
}

json CameraRequests::handle(const std::string &type, const json &data) const
{
	using Outcome = CameraDirector::Outcome;
	using Source = CameraDirector::Source;
	if (shared->closed)
		return notRunning(type);
	if (!data.is_object())
		return refused(type, QStringLiteral("the request data must be a JSON object"));
	if (type == "GetCameras")
		return cameras();
	const bool listPresets = type == "GetPresets";
	const bool preset = type == "CallPreset" || type == "StorePreset";
	const bool drive = type == "Move" || type == "Zoom" || type == "Focus";
	if (!preset && !drive && !listPresets)
		return refused(type, QStringLiteral("unknown request type"));

	const IntegerField pan = integerField(data, "panSpeed");
	const IntegerField tilt = integerField(data, "tiltSpeed");
	if (type == "Move" && !(pan.error + tilt.error).isEmpty())
		return refused(type, pan.error.isEmpty() ? tilt.error : pan.error);
	const IntegerField slot = requiredInteger(data, "slot");
	if (!slot.value)
		return refused(type, slot.error);
	if (const Outcome check = CameraDirector::checkSlot(*slot.value); !check.ok)
		return refused(type, check.error);
	if (listPresets)
		return presets(*slot.value);

	Command command;
	command.slot = *slot.value;
	command.changesTheShot = preset;
	if (preset) {
		const IntegerField number = requiredInteger(data, "preset");
		if (!number.value)
			return refused(type, number.error);
		if (const Outcome check = CameraDirector::checkPreset(*number.value); !check.ok)
			return refused(type, check.error);
		const bool call = type == "CallPreset";
		command.run = [call, slot = command.slot, number = *number.value,
			       state = shared.get()](CameraDirector &director) {
			if (call)
				return director.callPreset(slot, number, Source::Request);
			const Outcome outcome = director.storePreset(slot, number, Source::Request);
			if (outcome.ok && state->pictures)
				state->pictures->take(slot, number);
			return outcome;
		};
		return handOver(type, command);
	}
	const TextField direction = requiredText(data, "direction");
	if (!direction.error.isEmpty())
		return refused(type, direction.error);
	const Outcome check = type == "Move"   ? CameraDirector::checkMove(direction.value)
			      : type == "Zoom" ? CameraDirector::checkZoom(direction.value)
					       : CameraDirector::checkFocus(direction.value);
	if (!check.ok)
		return refused(type, check.error);
	command.drive = true;
	command.stop = direction.value == QLatin1String("stop");
	command.changesTheShot =
		!command.stop && direction.value != QLatin1String("auto") && direction.value != QLatin1String("manual");
	command.run = [type, slot = command.slot, towards = direction.value, pan = pan.value,
		       tilt = tilt.value](CameraDirector &director) {
		if (type == "Move")
			return director.move(slot, towards, pan, tilt);
		return type == "Zoom" ? director.zoom(slot, towards) : director.focus(slot, towards);
	};
	return handOver(type, command);
}

json CameraRequests::handOver(const std::string &type, const Command &command) const
{
	const int index = command.slot - 1;
	{
		std::lock_guard<std::mutex> lock(shared->mutex);
		const CameraDirector::CameraInfo &camera = shared->cameras.value(index);
		if (camera.address.isEmpty())
			return refused(type, QStringLiteral("slot %1 has no camera address").arg(command.slot));
		if (!command.stop && camera.connected && !camera.answering)
			return refused(type, QStringLiteral("the camera of slot %1 (%2) is not answering")
						     .arg(command.slot)
						     .arg(camera.address));
		if (command.changesTheShot && camera.live && LiveCameras::protectsEveryone())
			return refused(type, QStringLiteral("the camera of slot %1 is live on program in Studio Mode")
						     .arg(command.slot));
		// Moves and stops merge at the worker; preset commands each take a place there.
		if (!command.drive && shared->onTheirWay[size_t(index)] >= shared->maxWaiting)
			return refused(type, QStringLiteral("the camera of slot %1 has too many commands waiting; this "
							    "one was not taken")
						     .arg(command.slot));
		++shared->onTheirWay[size_t(index)];
	}
	// The application object lives as long as the host; the director may go at any time before it.
	QMetaObject::invokeMethod(
		qApp,
		[state = shared, type, command, index]() {
			{
				std::lock_guard<std::mutex> lock(state->mutex);
				--state->onTheirWay[size_t(index)];
			}
			if (state->closed || !state->director)
				return;
			const CameraDirector::Outcome outcome = command.run(*state->director);
			if (!outcome.ok)
				qCInfo(lcIntegrations, "Request %s not carried out: %s", type.c_str(),
				       qUtf8Printable(outcome.error));
		},
		Qt::QueuedConnection);
	return accepted();
}

json CameraRequests::presets(int slot)
{
	// Straight from the files, on this thread: nothing here waits for the director's.
	const QStringList names = PresetNames::read(SettingsFile::read(), slot);
	json list = json::array();
	for (int preset = SettingsFile::kFirstPreset; preset <= SettingsFile::kLastPreset; ++preset) {
		json entry{{"preset", preset},
			   {"name", names.value(preset - SettingsFile::kFirstPreset).toStdString()}};
		const QByteArray png = PresetPictures::png(slot, preset);
		if (!png.isEmpty())
			entry["thumbnail"] = png.toBase64().toStdString();
		list.push_back(entry);
	}
	return json{{"ok", true}, {"presets", list}};
}

json CameraRequests::cameras() const
{
	QList<CameraDirector::CameraInfo> now;
	{
		std::lock_guard<std::mutex> lock(shared->mutex);
		now = shared->cameras;
	}
	json list = json::array();
	for (const CameraDirector::CameraInfo &camera : now)
		list.push_back({{"slot", camera.slot},
				{"name", camera.name.toStdString()},
				{"address", camera.address.toStdString()},
				{"model", camera.model.toStdString()},
				{"connected", camera.connected},
				{"live", camera.live}});
	return json{{"ok", true}, {"cameras", list}};
}
