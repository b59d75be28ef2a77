// The relay as the controller runs it: its keys read from the settings file (a wrong type is logged and falls back
// to the default, the file untouched), "RelayEnabled" false binding nothing, the slots' addresses taken when told,
// a restart that does not wait for the old relay's clients, and the Relay dialog showing the stored keys and changing
// the running relay (clients closed with 1001, keys stored, the rest of the file kept).
#include "MainDialogTestSupport.h"
#include "RelayTestClient.h"
#include "TableRows.h"
#include "relay/RelayLog.h"
#include "relay/RelayService.h"
#include "settings/SettingsFile.h"
#include "ui/RelayDialog.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTcpServer>
#include <QtTest>

#include <poll.h>

#include <memory>

using namespace MainDialogTest;

namespace {

const QString kSlotCamera = QStringLiteral("127.0.0.61");
const QString kOtherCamera = QStringLiteral("127.0.0.62");

// The internet sockets this process holds, by inode: what a relay that listens adds. Other kinds are left out: a
// system library (Qt 6's proxy lookup through libproxy and D-Bus) opens its own on threads of its own, at any time.
QSet<QString> openInternetSockets()
{
	QSet<QString> internet;
	for (const char *table : {"tcp", "tcp6", "udp", "udp6"}) {
		QFile file(QStringLiteral("/proc/self/net/") + QLatin1String(table));
		if (!file.open(QIODevice::ReadOnly))
			continue;
		file.readLine(); // the column names
		while (!file.atEnd()) {
			const QList<QByteArray> fields = file.readLine().simplified().split(' ');
			if (fields.size() > 9)
				internet << QStringLiteral("socket:[%1]").arg(QString::fromLatin1(fields.at(9)));
		}
	}
	QSet<QString> sockets;
	const QDir fds(QStringLiteral("/proc/self/fd"));
	for (const QString &name : fds.entryList(QDir::System | QDir::NoDotAndDotDot)) {
		const QString target = QFileInfo(QFile::symLinkTarget(fds.filePath(name))).fileName();
		if (internet.contains(target))
			sockets << target;
	}
	return sockets;
}

// JSON written with single quotes, so that no raw string holds a "//" (moc would take it for a comment).
QByteArray json(const char *text)
{
	return QByteArray(text).replace('\'', '"');
}

// The relay's keys as the settings file holds them, and what is read from them (the origins one a word): a wrong type
// is logged and falls back to the default.
struct KeysRow {
	const char *name;
	const char *keys;
	bool enabled, localOnly, anyDestination;
	const char *origins;
	int warnings;
};
const KeysRow kKeyRows[] = {
	{"none: the defaults", "{}", true, false, false, "", 0},
	{"all set",
	 "{'RelayEnabled': false, 'RelayListen': 'local', 'RelayAnyDestination': true, "
	 "'RelayAllowedOrigins': ['http://a:1', 'https://b']}",
	 false, true, true, "http://a:1 https://b", 0},
	{"listen elsewhere", "{'RelayListen': 'everywhere'}", true, false, false, "", 1},
	{"a number among origins", "{'RelayAllowedOrigins': ['http://a:1', 5]}", true, false, false, "", 1},
	{"every key wrong",
	 "{'RelayEnabled': null, 'RelayListen': [], 'RelayAnyDestination': 'yes', 'RelayAllowedOrigins': {}, "
	 "'RelaySecret': 5}",
	 true, false, false, "", 5},
};

QString homeRequest(const QString &ip, quint16 port)
{
	return QStringLiteral("{\"ip\":\"%1\",\"port\":%2,\"data\":[1,0,0,5,0,0,0,1,129,1,6,4,255]}").arg(ip).arg(port);
}

// A zoom stop, which may go to a camera on air.
QString zoomStopRequest(const QString &ip, quint16 port)
{
	return QStringLiteral("{\"ip\":\"%1\",\"port\":%2,\"data\":[1,0,0,6,0,0,0,2,129,1,4,7,0,255]}")
		.arg(ip)
		.arg(port);
}

} // namespace

class tst_RelayService : public QObject {
	Q_OBJECT

	SettingsHome home;
	std::unique_ptr<CameraSimulator> slotCamera;
	std::unique_ptr<CameraSimulator> otherCamera;

	QString directory() const { return Utils::getAppDataPath(); }

