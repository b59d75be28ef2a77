#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <optional>
#include <string>

// Settings the controller tried to store but could not, per settings file. Until a write succeeds they stand for
// the file, so the controller keeps behaving as stored until OBS closes. Shared by every thread: the UI thread
// reads and writes the settings, the relay's thread asks for the slots' addresses.
class UnsavedSettings {
public:
	// Keeps `object`, serialized as `content`, for the file at `path`. True when nothing was kept for it before:
	// a failure episode begins.
	static bool keep(const QString &path, const QJsonObject &object, const QByteArray &content);
	// Forgets what was kept for `path`, now that the file holds the settings. True when something was kept.
	static bool forget(const QString &path);

	// The keys the unwritten changes set, an undefined value for a key they removed. Another program may write
	// the file meanwhile: the next write lays these over the file as it stands then, rather than replacing its
	// keys with the kept object's. Added only while an object is kept; forget() drops them too.
	using Changes = QHash<QString, QJsonValue>;
	static void addChanges(const QString &path, const Changes &changes);
	static Changes changes(const QString &path);

	static std::optional<QJsonObject> object(const QString &path);
	// The files for which something is kept.
	static QStringList paths();
	// The text that could not be written, for readers that parse the file on their own.
	static std::optional<std::string> content(const std::string &path);
};
