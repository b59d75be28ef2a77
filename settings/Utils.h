#pragma once

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>

#include <string>

// The helpers the dialogs share, under the names they are known by: where the settings live, reading and writing
// the settings file, the shared warning box, and ordering a capability value list by value. Each only hands on to
// the place that owns it (SettingsStorage, SettingsFile, OperatorBox, ValueOrder).
class Utils {
public:
	static QString getAppDataPath();
	// The settings as SettingsFile::read() has them. False, with the object left as it was, when the directory
	// cannot be made or the file cannot be opened.
	static bool readJSONFromFile(QJsonObject &object, QString directory);
	// Replaces the settings file with `object` at once, atomically; false when it could not be written (the
	// object then stands for the file in every read until a later write succeeds).
	static bool writeJSONToFile(QJsonObject &object, QString directory);
	static void showErrorMessage(QString text);
	static QList<std::string> sortMapByValue(QMap<std::string, int> &map);
};
