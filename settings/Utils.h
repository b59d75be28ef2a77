#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

#include <functional>
#include <string>

// Static helpers shared by the dialogs: where the settings live, reading and writing the settings file, the
// shared warning box, and ordering a capability value list by value.
class Utils : public QObject {
	Q_OBJECT

public:
	static constexpr const char *kSettingsFileName = "KavrenOBSPlugin.json";

	static QString getAppDataPath();
	static QString settingsFilePath(const QString &directory);
	// Reads the settings object, opening the file read-only; a missing file is created empty when the directory
	// allows it. False when the directory cannot be made or the file cannot be opened; a file that holds no JSON
	// object reads as an empty object (and is kept aside before the next write replaces it). While the last
	// write failed, the object that write held is read instead of the file.
	static bool readJSONFromFile(QJsonObject &object, QString directory);
	// The file's bytes as they are on disk, whatever a failed write kept in memory; the file and its folder are
	// made as for readJSONFromFile, and false means the same.
	static bool readSettingsContent(QByteArray &content, const QString &directory);
	// The settings object in a file's bytes; no JSON object (said in a warning naming `path`) reads as none.
	static QJsonObject parseSettingsContent(const QByteArray &content, const QString &path);
	// The bytes a settings object is stored as.
	static QByteArray settingsContent(const QJsonObject &object);
	// Writes the settings object atomically: a crash or a full disk leaves the previous file intact. A write that
	// fails keeps the object in memory, for every read, until a later write succeeds. `written`, when given,
	// receives the bytes stored.
	static bool writeJSONToFile(QJsonObject &object, QString directory, QByteArray *written = nullptr);
	// Keeps settings that could not be written for `reason` other than a failed write, as a failed write does.
	static void keepUnwritten(const QJsonObject &object, const QString &directory, const QString &reason);

	// Told once per failure episode, on the application's (UI) thread whichever thread wrote: the first failed
	// write since the file was last written (or since start), with the file's path and why. Null stops telling.
	using WriteFailureReporter = std::function<void(const QString &path, const QString &reason)>;
	static void setWriteFailureReporter(WriteFailureReporter reporter);
	// Told when a write succeeds after a failed one, on the application's thread: the file holds the settings
	// again.
	using WriteRecoveryReporter = std::function<void(const QString &path)>;
	static void setWriteRecoveryReporter(WriteRecoveryReporter reporter);

	// A modal box for the operator. The widgets layer shows it (ui/ModalBox installs the presenter), so this
	// library needs no widgets; without a presenter, as for command-line users, the log alone tells.
	struct Box {
		QString title;
		QString text;
		bool warning = false; // a warning icon and an explicit OK button
	};
	using BoxPresenter = std::function<void(const Box &box)>;
	static void setBoxPresenter(BoxPresenter presenter);
	static void presentBox(const Box &box);
	// The shared warning box: modal, no parent, stays on top, warning icon, the product name as title, default
	// OK button.
	static void showErrorMessage(QString text);

	static QList<std::string> sortMapByValue(QMap<std::string, int> &map);
};
