#pragma once

// Shared fixture of the controller window tests: the shipped English locale as the text table (every key the
// window asks for must be in it), the settings file in a temporary home, answered modal boxes and in-process
// simulated cameras.

#include "CapturedLog.h"
#include "ReceivedCommands.h"
#include "SettingsHome.h"
#include "ShippedLocale.h"
#include "camera/viscaGeneralOps.h"
#include "settings/Utils.h"
#include "sim/CameraSimulator.h"
#include "ControlledWindow.h"
#include "ui/MainDialog.h"
#include "ui/ModalBox.h"
#include "settings/ModuleText.h"

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
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace MainDialogTest {

// Keys that were looked up but are not in the locale file, from code and from forms alike.
inline QSet<QString> &missingKeys()
{
	static QSet<QString> missing;
	return missing;
}

// The relay of every window made from now on listens on ephemeral loopback ports, away from a running OBS's.
inline void useLoopbackRelay()
{
	ViscaTransfer::Options relay;
	relay.listenAddress = QHostAddress::LocalHost;
	relay.tcpPort = 0;
	relay.udpAddress = QHostAddress::LocalHost;
	relay.udpPort = 0;
	ControlledWindowSupport::options().relay = relay;
}

// Fails the running test when a key was looked up that the locale file lacks, naming them all, sorted. Called
// once the test has shown everything it shows, so that every text of its windows was looked up.
inline void verifyEveryLookedUpKeyIsInTheLocale()
{
	QStringList missing = missingKeys().values();
	missing.sort();
	QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QLatin1String(", "))));
}

// Installs the shipped locale file, collecting every key that is looked up but missing from it, and keeps the
// windows' relays on loopback.
inline bool loadWindowLocale()
{
	if (!loadLocale())
		return false;
	localeTable().setMissHandler([](const char *key) { missingKeys().insert(QString::fromUtf8(key)); });
	useLoopbackRelay();
	return true;
}

// The child of `parent` named `name`; a test that asks for a control the window lacks stops there.
template <typename T>
T *namedChild(const QObject *parent, const QString &name)
{
	T *found = parent->findChild<T *>(name);
	if (!found)
		qFatal("missing child %s", qPrintable(name));
	return found;
}

template <typename T>
T *namedChild(const QObject *parent, const char *name)
{
	return namedChild<T>(parent, QString::fromLatin1(name));
}

// Clicks a slot of the window and waits until the window is done with the click and the camera's worker has sent
// what the connect queued (the stored speeds); whether the slot ended up in use.
inline bool cameraSettled(const MainDialog *dialog);
inline bool connectSlot(MainDialog *dialog, int slot)
{
	auto *slotButton = namedChild<QPushButton>(dialog, QStringLiteral("Camera%1Button").arg(slot));
	QTest::mouseClick(slotButton, Qt::LeftButton);
	return QTest::qWaitFor([dialog]() { return dialog->connectingSlotNumber() == 0; }, 10000) &&
	       slotButton->isChecked() && cameraSettled(dialog);
}

// The settings file's bytes, for tests that write one no JSON writer would make or compare it byte for byte.
inline bool writeSettingsText(const QByteArray &text)
{
	QFile file(SettingsStorage::filePath(Utils::getAppDataPath()));
	return QDir().mkpath(Utils::getAppDataPath()) && file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
	       file.write(text) == text.size();
}

inline QByteArray settingsText()
{
	QFile file(SettingsStorage::filePath(Utils::getAppDataPath()));
	return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A fresh settings folder: neither the folder nor a plain file in its place is left.
inline void removeSettings()
{
	QDir(Utils::getAppDataPath()).removeRecursively();
	QFile::remove(Utils::getAppDataPath());
}

// A plain file where the settings folder belongs: the settings can be neither read nor written.
inline bool blockSettings()
{
	removeSettings();
	QFile blocker(Utils::getAppDataPath());
	return QDir().mkpath(QFileInfo(Utils::getAppDataPath()).path()) && blocker.open(QIODevice::WriteOnly);
}

// Texts of the modal boxes the window raised, answered at once.
inline QStringList &boxTexts()
{
	static QStringList texts;
	return texts;
}

using ::SettingsHome;

inline void installModalAnswerer()
{
	ModalBox::setAnswerer([](QMessageBox &box) { boxTexts() << box.text(); });
}

inline std::unique_ptr<CameraSimulator> startCamera(const char *address, const char *model)
{
	return startSimulatedCamera(QString::fromLatin1(address), QString::fromLatin1(model), 52381);
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
	if (!dialog->controller()->cameraInUse()->drive(CameraCommands::focusStop(), 0, CameraCaller{}))
		return false;
	return QTest::qWaitFor(
		[&]() {
			QStringList commands = commandPayloads(camera);
			commands.removeDuplicates();
			return commands == QStringList{marker};
		},
		10000);
}

// A list of payloads as one text, so a failed comparison shows what was sent.
inline QString sent(const QStringList &list)
{
	return list.join(QLatin1Char(' '));
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
