#pragma once

// A test's settings file in a temporary home, away from the user's own.

#include "settings/Utils.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

// The settings live in a temporary home: test mode puts the application data below it.
class SettingsHome {
public:
	bool setUp()
	{
		if (!home.isValid())
			return false;
		qputenv("HOME", home.path().toUtf8());
		QStandardPaths::setTestModeEnabled(true);
		return Utils::getAppDataPath().startsWith(home.path());
	}
	static void write(const QJsonObject &settings)
	{
		QDir().mkpath(Utils::getAppDataPath());
		QFile file(Utils::settingsFilePath(Utils::getAppDataPath()));
		QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
		file.write(QJsonDocument(settings).toJson());
	}
	QString path() const { return home.path(); }
	static QJsonObject read()
	{
		QFile file(Utils::settingsFilePath(Utils::getAppDataPath()));
		if (!file.open(QIODevice::ReadOnly))
			return QJsonObject();
		return QJsonDocument::fromJson(file.readAll()).object();
	}

private:
	QTemporaryDir home;
};
