#pragma once

#include "settings/Utils.h"

#include <QJsonObject>
#include <QLoggingCategory>
#include <QString>

#include <functional>

// The settings file as the rest of the product uses it: the keys more than one part reads, and the one
// read-modify-write every change goes through, so no change can lose another's keys.
namespace SettingsFile {

// The slot keys: "Camera<n>IP" holds the address of slot n (1..8), "Camera<n>NickName" its caption. A slot's name
// is "Camera<n>".
QString slotName(int slot);
QString addressKey(const QString &slotName);
QString nickNameKey(const QString &slotName);
QString addressKey(int slot);
// Whether the camera hotkeys are switched on.
constexpr const char *kHotKeyKey = "hotKey";

// The settings as they are now; a file that cannot be read reads as no settings.
QJsonObject read(const QString &directory = Utils::getAppDataPath());

enum class Outcome { Written, NotRead, Unchanged, NotWritten };
// Reads the settings, lets `change` edit them and writes them back when it returns true. Nothing is written when
// the file cannot be read: a write would replace what could not be read.
Outcome update(const std::function<bool(QJsonObject &settings)> &change,
	       const QString &directory = Utils::getAppDataPath());

// update() whose failures are debug lines of `category`; true when the settings were written.
using Category = const QLoggingCategory &(*)();
bool updateLogged(Category category, const std::function<void(QJsonObject &settings)> &change,
		  const QString &directory = Utils::getAppDataPath());

} // namespace SettingsFile
