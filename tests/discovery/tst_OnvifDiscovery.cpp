// The WS-Discovery client: answer parsing in the styles real cameras use, the Probe and its sends, searches against a
// scripted answerer, and the command-line search over a simulated fleet (the assignment dialog searches a fleet of
// every answer style: tst_DiscoveryDialog). Every Probe goes to a loopback
// address named by KAVREN_DISCOVERY_ADDRESS; none may ever reach the broadcast or multicast address.

#include "discovery/OnvifDiscovery.h"

#include "CameraSimulator.h"
#include "ScriptedPeer.h"
#include "SimFleet.h"
#include "TableRows.h"

#include <QFileInfo>
#include <QNetworkDatagram>
#include <QNetworkProxy>
#include <QProcess>
#include <QThread>
#include <QUdpSocket>
#include <QtTest>

#include <future>
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

// One answer of each shape real cameras send, and the address and name read from it. Which addresses are a camera's
// is CameraAddress's rule (tst_SettingsFile).
const QString kScopes = scopesWithName(QStringLiteral("PTZ-Camera-01"));
struct ParsedAnswer {
	const char *name;
	QString text;
	const char *address;
	const char *cameraName;
};
const ParsedAnswer kAnswers[] = {
	{"d: IPv6 before IPv4",
	 answer("d", "http://[fe80::2a57:beff:fe01:203]/onvif http://192.168.1.20/onvif", kScopes), "192.168.1.20",
	 "PTZ-Camera-01"},
	{"wsdd: IPv4, new line, IPv6", answer("wsdd", "http://10.0.0.7/onvif\n\thttp://[2001:db8::7]/onvif", kScopes),
	 "10.0.0.7", "PTZ-Camera-01"},
	{"no prefix, port after host",
	 answer("", "http://192.168.1.20:8080/onvif", kScopes)
		 .replace("xmlns:=", "xmlns=")
		 .replace("<:", "<")
		 .replace("</:", "</"),
	 "192.168.1.20", "PTZ-Camera-01"},
	{"host name that starts like an address",
	 answer("d", "http://10.0.0.5.example.com/onvif http://10.0.0.6/onvif", kScopes), "10.0.0.6", "PTZ-Camera-01"},
	{"broadcast and multicast hosts skipped",
	 answer("d", "http://255.255.255.255/onvif http://239.255.255.250/ http://10.0.0.7/onvif", kScopes), "10.0.0.7",
	 "PTZ-Camera-01"},
	{"other scheme ignored, https taken", answer("d", "ftp://10.1.1.1/ https://10.1.1.2/onvif", kScopes),
	 "10.1.1.2", "PTZ-Camera-01"},
	{"closing tag with another prefix",
	 answer("d", "http://10.4.4.4/onvif", kScopes).replace("</d:XAddrs>", "</wsdd:XAddrs>"), "", "PTZ-Camera-01"},
	{"second XAddrs element holds the address",
	 answer("d", "http://[2001:db8::1]/onvif", kScopes) + answer("d", "http://10.5.5.5/onvif", kScopes), "10.5.5.5",
	 "PTZ-Camera-01"},
	{"scope in capitals", answer("d", "http://10.0.0.9/onvif", "ONVIF://WWW.ONVIF.ORG/NAME/Hall"), "10.0.0.9",
	 "Hall"},
	{"percent-encoded name kept, further scope after it",
	 answer("d", "http://10.0.0.10/onvif", scopesWithName("Front%20Cam")), "10.0.0.10", "Front%20Cam"},
	{"no name scope gives no name",
	 answer("d", "http://10.0.0.14/onvif", "onvif://www.onvif.org/type/ptz onvif://www.onvif.org/hardware/NX"),
	 "10.0.0.14", ""},
	{"no XAddrs", QStringLiteral("<d:ProbeMatch>%1</d:ProbeMatch>").arg(kScopes), "", "PTZ-Camera-01"},
};

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

// A search whose Probes a scripted peer on kScripted's discovery port answers, each with `answers`, from a thread of
// its own while the search blocks this one: the cameras found, and how many Probes reached the peer.
std::pair<QStringList, int> searchAnsweredWith(OnvifDiscovery &client, const QList<QByteArray> &answers)
{
	std::promise<bool> bound;
	int probes = 0;
	std::unique_ptr<QThread> answering(QThread::create([&]() {
		ScriptedPeer peer(QString::fromLatin1(kScripted), QHostAddress(), 0, OnvifDiscovery::kDiscoveryPort);
		bound.set_value(peer.isBound());
		for (; probes < OnvifDiscovery::kProbeCount && !peer.receive(1).isEmpty(); ++probes)
			for (const QByteArray &answer : answers)
				peer.send(answer);
	}));
	answering->start();
	if (bound.get_future().get())
		client.discovery();
	answering->wait();
	return {flatten(client.getCamInfoList()), probes};
}

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

