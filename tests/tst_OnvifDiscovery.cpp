// The WS-Discovery client: answer parsing in the styles real cameras use, the Probe and its sends, the searches
// against scripted answerers and simulated fleets, and the command-line search. Every Probe goes to a loopback
// address named by KAVREN_DISCOVERY_ADDRESS; none may ever reach the broadcast or multicast address.

#include "discovery/OnvifDiscovery.h"

#include "CameraSimulator.h"
#include "SimFleet.h"

#include <QFileInfo>
#include <QMutex>
#include <QNetworkDatagram>
#include <QProcess>
#include <QThread>
#include <QUdpSocket>
#include <QUrl>
#include <QtTest>

#include <memory>

namespace {

// Addresses of this test: fleets of up to three cameras from 127.0.0.70; the discovery dialog's test uses
// 127.0.0.75 and up.
const char *const kFleetFirst = "127.0.0.70";
const char *const kScripted = "127.0.0.73";
const char *const kCounter = "127.0.0.74";

using CamInfoList = QList<QMap<QString, QString>>;

// A ProbeMatch as a camera of the given style writes it, trimmed to the parts that matter for parsing.
QString answer(const QString &prefix, const QString &xaddrs, const QString &scopes)
{
	return QStringLiteral(
		       "<?xml version=\"1.0\" encoding=\"UTF-8\"?><SOAP-ENV:Envelope "
		       "xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\" xmlns:%1=\"http://"
		       "schemas.xmlsoap.org/ws/2005/04/discovery\"><SOAP-ENV:Body><%1:ProbeMatches><%1:ProbeMatch>"
		       "<%1:Types>dn:NetworkVideoTransmitter</%1:Types><%1:Scopes>%3</%1:Scopes>"
		       "<%1:XAddrs>%2</%1:XAddrs><%1:MetadataVersion>1</%1:MetadataVersion></%1:ProbeMatch>"
		       "</%1:ProbeMatches></SOAP-ENV:Body></SOAP-ENV:Envelope>")
		.arg(prefix, xaddrs, scopes);
}

QString scopesWithName(const QString &name)
{
	return QStringLiteral("onvif://www.onvif.org/type/video_encoder onvif://www.onvif.org/name/") + name +
	       QStringLiteral(" onvif://www.onvif.org/hardware/PTZ onvif://www.onvif.org/location/city/studio");
}

QStringList flatten(const CamInfoList &list)
{
	QStringList out;
	for (const QMap<QString, QString> &camera : list) {
		if (camera.size() != 1)
			out << QStringLiteral("<%1 entries>").arg(camera.size());
		else
			out << camera.firstKey() + QLatin1Char('=') + camera.first();
	}
	return out;
}

// A discovery peer on its own thread: records every datagram that reaches it and answers each with the scripted
// datagrams, from its own address.
class ScriptedAnswerer : public QObject {
public:
	ScriptedAnswerer(const QHostAddress &address, QList<QByteArray> answers)
	    : m_address(address), m_answers(std::move(answers))
	{
	}
	~ScriptedAnswerer() override { stop(); }

	bool start()
	{
		m_thread.start();
		moveToThread(&m_thread);
		bool ok = false;
		QMetaObject::invokeMethod(
			this,
			[this, &ok]() {
				m_socket = new QUdpSocket(this);
				ok = m_socket->bind(m_address, OnvifDiscovery::kDiscoveryPort,
						    QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint);
				connect(m_socket, &QUdpSocket::readyRead, this, &ScriptedAnswerer::readPending);
			},
			Qt::BlockingQueuedConnection);
		return ok;
	}

	void stop()
	{
		if (!m_thread.isRunning())
			return;
		QMetaObject::invokeMethod(
			this,
			[this]() {
				delete m_socket;
				m_socket = nullptr;
				moveToThread(QCoreApplication::instance()->thread());
			},
			Qt::BlockingQueuedConnection);
		m_thread.quit();
		m_thread.wait();
	}

