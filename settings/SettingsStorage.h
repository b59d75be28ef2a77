#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <functional>

// The settings file on disk: where it lives, its bytes, and the atomic write that either replaces it whole or
// keeps what could not be written in memory. SettingsFile reads and changes the settings through here; nothing
// else reads the file.
namespace SettingsStorage {

constexpr const char *kFileName = "KavrenOBSPlugin.json";

// The per-user folder the settings live in.
QString defaultDirectory();
QString filePath(const QString &directory);

// The file's bytes as they are on disk, whatever a failed write kept in memory. A missing file is created empty
// when the directory allows it. False when the directory cannot be made or the file cannot be opened.
bool readContent(QByteArray &content, const QString &directory);
// The settings object in a file's bytes; no JSON object (said in a warning naming `path`) reads as none.
QJsonObject parseContent(const QByteArray &content, const QString &path);
// The bytes a settings object is stored as.
QByteArray contentOf(const QJsonObject &object);

// Writes the settings object atomically: a crash or a full disk leaves the previous file intact. A write that
// fails keeps the object in memory (UnsavedSettings), for every read, until a later write succeeds. `written`,
// when given, receives the bytes stored.
bool write(const QJsonObject &object, const QString &directory, QByteArray *written = nullptr);
// Keeps settings that could not be written for `reason` other than a failed write, as a failed write does.
void keepUnwritten(const QJsonObject &object, const QString &directory, const QString &reason);

// Told once per failure episode, on the application's (UI) thread whichever thread wrote: the first failed write
// since the file was last written (or since start), with the file's path and why. Null stops telling.
using WriteFailureReporter = std::function<void(const QString &path, const QString &reason)>;
void setWriteFailureReporter(WriteFailureReporter reporter);
// Told when a write succeeds after a failed one, on the application's thread: the file holds the settings again.
using WriteRecoveryReporter = std::function<void(const QString &path)>;
void setWriteRecoveryReporter(WriteRecoveryReporter reporter);

} // namespace SettingsStorage
