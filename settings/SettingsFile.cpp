#include "settings/SettingsFile.h"

QString SettingsFile::slotName(int slot)
{
	return QStringLiteral("Camera%1").arg(slot);
}

QString SettingsFile::addressKey(const QString &slotName)
{
	return slotName + QStringLiteral("IP");
}

QString SettingsFile::nickNameKey(const QString &slotName)
{
	return slotName + QStringLiteral("NickName");
}

QString SettingsFile::addressKey(int slot)
{
	return addressKey(slotName(slot));
}

QJsonObject SettingsFile::read(const QString &directory)
{
	QJsonObject settings;
	if (!Utils::readJSONFromFile(settings, directory))
		return QJsonObject();
	return settings;
}

SettingsFile::Outcome SettingsFile::update(const std::function<bool(QJsonObject &settings)> &change,
					   const QString &directory)
{
	QJsonObject settings;
	if (!Utils::readJSONFromFile(settings, directory))
		return Outcome::NotRead;
	if (!change(settings))
		return Outcome::Unchanged;
	return Utils::writeJSONToFile(settings, directory) ? Outcome::Written : Outcome::NotWritten;
}

bool SettingsFile::updateLogged(Category category, const std::function<void(QJsonObject &settings)> &change,
				const QString &directory)
{
	const Outcome outcome = update(
		[&change](QJsonObject &settings) {
			change(settings);
			return true;
		},
		directory);
	if (outcome == Outcome::NotRead)
		qCDebug(category) << "It's failed to read JSON file.";
	else if (outcome == Outcome::NotWritten)
		qCDebug(category) << "It's failed to write JSON file.";
	return outcome == Outcome::Written;
}
