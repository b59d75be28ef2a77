#pragma once

// Shared fixture of the controller window tests: the shipped English locale as the text table (every key the
// window asks for must be in it), the settings file in a temporary home, answered modal boxes, collected debug
// lines and in-process simulated cameras.

#include "camera/viscaGeneralOps.h"
#include "settings/Utils.h"
#include "sim/CameraSimulator.h"
#include "ui/LocaleTable.h"
#include "ui/MainDialog.h"
#include "ui/ModalBox.h"
#include "ui/ModuleText.h"

#include <QApplication>
#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace MainDialogTest {

// The locale file the module ships; every key looked up but missing from it is collected.
inline LocaleTable &localeTable()
{
	static LocaleTable table;
	return table;
}

// Keys that were looked up but are not in the locale file, from code and from forms alike.
inline QSet<QString> &missingKeys()
{
	static QSet<QString> missing;
	return missing;
}

inline QString localeText(const char *key)
{
	return localeTable().text(key);
}

// Loads the shipped locale file and installs it as the host would: code lookups, profile labels and form texts.
// The relay of every window listens on ephemeral loopback ports, away from a running OBS's.
inline bool loadLocale()
{
	if (!localeTable().load(QStringLiteral(KAVREN_SOURCE_DIR "/data/locale/en-US.ini")))
		return false;
	localeTable().setMissHandler([](const char *key) { missingKeys().insert(QString::fromUtf8(key)); });
	localeTable().install();

	ViscaTransfer::Options relay;
	relay.listenAddress = QHostAddress::LocalHost;
	relay.tcpPort = 0;
	relay.udpAddress = QHostAddress::LocalHost;
	relay.udpPort = 0;
	MainDialog::setRelayOptions(relay);
	return true;
}

// Debug lines written while a test runs (the window reports refused scene names and settings trouble there).
// Other messages go on to the test framework's own handler.
struct DebugLines {
	QMutex mutex;
	QStringList lines;
	QtMessageHandler previous = nullptr;
};

inline DebugLines &debugLog()
{
	static DebugLines log;
	return log;
}

inline void collectDebugLines(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
	if (type == QtDebugMsg) {
		QMutexLocker lock(&debugLog().mutex);
		debugLog().lines << message;
		return;
	}
	if (debugLog().previous)
		debugLog().previous(type, context, message);
}

inline void startCollectingDebugLines()
{
	debugLog().previous = qInstallMessageHandler(collectDebugLines);
}

inline QStringList takeDebugLines()
{
	QMutexLocker lock(&debugLog().mutex);
	QStringList lines;
	lines.swap(debugLog().lines);
	return lines;
}

// Texts of the modal boxes the window raised, answered at once.
inline QStringList &boxTexts()
{
	static QStringList texts;
	return texts;
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

inline void installModalAnswerer()
{
	ModalBox::setAnswerer([](QMessageBox &box) { boxTexts() << box.text(); });
}

inline std::unique_ptr<CameraSimulator> startCamera(const char *address, const char *model)
{
	CameraSimulator::Options options;
	options.address = QHostAddress(QString::fromLatin1(address));
	options.port = 52381;
	options.model = QString::fromLatin1(model);
	auto camera = std::make_unique<CameraSimulator>(options);
	QString error;
	if (!camera->start(&error))
		qWarning("camera simulator at %s did not start: %s", address, qPrintable(error));
	return camera;
}

// The simulated camera runs on a thread of its own; on a loaded machine it may still be taking in datagrams that
// the link already gave up waiting for. It is let catch up before a test starts counting what it receives.
inline void clearWhenQuiet(CameraSimulator &camera)
{
	int seen = -1;
	for (int round = 0; round < 40 && camera.received().size() != seen; ++round) {
		seen = camera.received().size();
		QTest::qWait(25);
	}
	camera.clearReceived();
}

// Waits until the camera worker of the window's camera in use has run everything it was given, and the answers it
// sent back reached the window.
inline bool cameraSettled(const MainDialog *dialog)
{
	CameraWorker *worker = dialog->activeCameraWorker();
	if (worker && !QTest::qWaitFor([worker]() { return worker->isIdle(); }, 15000))
		return false;
	QCoreApplication::processEvents();
	return true;
}

// Shows that a camera received nothing more: a marker command is sent through the window, and it is the only
// thing the camera got since its record was last cleared.
inline bool onlyMarkerArrives(MainDialog *dialog, const CameraSimulator &camera)
{
	const QString marker = QStringLiteral("8101040800ff"); // focus stop: changes nothing on the camera
	if (!dialog->setCommand(CameraCommands::focusStop(), 0))
		return false;
	QByteArray previous;
	return QTest::qWaitFor(
		[&]() {
			QStringList commands;
			for (const QByteArray &datagram : camera.received())
				if (datagram.size() > 8 && quint8(datagram.at(1)) == 0x00)
					commands << QString::fromLatin1(datagram.mid(8).toHex());
			commands.removeDuplicates();
			return commands == QStringList{marker};
		},
		10000);
}

// VISCA payloads (header stripped) of what a camera received, as lower-case hex; commands only or all. Against a
// camera that answers, every request goes out once, so a resend shows as the same payload twice.
inline QStringList payloads(const CameraSimulator &camera, bool commandsOnly = true)
{
	QStringList list;
	for (const QByteArray &datagram : camera.received()) {
		if (datagram.size() <= 8)
			continue;
		const bool command = quint8(datagram.at(1)) == 0x00;
		if (commandsOnly && !command)
			continue;
		list << QString::fromLatin1(datagram.mid(8).toHex());
	}
	return list;
}

// A list of payloads as one text, so a failed comparison shows what was sent.
inline QString sent(const QStringList &list)
{
	return list.join(QLatin1Char(' '));
}

inline QStringList withPrefix(const QStringList &list, const QString &prefix)
{
	QStringList found;
	for (const QString &entry : list)
		if (entry.startsWith(prefix))
			found << entry;
	return found;
}

// A profile directory holding one model's profile, changed by `edit`, for models the shipped profiles lack.
template <typename Edit>
inline bool writeProfile(const QString &dir, const QString &sourceModel, const QString &targetModel, Edit edit)
{
	QFile source(QStringLiteral(KAVREN_SOURCE_DIR "/data/ini/") + sourceModel + QStringLiteral(".ini"));
	if (!source.open(QIODevice::ReadOnly))
		return false;
	QJsonObject profile = QJsonDocument::fromJson(source.readAll()).object();
	edit(profile);
	QFile target(dir + QLatin1Char('/') + targetModel + QStringLiteral(".ini"));
	if (!target.open(QIODevice::WriteOnly | QIODevice::Truncate))
		return false;
	return target.write(QJsonDocument(profile).toJson()) > 0;
}

// A label -> value list as the profiles write it: [{"label": "hex"}, ...].
inline QJsonArray profileList(const QList<std::pair<const char *, const char *>> &entries)
{
	QJsonArray list;
	for (const auto &entry : entries)
		list.append(QJsonObject{{QString::fromLatin1(entry.first), QString::fromLatin1(entry.second)}});
	return list;
}

} // namespace MainDialogTest
