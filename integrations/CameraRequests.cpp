#include "integrations/CameraRequests.h"

#include "control/CameraPool.h"
#include "integrations/IntegrationLog.h"
#include "settings/OutsideText.h"
#include "settings/PresetNames.h"
#include "settings/SettingsFile.h"
#include "integrations/PresetPictures.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <shared_mutex>

namespace {

using json = nlohmann::json;
using Outcome = CameraDoor::Outcome;
using Direction = CameraCommands::Direction;

// A request as checked: its slot and what it names. Fields a type does not take stay empty.
struct Request {
	int slot = 0;
	int preset = 0;
	QString verb; // the direction of Move, Zoom or Focus
	std::optional<int> panSpeed;
	std::optional<int> tiltSpeed;
};

const CameraCaller kRequest{CameraOrigin::Request};

// A direction of Move, Zoom or Focus and what it asks of the slot's door.
struct Verb {
	const char *name;
	std::function<Outcome(CameraDoor &door, const Request &request)> run;
};

Verb command(const char *name, const CameraCommand &command, int value = 0)
{
	return {name,
		[command, value](CameraDoor &door, const Request &) { return door.enter(command, value, kRequest); }};
}

Verb move(const char *name, Direction direction)
{
	return {name, [direction](CameraDoor &door, const Request &request) {
			return door.moveAtSpeeds(direction, request.panSpeed, request.tiltSpeed, kRequest);
		}};
}

// The fields a request type takes, in the order they are checked.
enum class Field { Slot, Preset, Verb, PanSpeed, TiltSpeed };

struct RequestType {
	const char *name;
	std::vector<Field> fields;
	// For a type with verbs: how a refusal names the field ("direction", "zoom direction"), and the verbs.
	const char *verbLabel = nullptr;
	std::vector<Verb> verbs;
	// What the checked request asks, and the answer.
	std::function<json(const RequestType &type, const Request &request, CameraPool &pool)> answer;
};

json accepted()
{
	return json{{"ok", true}};
}

json refused(const std::string &type, const QString &why)
{
	qCInfo(lcIntegrations, "Request %s refused: %s",
	       OutsideText::escaped(QString::fromStdString(type), OutsideText::kLoggedLength).constData(),
	       qUtf8Printable(why));
	return json{{"ok", false}, {"error", why.toStdString()}};
}

json answered(const std::string &type, const Outcome &outcome)
{
	return outcome.ok ? accepted() : refused(type, outcome.error);
}

// A field that must be a JSON integer that fits (not 1.0, "1" or true), within [minimum, maximum] when given.
std::optional<int> integerField(const json &data, const char *name, bool required, QString *error,
				std::optional<std::pair<int, int>> range = std::nullopt)
{
	const auto it = data.find(name);
	if (it == data.end()) {
		if (required)
			*error = QStringLiteral("\"%1\" is missing").arg(QLatin1String(name));
		return std::nullopt;
	}
	const QString notInteger = QStringLiteral("\"%1\" must be an integer").arg(QLatin1String(name));
	if (!it->is_number_integer()) {
		*error = notInteger;
		return std::nullopt;
	}
	constexpr std::int64_t kMax = std::numeric_limits<int>::max();
	constexpr std::int64_t kMin = std::numeric_limits<int>::min();
	if (it->is_number_unsigned() ? it->get<std::uint64_t>() > std::uint64_t(kMax)
				     : (it->get<std::int64_t>() > kMax || it->get<std::int64_t>() < kMin)) {
		*error = notInteger + QStringLiteral(" of a sensible size");
		return std::nullopt;
	}
	const int value = it->get<int>();
	if (range && (value < range->first || value > range->second)) {
		*error = QStringLiteral("%1 %2 is not %3 to %4")
				 .arg(QLatin1String(name))
				 .arg(value)
				 .arg(range->first)
				 .arg(range->second);
		return std::nullopt;
	}
	return value;
}

std::optional<QString> verbField(const json &data, const RequestType &type, QString *error)
{
	const auto it = data.find("direction");
	if (it == data.end()) {
		*error = QStringLiteral("\"direction\" is missing");
		return std::nullopt;
	}
	if (!it->is_string()) {
		*error = QStringLiteral("\"direction\" must be a string");
		return std::nullopt;
	}
	const QString verb = QString::fromStdString(it->get<std::string>());
	// No direction holds one; a NUL would otherwise let "up\u0000x" pass for "up" wherever the text is cut at it.
	if (OutsideText::hasControl(verb)) {
		*error = QStringLiteral("\"direction\" holds a control character: %1")
				 .arg(QString::fromUtf8(OutsideText::quoted(verb, 32)));
		return std::nullopt;
	}
	QStringList names;
	for (const Verb &known : type.verbs) {
		if (verb == QLatin1String(known.name))
			return verb;
		names << QLatin1String(known.name);
	}
	*error = QStringLiteral("%1 %2 is not one of %3")
			 .arg(QLatin1String(type.verbLabel), QString::fromUtf8(OutsideText::quoted(verb, 32)),
			      names.join(QLatin1String(", ")));
	return std::nullopt;
}

// The request's fields, each checked once; an empty error when all are right.
Request parse(const RequestType &type, const json &data, QString *error)
{
	Request request;
	for (Field field : type.fields) {
		switch (field) {
		case Field::Slot:
			request.slot =
				integerField(data, "slot", true, error, std::pair(1, CameraPool::kSlots)).value_or(0);
			break;
		case Field::Preset:
			request.preset = integerField(data, "preset", true, error,
						      std::pair(SettingsFile::kFirstPreset, SettingsFile::kLastPreset))
						 .value_or(0);
			break;
		case Field::Verb:
			request.verb = verbField(data, type, error).value_or(QString());
			break;
		case Field::PanSpeed:
			request.panSpeed = integerField(data, "panSpeed", false, error);
			break;
		case Field::TiltSpeed:
			request.tiltSpeed = integerField(data, "tiltSpeed", false, error);
			break;
		}
		if (!error->isEmpty())
			break;
	}
	return request;
}

json presets(int slot)
{
	// Straight from the files, on this thread: nothing here waits for OBS's UI thread.
	const QStringList names = PresetNames::read(SettingsFile::read(), slot);
	json list = json::array();
	for (int preset = SettingsFile::kFirstPreset; preset <= SettingsFile::kLastPreset; ++preset) {
		json entry{{"preset", preset},
			   {"name",
			    OutsideText::printable(names.value(preset - SettingsFile::kFirstPreset)).toStdString()}};
		const QByteArray png = PresetPictures::png(slot, preset);
		if (!png.isEmpty())
			entry["thumbnail"] = png.toBase64().toStdString();
		list.push_back(entry);
	}
	return json{{"ok", true}, {"presets", list}};
}

json notRunning(const std::string &type)
{
	return refused(type, QStringLiteral("the controller is not running"));
}

// Runs `ask` on the request's slot's door.
json atDoor(const RequestType &type, const Request &request, CameraPool &pool,
	    const std::function<Outcome(CameraDoor &door)> &ask)
{
	CameraDoor *door = pool.door(request.slot);
	return door ? answered(type.name, ask(*door)) : notRunning(type.name);
}

json verbAnswer(const RequestType &type, const Request &request, CameraPool &pool)
{
	for (const Verb &verb : type.verbs)
		if (request.verb == QLatin1String(verb.name))
			return atDoor(type, request, pool, [&](CameraDoor &door) { return verb.run(door, request); });
	return refused(type.name, QStringLiteral("unknown direction"));
}

json cameraList(const CameraPool &pool)
{
	json list = json::array();
	for (const CameraDoor::Info &camera : pool.cameras())
		// Stored texts are the operator's, and a hand edit may put anything in them: an answer carries no
		// control character, so that no host cuts it short at a NUL on its way to the program.
		list.push_back({{"slot", camera.slot},
				{"name", OutsideText::printable(camera.name).toStdString()},
				{"address", OutsideText::printable(camera.address).toStdString()},
				{"model", OutsideText::printable(camera.model).toStdString()},
				{"connected", camera.connected},
				{"live", camera.live}});
	return json{{"ok", true}, {"cameras", list}};
}

const std::vector<RequestType> &requestTable()
{
	using F = Field;
	static const std::vector<RequestType> table{
		{"GetCameras",
		 {},
		 nullptr,
		 {},
		 [](const RequestType &, const Request &, CameraPool &pool) { return cameraList(pool); }},
		{"GetPresets",
		 {F::Slot},
		 nullptr,
		 {},
		 [](const RequestType &, const Request &request, CameraPool &) { return presets(request.slot); }},
		{"CallPreset",
		 {F::Slot, F::Preset},
		 nullptr,
		 {},
		 [](const RequestType &type, const Request &request, CameraPool &pool) {
			 return atDoor(type, request, pool,
				       [&](CameraDoor &door) { return door.callPreset(request.preset, kRequest); });
		 }},
		{"StorePreset",
		 {F::Slot, F::Preset},
		 nullptr,
		 {},
		 [](const RequestType &type, const Request &request, CameraPool &pool) {
			 return atDoor(type, request, pool,
				       [&](CameraDoor &door) { return door.storePreset(request.preset, kRequest); });
		 }},
		{"Move",
		 {F::PanSpeed, F::TiltSpeed, F::Slot, F::Verb},
		 "direction",
		 {move("up", Direction::Up), move("down", Direction::Down), move("left", Direction::Left),
		  move("right", Direction::Right), move("up-left", Direction::UpLeft),
		  move("up-right", Direction::UpRight), move("down-left", Direction::DownLeft),
		  move("down-right", Direction::DownRight), command("stop", CameraCommands::motorStop()),
		  command("home", CameraCommands::home())},
		 verbAnswer},
		{"Zoom",
		 {F::Slot, F::Verb},
		 "zoom direction",
		 {command("in", CameraCommands::zoomIn()), command("out", CameraCommands::zoomOut()),
		  command("stop", CameraCommands::zoomStop())},
		 verbAnswer},
		{"Focus",
		 {F::Slot, F::Verb},
		 "focus direction",
		 {command("near", CameraCommands::focusNear()), command("far", CameraCommands::focusFar()),
		  command("stop", CameraCommands::focusStop()), command("auto", CameraCommands::autoFocus(), 1),
		  command("manual", CameraCommands::autoFocus(), 0)},
		 verbAnswer},
	};
	return table;
}

const RequestType *typeNamed(const std::string &name)
{
	for (const RequestType &type : requestTable())
		if (name == type.name)
			return &type;
	return nullptr;
}

} // namespace

