#pragma once

// A test's settings file in a temporary home, away from the user's own.

#include "settings/SettingsFile.h"
#include "settings/SettingsStorage.h"
#include "settings/Utils.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

// A file's bytes; empty when it cannot be read.
inline QByteArray fileContent(const QString &path)
{
	QFile file(path);
	return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes a file's whole content, as a hand edit or another program would.
inline void writeContent(const QString &path, const QByteArray &content)
{
	QFile file(path);
	QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
	file.write(content);
}

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
	// Written by hand, once the product's own writes are done.
	static void write(const QJsonObject &settings)
	{
		SettingsFile::finishWrites(10000);
		QDir().mkpath(Utils::getAppDataPath());
		writeContent(SettingsStorage::filePath(Utils::getAppDataPath()), QJsonDocument(settings).toJson());
	}
	QString path() const { return home.path(); }
	// The file as the product leaves it, once its writes are done.
	static QJsonObject read()
	{
		SettingsFile::finishWrites(10000);
		return QJsonDocument::fromJson(fileContent(SettingsStorage::filePath(Utils::getAppDataPath())))
			.object();
	}

private:
	QTemporaryDir home;
};