	// Ephemeral ports; "all interfaces" is the IPv4 wildcard, so that "this computer only" shows in the address.
	static ViscaTransfer::Options baseOptions()
	{
		ViscaTransfer::Options options;
		options.listenAddress = QHostAddress(QHostAddress::AnyIPv4);
		options.tcpPort = 0;
		options.udpAddress = QHostAddress(QHostAddress::LocalHost);
		options.udpPort = 0;
		return options;
	}
	static ViscaTransfer *runningRelay(RelayService &service) { return service.findChild<ViscaTransfer *>(); }

private slots:
	void initTestCase()
	{
		QVERIFY(loadWindowLocale());
		QVERIFY(home.setUp());
		installModalAnswerer();
		CapturedLog::install();
		slotCamera = startCamera("127.0.0.61", "NX-B93K");
		otherCamera = startCamera("127.0.0.62", "NX-B93K");
	}
	void cleanupTestCase()
	{
		CapturedLog::uninstall();
		verifyEveryLookedUpKeyIsInTheLocale();
	}
	void init()
	{
		SettingsHome::write(QJsonObject{{QStringLiteral("Camera1IP"), kSlotCamera},
						{QStringLiteral("Camera1NickName"), QStringLiteral("Stage")}});
		CapturedLog::clear();
		boxTexts().clear();
		slotCamera->clearReceived();
		otherCamera->clearReceived();
	}

	void keysReadAsTheySay_data() { addTableRows(kKeyRows); }
	void keysReadAsTheySay()
	{
		const KeysRow &row = currentTableRow(kKeyRows);
		SettingsHome::write(QJsonDocument::fromJson(json(row.keys)).object());
		const QByteArray before = fileContent(SettingsStorage::filePath(directory()));

		const RelaySettings read = RelaySettings::read(directory());
		QCOMPARE(read.enabled, row.enabled);
		QCOMPARE(read.localOnly, row.localOnly);
		QCOMPARE(read.anyDestination, row.anyDestination);
		QCOMPARE(read.allowedOrigins,
			 QString::fromLatin1(row.origins).split(QLatin1Char(' '), Qt::SkipEmptyParts));
		QCOMPARE(CapturedLog::lines(QtWarningMsg).filter(QStringLiteral("Settings: Relay")).size(),
			 row.warnings);
		QCOMPARE(fileContent(SettingsStorage::filePath(directory())), before);
	}

	void switchedOffBindsNothing()
	{
		SettingsHome::write(
			QJsonObject{{QStringLiteral("RelayEnabled"), false}, {QStringLiteral("RelaySecret"), 5}});
		const QSet<QString> before = openInternetSockets();
		RelayService service(baseOptions(), directory());
		service.start();
		QVERIFY(!service.isListening());
		QVERIFY(!runningRelay(service));
		QVERIFY(!before.isEmpty()); // the simulated cameras' sockets: the list is read right
		QCOMPARE(openInternetSockets(), before);

		// Switched on, it serves nobody while its secret cannot be read, and leaves the secret as it is.
		RelaySettings on = service.settings();
		on.enabled = true;
		QVERIFY(service.change(on));
		QVERIFY(service.isListening());
		RelayTestClient client;
		client.resource = "/?secret=5";
		QVERIFY(!client.connect(service.tcpPort()));
		QCOMPARE(client.httpStatus(), 401);
		QCOMPARE(SettingsHome::read().value(QStringLiteral("RelaySecret")), QJsonValue(5));
	}

	void slotAddressesAreTakenWhenTold()
	{
		RelayService service(baseOptions(), directory());
		service.start();
		RelayTestClient client;
		QVERIFY(client.connect(service.tcpPort()));

		// Slot 2 gets the other camera; the relay does not read the settings for each request, it is told.
		SettingsHome::write(QJsonObject{{QStringLiteral("Camera2IP"), kOtherCamera}});
		client.send(homeRequest(kOtherCamera, otherCamera->port()));
		const QString refused = QStringLiteral("Refused to send to 127.0.0.62");
		QTRY_COMPARE(CapturedLog::lines(QtInfoMsg).filter(refused).size(), 1);
		// Any change of the settings through the product tells it.
		QVERIFY(SettingsFile::updateLogged(
			lcRelay,
			[](QJsonObject &settings) {
				settings[QStringLiteral("Camera2NickName")] = QStringLiteral("Balcony");
			},
			directory()));
		client.send(homeRequest(kOtherCamera, otherCamera->port()));
		QVERIFY(client.waitForMessages(3)); // the refusal, the acknowledge and the completion
		QVERIFY(client.messages().first().contains(QStringLiteral("not assigned to a camera slot")));
		QCOMPARE(otherCamera->received().size(), 1);

		// A camera live on program in Studio Mode takes its stops from other programs, not what changes its
		// shot.
		service.setLiveAddresses({kOtherCamera});
		client.send(homeRequest(kOtherCamera, otherCamera->port()));
		QTRY_COMPARE(CapturedLog::lines(QtInfoMsg)
				     .filter(QStringLiteral("Held back a command to 127.0.0.62"))
				     .size(),
			     1);
		client.send(zoomStopRequest(kOtherCamera, otherCamera->port()));
		QTRY_COMPARE(otherCamera->received().size(), 2);
		QCOMPARE(commandPayloads(*otherCamera).last(), QStringLiteral("8101040700ff"));
	}

