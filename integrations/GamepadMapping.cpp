#include "integrations/GamepadMapping.h"

#include "integrations/IntegrationLog.h"
#include "settings/OutsideText.h"
#include "settings/SettingsFile.h"

#include <QLoggingCategory>

#include <functional>

namespace {

constexpr const char *kAxesKey = "GamepadAxes";
constexpr const char *kDeadZoneKey = "GamepadDeadZone";
constexpr const char *kButtonsKey = "GamepadButtons";
constexpr const char *kHatKey = "GamepadHat";

struct ActionName {
	OperatorAction action;
	const char *name;
	int firstArgument; // 0: takes none
	int lastArgument;
};

const ActionName kActionNames[] = {
	{OperatorAction::TiltUp, "tiltUp", 0, 0},
	{OperatorAction::TiltDown, "tiltDown", 0, 0},
	{OperatorAction::PanLeft, "panLeft", 0, 0},
	{OperatorAction::PanRight, "panRight", 0, 0},
	{OperatorAction::ZoomIn, "zoomIn", 0, 0},
	{OperatorAction::ZoomOut, "zoomOut", 0, 0},
	{OperatorAction::ZoomStop, "zoomStop", 0, 0},
	{OperatorAction::FocusNear, "focusNear", 0, 0},
	{OperatorAction::FocusFar, "focusFar", 0, 0},
	{OperatorAction::FocusAuto, "focusAuto", 0, 0},
	{OperatorAction::Home, "home", 0, 0},
	{OperatorAction::SelectCamera, "selectCamera", 1, SettingsFile::kSlotCount},
	{OperatorAction::PreviousCamera, "previousCamera", 0, 0},
	{OperatorAction::NextCamera, "nextCamera", 0, 0},
	{OperatorAction::CallPreset, "callPreset", SettingsFile::kFirstPreset, SettingsFile::kLastPreset},
	{OperatorAction::StorePreset, "storePreset", SettingsFile::kFirstPreset, SettingsFile::kLastPreset},
	{OperatorAction::SpeedUp, "speedUp", 0, 0},
	{OperatorAction::SpeedDown, "speedDown", 0, 0},
};

const char *const kHatNames[GamepadMapping::kHatDirections] = {"up", "right", "down", "left"};

// Reads one table of actions ("index or direction name" -> action text) over its defaults; what cannot be used is
// named in `rejected`.
QMap<int, GamepadMapping::ActionBinding> readActions(const QJsonValue &value,
						     const QMap<int, GamepadMapping::ActionBinding> &defaults,
						     const std::function<int(const QString &)> &indexOf,
						     const char *key, QStringList &rejected)
{
	if (value.isUndefined())
		return defaults;
	if (!value.isObject()) {
		rejected << QString::fromLatin1(key);
		return defaults;
	}
	QMap<int, GamepadMapping::ActionBinding> actions;
	const QJsonObject table = value.toObject();
	for (auto it = table.begin(); it != table.end(); ++it) {
		const int index = indexOf(it.key());
		const auto action = GamepadMapping::actionNamed(it.value().toString());
		if (index < 0 || !action)
			rejected << QStringLiteral("%1.%2").arg(QLatin1String(key),
								QString::fromUtf8(OutsideText::quoted(it.key())));
		else
			actions.insert(index, *action);
	}
	return actions;
}

} // namespace

GamepadMapping GamepadMapping::defaults()
{
	GamepadMapping mapping;
	mapping.axes = {AxisBinding{0, false}, AxisBinding{1, true}, AxisBinding{3, true}, AxisBinding{}};
	// SDL's game controller buttons: A, B, X, Y, back, guide, start, left stick, right stick, shoulders, d-pad.
	mapping.buttons = {{0, {OperatorAction::CallPreset, 1}},
			   {1, {OperatorAction::CallPreset, 2}},
			   {2, {OperatorAction::CallPreset, 3}},
			   {3, {OperatorAction::CallPreset, 4}},
			   {5, {OperatorAction::Home, 0}},
			   {7, {OperatorAction::FocusAuto, 0}},
			   {9, {OperatorAction::ZoomOut, 0}},
			   {10, {OperatorAction::ZoomIn, 0}},
			   {11, {OperatorAction::SpeedUp, 0}},
			   {12, {OperatorAction::SpeedDown, 0}},
			   {13, {OperatorAction::PreviousCamera, 0}},
			   {14, {OperatorAction::NextCamera, 0}}};
	mapping.hat = {{int(HatDirection::Up), {OperatorAction::SpeedUp, 0}},
		       {int(HatDirection::Down), {OperatorAction::SpeedDown, 0}},
		       {int(HatDirection::Left), {OperatorAction::PreviousCamera, 0}},
		       {int(HatDirection::Right), {OperatorAction::NextCamera, 0}}};
	return mapping;
}

