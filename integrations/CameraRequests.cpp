#include "integrations/CameraRequests.h"

#include "control/CameraDirector.h"
#include "integrations/IntegrationLog.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <limits>
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

json answer(const std::string &type, const CameraDirector::Outcome &outcome)
{
	return outcome.ok ? accepted() : refused(type, outcome.error);
}

using PresetCommand = CameraDirector::Outcome (CameraDirector::*)(int, int, CameraDirector::Source);
using DirectionCommand = std::function<CameraDirector::Outcome(CameraDirector &, int slot, const QString &)>;

json presetRequest(CameraDirector &director, const std::string &type, const json &data, PresetCommand command)
{
	const IntegerField slot = requiredInteger(data, "slot");
	if (!slot.value)
		return refused(type, slot.error);
	const IntegerField preset = requiredInteger(data, "preset");
	if (!preset.value)
		return refused(type, preset.error);
	return answer(type, (director.*command)(*slot.value, *preset.value, CameraDirector::Source::Request));
}

json directionRequest(CameraDirector &director, const std::string &type, const json &data,
		      const DirectionCommand &command)
{
	const IntegerField slot = requiredInteger(data, "slot");
	if (!slot.value)
		return refused(type, slot.error);
	const TextField direction = requiredText(data, "direction");
	if (!direction.error.isEmpty())
		return refused(type, direction.error);
	return answer(type, command(director, *slot.value, direction.value));
}

json moveRequest(CameraDirector &director, const std::string &type, const json &data)
{
	const IntegerField pan = integerField(data, "panSpeed");
	if (!pan.error.isEmpty())
		return refused(type, pan.error);
	const IntegerField tilt = integerField(data, "tiltSpeed");
	if (!tilt.error.isEmpty())
		return refused(type, tilt.error);
	return directionRequest(director, type, data,
				[pan, tilt](CameraDirector &to, int slot, const QString &direction) {
					return to.move(slot, direction, pan.value, tilt.value);
				});
}

} // namespace

CameraRequests::CameraRequests(CameraDirector *director) : director(director) {}

const std::vector<std::string> &CameraRequests::types()
{
	static const std::vector<std::string> names{"GetCameras", "CallPreset", "StorePreset", "Move", "Zoom", "Focus"};
	return names;
}

json CameraRequests::handle(const std::string &type, const json &data)
{
	if (!director)
		return refused(type, QStringLiteral("the controller is not running"));
	if (!data.is_object())
		return refused(type, QStringLiteral("the request data must be a JSON object"));
	if (type == "GetCameras")
		return cameras();
	if (type == "CallPreset")
		return presetRequest(*director, type, data, &CameraDirector::callPreset);
	if (type == "StorePreset")
		return presetRequest(*director, type, data, &CameraDirector::storePreset);
	if (type == "Move")
		return moveRequest(*director, type, data);
	if (type == "Zoom")
		return directionRequest(*director, type, data, &CameraDirector::zoom);
	if (type == "Focus")
		return directionRequest(*director, type, data, &CameraDirector::focus);
	return refused(type, QStringLiteral("unknown request type"));
}

json CameraRequests::cameras() const
{
	json list = json::array();
	for (const CameraDirector::CameraInfo &camera : director->cameras())
		list.push_back({{"slot", camera.slot},
				{"name", camera.name.toStdString()},
				{"address", camera.address.toStdString()},
				{"model", camera.model.toStdString()},
				{"connected", camera.connected}});
	return json{{"ok", true}, {"cameras", list}};
}