	void restartDoesNotWaitForTheOldClients()
	{
		// A fixed TCP port, which the new relay takes while the old one still waits for its clients on it.
		ViscaTransfer::Options options = baseOptions();
		QTcpServer holder;
		QVERIFY(holder.listen(QHostAddress(QHostAddress::AnyIPv4), 0));
		options.tcpPort = holder.serverPort();
		holder.close();
		RelayService service(options, directory());
		service.start();
		// A peer that finishes its opening handshake and then ignores everything, the close frame included.
		QTcpSocket peer;
		peer.connectToHost(QHostAddress(QHostAddress::LocalHost), options.tcpPort);
		peer.write("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
			   "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
		QVERIFY(peer.waitForReadyRead(RelayTestClient::kWaitMs) && peer.readAll().startsWith("HTTP/1.1 101"));
		QTRY_COMPARE(service.clientCount(), 1);

		RelaySettings local = service.settings();
		local.localOnly = true;
		QVERIFY(service.change(local));
		pollfd hangUp{int(peer.socketDescriptor()), POLLRDHUP, 0};
		QCOMPARE(poll(&hangUp, 1, 0), 0);
		QCOMPARE(service.tcpPort(), options.tcpPort);
		RelayTestClient after;
		QVERIFY(after.connect(service.tcpPort()));
		after.send(homeRequest(kSlotCamera, slotCamera->port()));
		QVERIFY(after.waitForMessages(2));
		// The old relay lets go of the peer in the end, on a thread of its own.
		QCOMPARE(poll(&hangUp, 1, RelayTestClient::kWaitMs), 1);
	}

	void dialogShowsTheRelay()
	{
		SettingsHome::write(QJsonObject{
			{QStringLiteral("RelayListen"), QStringLiteral("local")},
			{QStringLiteral("RelayAnyDestination"), true},
			{QStringLiteral("RelayAllowedOrigins"), QJsonArray{QStringLiteral("http://localhost:8080"),
									   QStringLiteral("https://panel.example")}}});
		RelayService service(baseOptions(), directory());
		service.start();
		RelayDialog dialog(&service);
		QVERIFY(namedChild<QCheckBox>(&dialog, "RelayEnabledCheck")->isChecked());
		QVERIFY(namedChild<QRadioButton>(&dialog, "ListenLocalRadio")->isChecked());
		QVERIFY(namedChild<QRadioButton>(&dialog, "DestinationAnyRadio")->isChecked());
		QCOMPARE(namedChild<QPlainTextEdit>(&dialog, "OriginsEdit")->toPlainText(),
			 QStringLiteral("http://localhost:8080\nhttps://panel.example"));
	}

	void dialogSwitchesChangeTheRunningRelay_data()
	{
		QTest::addColumn<QString>("choice");
		QTest::newRow("off") << "RelayEnabledCheck";
		QTest::newRow("this computer only") << "ListenLocalRadio";
		QTest::newRow("any address") << "DestinationAnyRadio";
		QTest::newRow("a web page") << "OriginsEdit";
		QTest::newRow("a secret") << "SecretEdit";
	}
	void dialogSwitchesChangeTheRunningRelay()
	{
		QFETCH(QString, choice);
		RelayService service(baseOptions(), directory());
		service.start();
		RelayDialog dialog(&service);
		RelayTestClient before;
		QVERIFY(before.connect(service.tcpPort()));

		const QString page = QStringLiteral("http://localhost:8080");
		const bool secret = choice == QLatin1String("SecretEdit");
		if (choice == QLatin1String("RelayEnabledCheck"))
			namedChild<QCheckBox>(&dialog, "RelayEnabledCheck")->click();
		else if (choice == QLatin1String("OriginsEdit"))
			QTest::keyClicks(namedChild<QPlainTextEdit>(&dialog, "OriginsEdit"),
					 QStringLiteral("  ") + page);
		else if (secret)
			QTest::keyClicks(namedChild<QLineEdit>(&dialog, "SecretEdit"), QStringLiteral(" open sesame "));
		else
			namedChild<QRadioButton>(&dialog, choice)->click();
		QSignalSpy restarted(&service, &RelayService::restarted);
		namedChild<QPushButton>(&dialog, "ApplyButton")->click();
		QCOMPARE(restarted.size(), 1);
		QCOMPARE(before.waitForClose(), int(websocketpp::close::status::going_away));
		QVERIFY(boxTexts().isEmpty());

		// The keys are stored, every other key kept.
		const QJsonObject stored = SettingsHome::read();
		QCOMPARE(stored.value(QStringLiteral("Camera1NickName")).toString(), QStringLiteral("Stage"));
		QCOMPARE(stored.value(QStringLiteral("RelayEnabled")).toBool(),
			 choice != QLatin1String("RelayEnabledCheck"));
		QCOMPARE(stored.value(QStringLiteral("RelayListen")).toString(),
			 choice == QLatin1String("ListenLocalRadio") ? QStringLiteral("local") : QStringLiteral("all"));
		QCOMPARE(stored.value(QStringLiteral("RelayAnyDestination")).toBool(),
			 choice == QLatin1String("DestinationAnyRadio"));
		QCOMPARE(stored.value(QStringLiteral("RelayAllowedOrigins")).toArray(),
			 choice == QLatin1String("OriginsEdit") ? QJsonArray{page} : QJsonArray());
		QCOMPARE(stored.value(QStringLiteral("RelaySecret")).toString(), secret ? "open sesame" : "");

		// The running relay does as the dialog says; the address it reports is the one its socket is bound to.
		if (choice == QLatin1String("RelayEnabledCheck")) {
			QVERIFY(!runningRelay(service));
			return;
		}
		QCOMPARE(runningRelay(service)->listeningAddress().isLoopback(),
			 choice == QLatin1String("ListenLocalRadio"));
		RelayTestClient browser;
		QCOMPARE(browser.connect(service.tcpPort(), page.toStdString()),
			 choice == QLatin1String("OriginsEdit"));

		RelayTestClient stranger;
		QCOMPARE(stranger.connect(service.tcpPort()), !secret);

		// A camera outside the slots is reached with "any address" only; the slot's camera always is.
		RelayTestClient after;
		after.authorization = secret ? "Bearer open sesame" : "";
		QVERIFY(after.connect(service.tcpPort()));
		after.send(homeRequest(kOtherCamera, otherCamera->port()));
		after.send(homeRequest(kSlotCamera, slotCamera->port()));
		QVERIFY(slotCamera->waitForReceived(1, RelayTestClient::kWaitMs));
		QCOMPARE(receivedBeforeMarker(*otherCamera), choice == QLatin1String("DestinationAnyRadio") ? 1 : 0);
	}

	void unsavedSettingsStillApply()
	{
		// The settings folder cannot be made: a file stands where it would be.
		QTemporaryDir blocked;
		QFile obstacle(blocked.filePath(QStringLiteral("settings")));
		QVERIFY(obstacle.open(QIODevice::WriteOnly));
		obstacle.close();
		RelayService service(baseOptions(), obstacle.fileName() + QStringLiteral("/inside"));
		service.start();
		auto *dialog = new RelayDialog(&service);
		QPointer<QMessageBox> box;
		ModalBox::setAnswerer([&box](QMessageBox &shown) { boxTexts() << (box = &shown)->text(); });
		namedChild<QRadioButton>(dialog, "ListenLocalRadio")->click();
		namedChild<QPushButton>(dialog, "ApplyButton")->click();
		QCOMPARE(boxTexts(), QStringList({localeText("RelaySettingsNotSaved")}));
		QVERIFY(runningRelay(service)->listeningAddress().isLoopback());
		// Apply is over while its box is still open, so OBS may delete the dialog before the operator answers.
		QVERIFY(box);
		delete dialog;
		box->button(QMessageBox::Ok)->click();
		QTRY_VERIFY(!box);
		installModalAnswerer();
	}

	void settingsMenuOpensOneDialog()
	{
		ControlledWindow window;
		QAction *entry = window.findChild<QAction *>(QStringLiteral("RelayAction"));
		QVERIFY(entry);
		entry->trigger();
		entry->trigger();
		const QList<RelayDialog *> dialogs = window.findChildren<RelayDialog *>();
		QCOMPARE(dialogs.size(), 1);
		QVERIFY(dialogs.first()->isVisible());
	}
};

QTEST_MAIN(tst_RelayService)
#include "tst_RelayService.moc"