struct CameraRequests::Shared {
	CameraPool *pool = nullptr;
	// Set without the lock, so a request arriving while close() waits is answered at once.
	std::atomic<bool> closed{false};
	// Requests hold it shared while they use the pool; close() takes it alone, so no request uses a pool that is
	// going. It never waits long: a request only hands its command to a door.
	std::shared_timed_mutex inFlight;
};

CameraRequests::CameraRequests(CameraPool *pool) : shared(std::make_shared<Shared>())
{
	shared->pool = pool;
	if (!pool) {
		shared->closed = true;
		return;
	}
	std::weak_ptr<Shared> weak = shared;
	QObject::connect(pool, &QObject::destroyed, [weak]() {
		if (const auto state = weak.lock())
			CameraRequests::closeShared(*state);
	});
}

const std::vector<std::string> &CameraRequests::types()
{
	static const std::vector<std::string> names = [] {
		std::vector<std::string> list;
		for (const RequestType &type : requestTable())
			list.push_back(type.name);
		return list;
	}();
	return names;
}

void CameraRequests::close()
{
	closeShared(*shared);
}

void CameraRequests::closeShared(Shared &state)
{
	state.closed = true;
	// Those on their way finish first; a request that does not would not hold the host's exit for long.
	if (state.inFlight.try_lock_for(std::chrono::seconds(2)))
		state.inFlight.unlock();
}

bool CameraRequests::isClosed() const
{
	return shared->closed;
}

json CameraRequests::handle(const std::string &typeName, const json &data) const
{
	std::shared_lock<std::shared_timed_mutex> onItsWay(shared->inFlight);
	if (shared->closed)
		return notRunning(typeName);
	if (!data.is_object())
		return refused(typeName, QStringLiteral("the request data must be a JSON object"));
	const RequestType *type = typeNamed(typeName);
	if (!type)
		return refused(typeName, QStringLiteral("unknown request type"));
	QString error;
	const Request request = parse(*type, data, &error);
	if (!error.isEmpty())
		return refused(typeName, error);
	return type->answer(*type, request, *shared->pool);
}