GamepadMapping GamepadMapping::stored(const QJsonObject &settings)
{
	GamepadMapping mapping = defaults();
	QStringList rejected;
	const QJsonValue axes = settings.value(QLatin1String(kAxesKey));
	if (!axes.isUndefined() && !axes.isObject())
		rejected << QString::fromLatin1(kAxesKey);
	for (int role = 0; role < kRoleCount; ++role) {
		const QString name = roleName(Role(role));
		const QJsonValue binding = axes.toObject().value(name);
		if (binding.isUndefined())
			continue;
		const QJsonValue axis = binding.toObject().value(QStringLiteral("axis"));
		const QJsonValue invert = binding.toObject().value(QStringLiteral("invert"));
		// An axis index is a small whole number; -1 leaves the role unbound.
		if (!axis.isDouble() || axis.toDouble() != double(axis.toInt()) || axis.toInt() < -1 ||
		    axis.toInt() > 255 || !(invert.isBool() || invert.isUndefined()))
			rejected << QStringLiteral("%1.%2").arg(QLatin1String(kAxesKey), name);
		else
			mapping.axes[role] = AxisBinding{axis.toInt(), invert.toBool()};
	}
	const QJsonValue deadZone = settings.value(QLatin1String(kDeadZoneKey));
	if (!deadZone.isUndefined()) {
		const int percent = deadZone.toInt(-1);
		if (!deadZone.isDouble() || percent < 0 || percent > kMaxDeadZonePercent)
			rejected << QString::fromLatin1(kDeadZoneKey);
		else
			mapping.deadZonePercent = percent;
	}
	mapping.buttons = readActions(
		settings.value(QLatin1String(kButtonsKey)), mapping.buttons,
		[](const QString &key) {
			bool ok = false;
			const int index = key.toInt(&ok);
			return ok && index >= 0 && index <= 255 ? index : -1;
		},
		kButtonsKey, rejected);
	mapping.hat = readActions(
		settings.value(QLatin1String(kHatKey)), mapping.hat,
		[](const QString &key) {
			for (int direction = 0; direction < kHatDirections; ++direction)
				if (key == QLatin1String(kHatNames[direction]))
					return direction;
			return -1;
		},
		kHatKey, rejected);
	if (!rejected.isEmpty())
		qCWarning(lcGamepad, "Gamepad settings that cannot be used were read as their defaults: %s",
			  qUtf8Printable(rejected.join(QStringLiteral(", "))));
	return mapping;
}

void GamepadMapping::store(QJsonObject &settings) const
{
	QJsonObject axisTable;
	for (int role = 0; role < kRoleCount; ++role)
		axisTable[roleName(Role(role))] = QJsonObject{{QStringLiteral("axis"), axes[role].axis},
							      {QStringLiteral("invert"), axes[role].invert}};
	QJsonObject buttonTable;
	for (auto it = buttons.begin(); it != buttons.end(); ++it)
		buttonTable[QString::number(it.key())] = actionText(it.value());
	QJsonObject hatTable;
	for (auto it = hat.begin(); it != hat.end(); ++it)
		hatTable[QLatin1String(kHatNames[it.key()])] = actionText(it.value());
	settings[QLatin1String(kAxesKey)] = axisTable;
	settings[QLatin1String(kDeadZoneKey)] = deadZonePercent;
	settings[QLatin1String(kButtonsKey)] = buttonTable;
	settings[QLatin1String(kHatKey)] = hatTable;
}

QString GamepadMapping::roleName(Role role)
{
	static const char *const names[kRoleCount] = {"pan", "tilt", "zoom", "focus"};
	return QLatin1String(names[int(role)]);
}

QString GamepadMapping::actionText(const ActionBinding &binding)
{
	for (const ActionName &entry : kActionNames)
		if (entry.action == binding.action)
			return entry.firstArgument
				       ? QStringLiteral("%1 %2").arg(QLatin1String(entry.name)).arg(binding.argument)
				       : QLatin1String(entry.name);
	return QString();
}

std::optional<GamepadMapping::ActionBinding> GamepadMapping::actionNamed(const QString &text)
{
	const QStringList words = text.split(QLatin1Char(' '));
	for (const ActionName &entry : kActionNames) {
		if (words.first() != QLatin1String(entry.name) || words.size() != (entry.firstArgument ? 2 : 1))
			continue;
		if (!entry.firstArgument)
			return ActionBinding{entry.action, 0};
		bool ok = false;
		const int argument = words.at(1).toInt(&ok);
		if (ok && argument >= entry.firstArgument && argument <= entry.lastArgument)
			return ActionBinding{entry.action, argument};
	}
	return std::nullopt;
}

QList<GamepadMapping::ActionBinding> GamepadMapping::allActions()
{
	QList<ActionBinding> actions;
	for (const ActionName &entry : kActionNames) {
		if (!entry.firstArgument)
			actions << ActionBinding{entry.action, 0};
		for (int argument = entry.firstArgument; entry.firstArgument && argument <= entry.lastArgument;
		     ++argument)
			actions << ActionBinding{entry.action, argument};
	}
	return actions;
}