	QList<QByteArray> received() const
	{
		QMutexLocker lock(&m_mutex);
		return m_received;
	}

private:
	void readPending()
	{
		while (m_socket->hasPendingDatagrams()) {
			const QNetworkDatagram datagram = m_socket->receiveDatagram();
			{
				QMutexLocker lock(&m_mutex);
				m_received.append(datagram.data());
			}
			for (const QByteArray &a : std::as_const(m_answers))
				m_socket->writeDatagram(a, datagram.senderAddress(), quint16(datagram.senderPort()));
		}
	}

	const QHostAddress m_address;
	const QList<QByteArray> m_answers;
	QThread m_thread;
	QUdpSocket *m_socket = nullptr;
	mutable QMutex m_mutex;
	QList<QByteArray> m_received;
};

} // namespace

class tst_OnvifDiscovery : public QObject {
	Q_OBJECT

private:
	const QString toolPath = QStringLiteral(KAVREN_BINARY_DIR "/tools/kavren-visca");

	// Every search of this test goes to one loopback address; this refuses anything else before a Probe leaves.
	bool aimAt(const char *address)
	{
		qputenv(OnvifDiscovery::kAddressVariable, address);
		const QList<QHostAddress> destinations = OnvifDiscovery::probeDestinations();
		return destinations.size() == 1 && destinations.first().isLoopback();
	}

	std::unique_ptr<SimFleet> startFleet(const QList<SimFleet::Camera> &cameras)
	{
		SimFleet::Options options;
		options.cameras = cameras;
		auto fleet = std::make_unique<SimFleet>(options);
		QString error;
		if (!fleet->start(&error)) {
			qWarning() << "fleet did not start:" << error;
			return nullptr;
		}
		return fleet;
	}

private slots:
	void initTestCase()
	{
		// Before any client exists: no Probe of this test may leave the machine.
		QVERIFY(aimAt("127.0.0.71"));
		qputenv("KAVREN_PROFILE_DIR", KAVREN_SOURCE_DIR "/data/ini/");
	}

	void init() { QVERIFY(aimAt("127.0.0.71")); }

