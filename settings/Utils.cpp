#include "settings/Utils.h"

#include "settings/OperatorBox.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsStorage.h"
#include "settings/ValueOrder.h"

#include <optional>
#include <utility>

QString Utils::getAppDataPath()
{
	return SettingsStorage::defaultDirectory();
}

bool Utils::readJSONFromFile(QJsonObject &object, QString directory)
{
	std::optional<QJsonObject> settings = SettingsFile::tryRead(directory);
	if (!settings)
		return false;
	object = std::move(*settings);
	return true;
}

bool Utils::writeJSONToFile(QJsonObject &object, QString directory)
{
	return SettingsStorage::write(object, directory);
}

void Utils::showErrorMessage(QString text)
{
	OperatorBox::warn(text);
}

QList<std::string> Utils::sortMapByValue(QMap<std::string, int> &map)
{
	return ValueOrder::keysByValue(map);
}
