#include "ui/GamepadTexts.h"

#include "integrations/GamepadLayout.h"
#include "settings/ModuleText.h"
#include "settings/SettingsFile.h"

namespace {

// The locale's word for one of SDL's names; a name newer than the locale is shown as SDL spells it.
QString standardName(const char *prefix, const QString &sdlName)
{
	const QByteArray key = prefix + sdlName.toLatin1();
	const QString text = ModuleText::text(key.constData());
	return text == QLatin1String(key) ? sdlName : text;
}

QString numbered(const char *key, int number)
{
	return ModuleText::text(key).arg(number);
}

QString cameraAction(int slot)
{
	const QString nickname =
		SettingsFile::read().value(SettingsFile::nickNameKey(SettingsFile::slotName(slot))).toString();
	if (nickname.isEmpty())
		return numbered("GamepadAction_selectCamera", slot);
	// One pass over the text: a caption that holds "%2" stays as it is.
	return ModuleText::text("GamepadAction_selectNamedCamera").arg(nickname, QString::number(slot));
}

} // namespace

QString GamepadTexts::axis(const GamepadLayout &layout, int axis)
{
	const QString name = layout.standard ? GamepadLayout::axisName(axis) : QString();
	return name.isEmpty() ? numbered("GamepadAxisN", axis) : standardName("GamepadAxis_", name);
}

QString GamepadTexts::button(const GamepadLayout &layout, int button)
{
	const QString name = layout.standard ? GamepadLayout::buttonName(button) : QString();
	return name.isEmpty() ? numbered("GamepadButtonN", button) : standardName("GamepadButton_", name);
}

QString GamepadTexts::action(const GamepadMapping::ActionBinding &binding)
{
	if (binding.action == OperatorAction::SelectCamera)
		return cameraAction(binding.argument);
	const QString text = GamepadMapping::actionText(binding);
	const QByteArray key = "GamepadAction_" + text.section(QLatin1Char(' '), 0, 0).toLatin1();
	const QString label = ModuleText::text(key.constData());
	return binding.argument ? label.arg(binding.argument) : label;
}

QString GamepadTexts::device(const GamepadInput::Device &device, int ordinal)
{
	return ordinal ? ModuleText::text("GamepadDeviceNth").arg(device.name, QString::number(ordinal)) : device.name;
}

QString GamepadTexts::absentDevice(const QString &guid, const QString &name)
{
	return name.isEmpty() ? ModuleText::text("GamepadAbsent").arg(guid)
			      : ModuleText::text("GamepadAbsentNamed").arg(name);
}

int GamepadTexts::actionGroup(OperatorAction action)
{
	switch (action) {
	case OperatorAction::SelectCamera:
	case OperatorAction::PreviousCamera:
	case OperatorAction::NextCamera:
		return 1;
	case OperatorAction::CallPreset:
	case OperatorAction::StorePreset:
		return 2;
	case OperatorAction::SpeedUp:
	case OperatorAction::SpeedDown:
		return 3;
	default:
		return 0; // the moves, the lens and home
	}
}