	void parseAnswer_data()
	{
		QTest::addColumn<QString>("text");
		QTest::addColumn<QString>("address");
		QTest::addColumn<QString>("name");

		const QString name = scopesWithName(QStringLiteral("PTZ-Camera-01"));
		QTest::newRow("d: IPv6 before IPv4") << answer("d",
							       "http://[fe80::2a57:beff:fe01:203]/onvif/device_service "
							       "http://192.168.1.20/onvif/device_service",
							       name)
						     << "192.168.1.20"
						     << "PTZ-Camera-01";
		QTest::newRow("wsdd: IPv4, new line, IPv6")
			<< answer("wsdd",
				  "http://10.0.0.7/onvif/device_service\n\thttp://[2001:db8::7]/onvif/device_service",
				  name)
			<< "10.0.0.7"
			<< "PTZ-Camera-01";
		QTest::newRow("tns: https with port first")
			<< answer("tns",
				  "https://172.16.4.9:443/onvif/device_service http://172.16.4.10/onvif/device_service",
				  name)
			<< "172.16.4.9"
			<< "PTZ-Camera-01";
		QTest::newRow("no prefix, port after host")
			<< answer("", "http://192.168.1.20:8080/onvif/device_service", name)
				   .replace("xmlns:=", "xmlns=")
				   .replace("<:", "<")
				   .replace("</:", "</")
			<< "192.168.1.20"
			<< "PTZ-Camera-01";
		QTest::newRow("host name before IPv4") << answer("d",
								 "http://cam-01.studio.example/onvif/device_service "
								 "http://192.168.7.1/onvif/device_service",
								 name)
						       << "192.168.7.1"
						       << "PTZ-Camera-01";
		QTest::newRow("host name only")
			<< answer("d", "http://cam-01.studio.example/onvif/device_service", name) << ""
			<< "PTZ-Camera-01";
		QTest::newRow("host name that starts like an address")
			<< answer("d", "http://10.0.0.5.example.com/onvif http://10.0.0.6/onvif", name) << "10.0.0.6"
			<< "PTZ-Camera-01";
		QTest::newRow("octet out of range skipped")
			<< answer("d", "http://192.168.1.300/onvif http://192.168.1.30/onvif", name) << "192.168.1.30"
			<< "PTZ-Camera-01";
		QTest::newRow("leading zeros are no dotted address")
			<< answer("d", "http://192.168.001.020/onvif", name) << ""
			<< "PTZ-Camera-01";
		QTest::newRow("broadcast and multicast hosts skipped")
			<< answer("d", "http://255.255.255.255/onvif http://239.255.255.250/ http://10.0.0.7/onvif",
				  name)
			<< "10.0.0.7"
			<< "PTZ-Camera-01";
		QTest::newRow("other scheme ignored")
			<< answer("d", "ftp://10.1.1.1/ http://10.1.1.2/onvif/device_service", name) << "10.1.1.2"
			<< "PTZ-Camera-01";
		QTest::newRow("closing tag with another prefix")
			<< QString(answer("d", "http://10.4.4.4/onvif", name)).replace("</d:XAddrs>", "</wsdd:XAddrs>")
			<< ""
			<< "PTZ-Camera-01";
		QTest::newRow("second XAddrs element holds the address")
			<< answer("d", "http://[2001:db8::1]/onvif", name) +
				   answer("d", "http://10.5.5.5/onvif/device_service", name)
			<< "10.5.5.5"
			<< "PTZ-Camera-01";
		QTest::newRow("whole name, not six characters")
			<< answer("d", "http://10.0.0.8/onvif",
				  QStringLiteral("onvif://www.onvif.org/name/PTZ-Camera-01"))
			<< "10.0.0.8"
			<< "PTZ-Camera-01";
		QTest::newRow("gSOAP Name/ scope")
			<< answer("wsdd", "http://10.0.0.9/onvif",
				  QStringLiteral("onvif://www.onvif.org/Name/Lobby onvif://www.onvif.org/hardware/X"))
			<< "10.0.0.9"
			<< "Lobby";
		QTest::newRow("scope in capitals")
			<< answer("d", "http://10.0.0.9/onvif", QStringLiteral("ONVIF://WWW.ONVIF.ORG/NAME/Hall"))
			<< "10.0.0.9"
			<< "Hall";
		QTest::newRow("percent-encoded name kept, further scope after it")
			<< answer("d", "http://10.0.0.10/onvif", scopesWithName(QStringLiteral("Front%20Cam")))
			<< "10.0.0.10"
			<< "Front%20Cam";
		QTest::newRow("no name scope gives no name")
			<< answer("d", "http://10.0.0.14/onvif",
				  QStringLiteral("onvif://www.onvif.org/type/ptz onvif://www.onvif.org/hardware/NX"))
			<< "10.0.0.14"
			<< "";
		QTest::newRow("empty name scope")
			<< answer("d", "http://10.0.0.15/onvif",
				  QStringLiteral("onvif://www.onvif.org/name/ onvif://www.onvif.org/hardware/NX"))
			<< "10.0.0.15"
			<< "";
		QTest::newRow("no XAddrs") << QStringLiteral("<d:ProbeMatch>%1</d:ProbeMatch>").arg(name) << ""
					   << "PTZ-Camera-01";
	}

	void parseAnswer()
	{
		QFETCH(QString, text);
		QFETCH(QString, address);
		QFETCH(QString, name);
		QCOMPARE(OnvifDiscovery::addressFromAnswer(text), address);
		QCOMPARE(OnvifDiscovery::nameFromAnswer(text), name);

		// An answer without a usable address adds no camera; one with an address adds exactly that camera.
		OnvifDiscovery client;
		client.fetchCamInfo(text);
		QCOMPARE(flatten(client.getCamInfoList()),
			 address.isEmpty() ? QStringList() : QStringList(address + QLatin1Char('=') + name));
	}

