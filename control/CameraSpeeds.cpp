#include "control/CameraSpeeds.h"

#include "camera/viscaGeneralOps.h"
#include "settings/Utils.h"

#include <algorithm>
#include <string>

namespace {

int clamp(int value, int minimum, int maximum)
{
	return value > maximum ? maximum : std::max(value, minimum);
}

} // namespace

QString CameraSpeeds::storedText(const QJsonObject &settings, const QString &prefix, const Setting &setting)
{
	const QString key = prefix + QLatin1String(setting.key);
	return settings.contains(key) ? settings.value(key).toString() : QString::fromLatin1(setting.defaultText);
}

CameraSpeeds CameraSpeeds::stored(const QJsonObject &settings, const QString &prefix, const viscaGeneralOps &ops)
{
	CameraSpeeds speeds;
	speeds.pan = clamp(storedText(settings, prefix, kPan).toInt(), ops.panSpeedMin(), ops.panSpeedMax());
	speeds.tilt = clamp(storedText(settings, prefix, kTilt).toInt(), ops.tiltSpeedMin(), ops.tiltSpeedMax());
	speeds.zoom = clamp(storedText(settings, prefix, kZoom).toInt(), ops.zoomSpeedMin(), ops.zoomSpeedMax());
	speeds.focus = clamp(storedText(settings, prefix, kFocus).toInt(), ops.focusSpeedMin(), ops.focusSpeedMax());

	QMap<std::string, int> presetSpeeds = ops.memorySpeedMap;
	const QList<std::string> names = Utils::sortMapByValue(presetSpeeds);
	const QString key = prefix + QLatin1String(kPresetSpeedKey);
	const std::string chosen = settings.contains(key) ? settings.value(key).toString().toStdString()
				   : names.size() > kDefaultPresetSpeedIndex ? names.at(kDefaultPresetSpeedIndex)
									     : std::string();
	speeds.presetSpeed = presetSpeeds.value(chosen, -1);
	return speeds;
}