private slots:
	void initTestCase()
	{
		// Before any client exists: no Probe of this test may leave the machine.
		QVERIFY(aimAt("127.0.0.71"));
		qputenv("KAVREN_PROFILE_DIR", KAVREN_SOURCE_DIR "/data/ini/");
	}

	void init() { QVERIFY(aimAt("127.0.0.71")); }

	void parseAnswer_data() { addTableRows(kAnswers); }
	void parseAnswer()
	{
		const auto &[rowName, text, address, name] = currentTableRow(kAnswers);
		QCOMPARE(OnvifDiscovery::addressFromAnswer(text), QString::fromLatin1(address));
		QCOMPARE(OnvifDiscovery::nameFromAnswer(text), QString::fromLatin1(name));

		// An answer without a usable address adds no camera; one with an address adds exactly that camera.
		OnvifDiscovery client;
		client.fetchCamInfo(text);
		QCOMPARE(flatten(client.getCamInfoList()),
			 *address ? QStringList(QStringLiteral("%1=%2").arg(address, name)) : QStringList());
	}

	// Each camera once, in the order of its first answer, under the name that answer gave.
	void collect()
	{
		const QString first = answer("d", "http://10.0.0.1/onvif", scopesWithName("First"));
		const QString second = answer("tns", "http://10.0.0.2/onvif", scopesWithName("Second"));
		OnvifDiscovery client;
		for (const QString &text :
		     {second, first, answer("wsdd", "http://10.0.0.1/", scopesWithName("Renamed")), second})
			client.fetchCamInfo(text);
		QCOMPARE(flatten(client.getCamInfoList()), QStringList({"10.0.0.2=Second", "10.0.0.1=First"}));
	}

	void destinations_data()
	{
		QTest::addColumn<QByteArray>("setting");
		QTest::addColumn<QStringList>("expected");
		QTest::newRow("unset: broadcast and multicast")
			<< QByteArray() << QStringList{"255.255.255.255", "239.255.255.250"};
		QTest::newRow("loopback alone") << QByteArray("127.0.0.71") << QStringList{"127.0.0.71"};
		QTest::newRow("not an address: nothing") << QByteArray("camera.local") << QStringList();
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

	void probesFortyTimesWithAnIdPerSearch()
	{
		QVERIFY(aimAt(kCounter));
		QUdpSocket receiver;
		receiver.setProxy(QNetworkProxy::NoProxy);
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

		QByteArray huge =
			answer("d", "http://10.9.0.1/onvif/device_service", scopesWithName("Late-Name")).toLatin1();
		// A full namespace map before the body pushes the scopes and XAddrs far back.
		huge.replace("<SOAP-ENV:Body>", QByteArray(64200, ' ') + "<SOAP-ENV:Body>");
		QTest::newRow("answer near 64 KiB") << huge << QStringList{"10.9.0.1=Late-Name"};

		const QByteArray plain =
			answer("wsdd", "http://10.9.0.2/onvif/device_service", scopesWithName("Side")).toLatin1();
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
		OnvifDiscovery client;
		QCOMPARE(searchAnsweredWith(client, {datagram}), std::make_pair(expected, OnvifDiscovery::kProbeCount));
	}

	void searchReplacesList()
	{
		QVERIFY(aimAt(kScripted));
		OnvifDiscovery client;
		const QByteArray one = answer("d", "http://10.8.0.1/onvif", scopesWithName("One")).toLatin1();
		QCOMPARE(searchAnsweredWith(client, {one}).first, QStringList{"10.8.0.1=One"});
		// Closed, the socket binds again with the next Probe, and the new search starts from an empty list.
		client.OVER();
		const QByteArray two = answer("d", "http://10.8.0.2/onvif", scopesWithName("Two")).toLatin1();
		QCOMPARE(searchAnsweredWith(client, {two}).first, QStringList{"10.8.0.2=Two"});
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

		SimFleet::Options options;
		options.cameras =
			SimFleet::consecutive(models.size(), QHostAddress(QString::fromLatin1(kFleetFirst)), models);
		SimFleet fleet(options);
		if (!models.isEmpty()) {
			QString error;
			QVERIFY2(fleet.start(&error), qPrintable(error));
			for (int i : silent)
				fleet.camera(i).setSilent(true);
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