	void collect_data()
	{
		QTest::addColumn<QStringList>("answers");
		QTest::addColumn<QStringList>("expected");

		const QString a1 = answer("d", "http://10.0.0.1/onvif", scopesWithName("First"));
		const QString a1Renamed = answer("wsdd", "http://10.0.0.1/onvif", scopesWithName("Renamed"));
		const QString a2 = answer("tns", "http://10.0.0.2/onvif", scopesWithName("Second"));
		const QString noAddress = answer("d", "http://[2001:db8::3]/onvif", scopesWithName("Ghost"));
		QTest::newRow("same camera forty times")
			<< QStringList(QVector<QString>(40, a1).toList()) << QStringList{"10.0.0.1=First"};
		QTest::newRow("first answer wins over a later name")
			<< QStringList{a1, a1Renamed, a1} << QStringList{"10.0.0.1=First"};
		QTest::newRow("two cameras in order of first answer")
			<< QStringList{a2, a1, a2, a1} << QStringList{"10.0.0.2=Second", "10.0.0.1=First"};
		QTest::newRow("answers without an address skipped") << QStringList{noAddress, a1, noAddress, a2}
								    << QStringList{"10.0.0.1=First", "10.0.0.2=Second"};
		QTest::newRow("nothing usable")
			<< QStringList{noAddress, QString(), QStringLiteral("garbage")} << QStringList();
	}

	void collect()
	{
		QFETCH(QStringList, answers);
		QFETCH(QStringList, expected);
		OnvifDiscovery client;
		for (const QString &a : answers)
			client.fetchCamInfo(a);
		QCOMPARE(flatten(client.getCamInfoList()), expected);
	}

	void destinations_data()
	{
		QTest::addColumn<QByteArray>("setting");
		QTest::addColumn<QStringList>("expected");
		QTest::newRow("unset: broadcast and multicast")
			<< QByteArray() << QStringList{"255.255.255.255", "239.255.255.250"};
		QTest::newRow("loopback alone") << QByteArray("127.0.0.71") << QStringList{"127.0.0.71"};
		QTest::newRow("not an address: nothing") << QByteArray("camera.local") << QStringList();
		QTest::newRow("IPv6: nothing") << QByteArray("::1") << QStringList();
	}

	void destinations()
	{
		QFETCH(QByteArray, setting);
		QFETCH(QStringList, expected);
		QStringList got;
		for (const QHostAddress &a : OnvifDiscovery::probeDestinations(setting))
			got << a.toString();
		QCOMPARE(got, expected);
	}

	void environmentReplacesNetworkDestinations()
	{
		const QList<QHostAddress> destinations = OnvifDiscovery::probeDestinations();
		QCOMPARE(destinations, QList<QHostAddress>{QHostAddress(QStringLiteral("127.0.0.71"))});
		QVERIFY(!destinations.contains(QHostAddress(QHostAddress::Broadcast)));
		QVERIFY(!destinations.contains(QHostAddress(QStringLiteral("239.255.255.250"))));
	}

