#include "settings/PresetNames.h"

#include "settings/SettingsFile.h"
#include "settings/SettingsLog.h"

#include <QJsonValue>

namespace {

constexpr int kSharedPresets = 9;

QStringList namesIn(const QJsonObject &names, int count)
{
	QStringList read;
	for (int preset = PresetNames::kFirstPreset; preset <= PresetNames::kLastPreset; ++preset)
		read << (preset <= count ? names.value(QString::number(preset)).toString() : QString());
	return read;
}

} // namespace

QString PresetNames::key(int slot)
{
	return SettingsFile::slotName(slot) + QLatin1String("PresetNames");
}

QStringList PresetNames::read(const QJsonObject &settings, int slot)
{
	const QJsonValue own = slot > 0 ? settings.value(key(slot)) : QJsonValue(QJsonValue::Undefined);
	if (own.isObject())
		return namesIn(own.toObject(), kLastPreset);
	if (!own.isUndefined())
		qCWarning(lcSettings, "%s is not an object of preset names; the shared names are shown",
			  qUtf8Printable(key(slot)));
	return namesIn(settings, kSharedPresets);
}

QString PresetNames::caption(const QStringList &names, int preset)
{
	const QString name = names.value(preset - kFirstPreset);
	return name.isEmpty() ? QString::number(preset) : name;
}

void PresetNames::store(QJsonObject &settings, int slot, const QStringList &names)
{
	QJsonObject own;
	for (int preset = kFirstPreset; preset <= kLastPreset; ++preset) {
		const QString name = names.value(preset - kFirstPreset);
		if (!name.isEmpty())
			own[QString::number(preset)] = name;
	}
	settings[key(slot)] = own;
}