	void probesFortyTimesWithAnIdPerSearch()
	{
		QVERIFY(aimAt(kCounter));
		QUdpSocket receiver;
		QVERIFY(receiver.bind(QHostAddress(QString::fromLatin1(kCounter)), OnvifDiscovery::kDiscoveryPort,
				      QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
		QString previousId;
		for (int search = 0; search < 2; ++search) {
			OnvifDiscovery client;
			client.discovery();
			QVERIFY(client.getCamInfoList().isEmpty());
			// The search is over and loopback delivers a datagram before its send returns: all are here.
			QStringList ids;
			while (receiver.hasPendingDatagrams()) {
				const QByteArray probe = receiver.receiveDatagram().data();
				QString id;
				QVERIFY(SimDiscoveryResponder::isProbe(probe, &id));
				QCOMPARE(probe, OnvifDiscovery::probeMessage(id));
				ids << id;
			}
			// The repeats of one message under one ID, the next search under another.
			QCOMPARE(ids,
				 QStringList(QVector<QString>(OnvifDiscovery::kProbeCount, ids.value(0)).toList()));
			QVERIFY(ids.first().startsWith(QLatin1String("urn:uuid:")) && ids.first() != previousId);
			previousId = ids.first();
		}
	}

	void receivesWholeDatagrams_data()
	{
		QTest::addColumn<QByteArray>("datagram");
		QTest::addColumn<QStringList>("expected");

		QByteArray padded =
			answer("d", "http://10.9.0.1/onvif/device_service", scopesWithName("Late-Name")).toLatin1();
		// A full namespace map before the body pushes the scopes and XAddrs past 4000 bytes.
		padded.replace("<SOAP-ENV:Body>", QByteArray(4200, ' ') + "<SOAP-ENV:Body>");
		QTest::newRow("answer over 4000 bytes") << padded << QStringList{"10.9.0.1=Late-Name"};

		QByteArray huge = padded;
		huge.replace("<SOAP-ENV:Body>", QByteArray(60000, ' ') + "<SOAP-ENV:Body>");
		QTest::newRow("answer near 64 KiB") << huge << QStringList{"10.9.0.1=Late-Name"};

		const QByteArray plain =
			answer("wsdd", "http://10.9.0.2/onvif/device_service", scopesWithName("Side")).toLatin1();
		QByteArray nulAfter = plain + QByteArray(1, '\0') + "<wsdd:XAddrs>http://10.9.9.9/</wsdd:XAddrs>";
		QTest::newRow("text after a NUL ignored") << nulAfter << QStringList{"10.9.0.2=Side"};
		QByteArray nulBefore = plain;
		nulBefore.insert(plain.indexOf("<wsdd:XAddrs>"), '\0');
		QTest::newRow("NUL before XAddrs: no camera") << nulBefore << QStringList();
		QByteArray latin1 = plain;
		latin1.replace("name/Side", "name/C\xe1mara");
		QTest::newRow("bytes taken as Latin-1")
			<< latin1 << QStringList{QStringLiteral("10.9.0.2=C\u00e1mara")};
	}

	void receivesWholeDatagrams()
	{
		QFETCH(QByteArray, datagram);
		QFETCH(QStringList, expected);
		QVERIFY(aimAt(kScripted));
		ScriptedAnswerer answerer(QHostAddress(QString::fromLatin1(kScripted)), {datagram});
		QVERIFY(answerer.start());
		OnvifDiscovery client;
		client.discovery();
		QTRY_COMPARE_WITH_TIMEOUT(answerer.received().size(), OnvifDiscovery::kProbeCount, 3000);
		answerer.stop();
		QCOMPARE(flatten(client.getCamInfoList()), expected);
	}

	void searchReplacesList()
	{
		QVERIFY(aimAt(kScripted));
		const QHostAddress at(QString::fromLatin1(kScripted));
		OnvifDiscovery client;
		{
			ScriptedAnswerer answerer(
				at, {answer("d", "http://10.8.0.1/onvif", scopesWithName("One")).toLatin1()});
			QVERIFY(answerer.start());
			client.discovery();
		}
		QCOMPARE(flatten(client.getCamInfoList()), QStringList{"10.8.0.1=One"});
		// Closed, the socket binds again with the next Probe, and the new search starts from an empty list.
		client.OVER();
		{
			ScriptedAnswerer answerer(
				at, {answer("d", "http://10.8.0.2/onvif", scopesWithName("Two")).toLatin1()});
			QVERIFY(answerer.start());
			client.discovery();
		}
		QCOMPARE(flatten(client.getCamInfoList()), QStringList{"10.8.0.2=Two"});
	}

	void simulatorFleet_data()
	{
		QTest::addColumn<QStringList>("models");
		QTest::addColumn<QStringList>("names");
		QTest::addColumn<int>("probed"); // index of the camera whose address the Probes go to

		QTest::newRow("three styles, first probed")
			<< QStringList{"NX-B93K", "NX-D26G", "NX-W38B"} << QStringList{"Left", "Centre", "Right"} << 0;
		QTest::newRow("last probed, names with spaces")
			<< QStringList{"NX-HX7", "NX-ZQ418", "NX-J57"} << QStringList{"Front Cam", "Back Cam", ""} << 2;
		QTest::newRow("single camera") << QStringList{"NX-F64"} << QStringList{"Solo"} << 0;
	}

	void simulatorFleet()
	{
		QFETCH(QStringList, models);
		QFETCH(QStringList, names);
		QFETCH(int, probed);

		QList<SimFleet::Camera> cameras =
			SimFleet::consecutive(models.size(), QHostAddress(QString::fromLatin1(kFleetFirst)), models);
		QStringList expected;
		for (int i = 0; i < cameras.size(); ++i) {
			cameras[i].name = names.at(i);
			// Names travel percent-encoded in the scope and are listed as they travel.
			const QString announced = names.at(i).isEmpty() ? models.at(i) : names.at(i);
			expected << cameras.at(i).address.toString() + QLatin1Char('=') +
					    QString::fromLatin1(QUrl::toPercentEncoding(announced, "-._~"));
		}
		auto fleet = startFleet(cameras);
		QVERIFY(fleet);
		QVERIFY(aimAt(qPrintable(cameras.at(probed).address.toString())));

		OnvifDiscovery client;
		client.discovery();
		QCOMPARE(flatten(client.getCamInfoList()), expected);
		// Only the probed camera heard the Probes; the others answered on its behalf.
		QTRY_COMPARE_WITH_TIMEOUT(fleet->camera(probed).probesReceived(), OnvifDiscovery::kProbeCount, 3000);
		QCOMPARE(fleet->probesReceived(), OnvifDiscovery::kProbeCount);
	}

	void fleetAnswersFromEachCamerasAddress()
	{
		auto fleet = startFleet(SimFleet::consecutive(3, QHostAddress(QString::fromLatin1(kFleetFirst))));
		QVERIFY(fleet);
		QUdpSocket prober;
		QVERIFY(prober.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0));
		const QString id = OnvifDiscovery::newMessageId();
		prober.writeDatagram(OnvifDiscovery::probeMessage(id), fleet->camera(1).address(),
				     OnvifDiscovery::kDiscoveryPort);
		QList<QNetworkDatagram> answers;
		for (int round = 0; round < 30 && answers.size() < fleet->size(); ++round) {
			if (!prober.hasPendingDatagrams())
				prober.waitForReadyRead(100);
			while (prober.hasPendingDatagrams())
				answers.append(prober.receiveDatagram());
		}
		QCOMPARE(answers.size(), fleet->size());
		for (int i = 0; i < answers.size(); ++i) {
			const QString text = QString::fromUtf8(answers.at(i).data());
			QCOMPARE(answers.at(i).senderAddress(), fleet->camera(i).address());
			QCOMPARE(answers.at(i).senderPort(), int(OnvifDiscovery::kDiscoveryPort));
			QCOMPARE(OnvifDiscovery::addressFromAnswer(text), fleet->camera(i).address().toString());
			// Each answer refers to the Probe it answers.
			QVERIFY(text.contains(QStringLiteral("RelatesTo>%1<").arg(id)));
		}
	}

	void toolDiscover_data()
	{
		QTest::addColumn<QStringList>("models");
		QTest::addColumn<QList<int>>("silent"); // cameras that answer discovery but no VISCA inquiry
		QTest::addColumn<QStringList>("expected");
		QTest::addColumn<int>("exitCode");

		QTest::newRow("identified, unlisted and silent cameras")
			<< QStringList{"NX-D26G", "UNLISTED", "NX-W38B"} << QList<int>{2}
			<< QStringList{"127.0.0.70\tNX-D26G\tNX-D26G", "127.0.0.71\tUNLISTED\tUnknown",
				       "127.0.0.72\tNX-W38B\t?"}
			<< 0;
		QTest::newRow("nobody answers") << QStringList() << QList<int>() << QStringList() << 1;
	}

	void toolDiscover()
	{
		QFETCH(QStringList, models);
		QFETCH(QList<int>, silent);
		QFETCH(QStringList, expected);
		QFETCH(int, exitCode);
		QVERIFY2(QFileInfo::exists(toolPath), "kavren-visca must be built before this test");

		std::unique_ptr<SimFleet> fleet;
		if (!models.isEmpty()) {
			fleet = startFleet(SimFleet::consecutive(
				models.size(), QHostAddress(QString::fromLatin1(kFleetFirst)), models));
			QVERIFY(fleet);
			for (int i : silent)
				fleet->camera(i).setSilent(true);
		}
		QVERIFY(aimAt(kFleetFirst));
		QProcess tool;
		tool.start(toolPath, {QStringLiteral("discover")});
		QVERIFY(tool.waitForFinished(30000));
		QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
		QCOMPARE(tool.exitCode(), exitCode);
		const QString out = QString::fromUtf8(tool.readAllStandardOutput());
		QCOMPARE(out.split(QLatin1Char('\n'), Qt::SkipEmptyParts), expected);
	}
};

QTEST_GUILESS_MAIN(tst_OnvifDiscovery)
#include "tst_OnvifDiscovery.moc"
