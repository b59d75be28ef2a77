// The WebSocket relay: datagrams out exactly as the client spelled them and only to the cameras of the slots, replies
// back as compact JSON the moment they arrive and only to the client of that camera's address and port, refusals of
// bad input, of web pages and of clients past their limits without harm to the service (connections that never
// finish their handshake cannot keep clients out; a client that falls behind is told why it is closed), and a stop
// that ends the relay's thread with clients still connected. Clients are WebSocket++ clients on threads of their own
// and bare TCP sockets (Python's "websockets" meets the relay in the real OBS: tests/e2e/obs_control.sh); cameras
// are in-process simulators and a scripted peer on 127.0.0.x.

#include "CapturedLog.h"
#include "ReceivedCommands.h"
#include "RelayTestClient.h"
#include "ScriptedPeer.h"
#include "TableRows.h"
#include "relay/ViscaTransfer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QTcpSocket>
#include <QNetworkProxy>
#include <QUdpSocket>
#include <QtTest>

#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kWaitMs = 5000;
const QString kCameraAddress = QStringLiteral("127.0.0.51");
const QString kOtherCameraAddress = QStringLiteral("127.0.0.52");
const QString kScriptedPeerAddress = QStringLiteral("127.0.0.53");

// --- Log lines: the relay's own, and WebSocket++'s, which start with their channel ("[connect]") ---

QStringList relayLines()
{
	return CapturedLog::all().filter(QRegularExpression(QStringLiteral("^[^[]")));
}

int countLoggedStartingWith(const QString &prefix)
{
	const QStringList lines = CapturedLog::all();
	return int(std::count_if(lines.begin(), lines.end(),
				 [&](const QString &line) { return line.startsWith(prefix); }));
}

bool waitForLogged(const QString &prefix, int count = 1, int timeoutMs = kWaitMs)
{
	return QTest::qWaitFor([&]() { return countLoggedStartingWith(prefix) >= count; }, timeoutMs);
}

using TestClient = RelayTestClient;

// --- Message texts ---

// Header bytes 4..7 hold the serial number one nibble each.
QString serialNibbles(int serial)
{
	return QStringLiteral("%1,%2,%3,%4")
		.arg((serial >> 12) & 0xF)
		.arg((serial >> 8) & 0xF)
		.arg((serial >> 4) & 0xF)
		.arg(serial & 0xF);
}

// The pan-tilt home command, 81 01 06 04 FF, framed by the client as a relay client must.
QString homeData(int serial = 1)
{
	return QStringLiteral("[1,0,0,5,%1,129,1,6,4,255]").arg(serialNibbles(serial));
}

QByteArray homeDatagram(int serial = 1)
{
	QByteArray bytes = QByteArray::fromHex("01000005");
	for (int shift : {12, 8, 4, 0})
		bytes.append(char((serial >> shift) & 0xF));
	return bytes + QByteArray::fromHex("81010604ff");
}

QString request(const QString &ip, qint64 port, const QString &data)
{
	return QStringLiteral("{\"ip\":\"%1\",\"port\":%2,\"data\":%3}").arg(ip).arg(port).arg(data);
}

// The relay's reply text for a camera answer of type yy (0x41 acknowledge, 0x51 completion; socket 1).
QString replyText(const QString &ip, quint16 port, int serial, int type)
{
	return QStringLiteral("{\"data\":[1,17,0,3,%1,144,%2,255],\"ip\":\"%3\",\"port\":%4}")
		.arg(serialNibbles(serial))
		.arg(type)
		.arg(ip)
		.arg(port);
}

// The message tests relay to any address; which destinations pass has tests of its own.
ViscaTransfer::Options loopbackOptions()
{
	ViscaTransfer::Options options;
	options.listenAddress = QHostAddress(QHostAddress::LocalHost);
	options.tcpPort = 0;
	options.udpAddress = QHostAddress(QHostAddress::AnyIPv4);
	options.udpPort = 0;
	options.anyDestination = true;
	return options;
}

// The opening handshake of a bare TCP peer that then says nothing more.
const char *const kUpgradeRequest = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
				    "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";

// --- What the process holds: heap and files ---

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
extern "C" size_t __sanitizer_get_current_allocated_bytes();
size_t heapInUse()
{
	return __sanitizer_get_current_allocated_bytes();
}
#else
size_t heapInUse()
{
	const struct mallinfo2 info = mallinfo2();
	return info.uordblks + info.hblkhd; // large blocks are mapped on their own
}
#endif

QList<int> openDescriptors()
{
	QList<int> descriptors;
	const QStringList names = QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::System | QDir::NoDotAndDotDot);
	for (const QString &name : names)
		descriptors << name.toInt();
	return descriptors;
}

// Holds every file descriptor of the process but one, with the file limit of the process lowered to match, for as
// long as it lives: the next socket anyone opens takes the last one, the one after fails with EMFILE.
class LastFreeDescriptor {
public:
	bool hold()
	{
		if (getrlimit(RLIMIT_NOFILE, &saved) != 0)
			return false;
		const QList<int> open = openDescriptors();
		rlimit tight = saved;
		tight.rlim_cur = rlim_t(*std::max_element(open.begin(), open.end()) + 2);
		if (setrlimit(RLIMIT_NOFILE, &tight) != 0)
			return false;
		lowered = true;
		// Fills every gap below the limit, then gives one back.
		for (int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC); fd >= 0;
		     fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC))
			fillers << fd;
		if (fillers.isEmpty())
			return false;
		::close(fillers.takeLast());
		return true;
	}
	void release()
	{
		for (int fd : std::as_const(fillers))
			::close(fd);
		fillers.clear();
		if (lowered)
			setrlimit(RLIMIT_NOFILE, &saved);
		lowered = false;
	}
	~LastFreeDescriptor() { release(); }

private:
	rlimit saved{};
	bool lowered = false;
	QList<int> fillers;
};

// Slot addresses as the settings file holds them, whether any destination is allowed, and whether a request to
// 127.0.0.52 is relayed.
struct Destination {
	const char *name;
	const char *settings;
	bool anyDestination;
	bool relayed;
};
const Destination kDestinations[] = {
	{"slot 2", R"({"Camera2IP": "127.0.0.52"})", false, true},
	{"slot 8 among broken slots", R"({"Camera1IP": 5, "Camera3IP": "stage", "Camera8IP": "127.0.0.52"})", false,
	 true},
	{"another slot's camera", R"({"Camera1IP": "127.0.0.51"})", false, false},
	{"no slot 9", R"({"Camera9IP": "127.0.0.52"})", false, false},
	{"a name is no address", R"({"Camera2NickName": "127.0.0.52"})", false, false},
	{"any destination", "{}", true, true},
};

// The relay's places and handshake deadline; WebSocket clients connected first, then bare TCP connections that never
// say a word, how many of those the relay closes (the oldest first), and whether a client connecting last is let in.
struct Crowd {
	const char *name;
	int maxConnections;
	int handshakeTimeoutMs;
	int clients;
	int silent;
	int cut;
	bool admitted;
};
const Crowd kCrowds[] = {
	{"every place held by a client", 3, 60000, 3, 0, 0, false},
	{"every place held by a silent socket", 64, 60000, 0, 64, 33, true},
	{"clients and silent sockets", 4, 60000, 2, 2, 1, true},
	{"a silent socket past its deadline", 4, 50, 0, 1, 1, true},
};

// Clients that spoke and that never did when the relay stops, and whether it ever started.
struct Stop {
	const char *name;
	int talkingClients;
	int silentClients;
	bool started;
};
const Stop kStops[] = {
	{"never started", 0, 0, false},
	{"clients that never spoke", 0, 3, true},
	{"several clients", 2, 3, true},
};

} // namespace

class tst_ViscaTransfer : public QObject {
	Q_OBJECT

	std::unique_ptr<CameraSimulator> mainCamera;  // the camera most requests address
	std::unique_ptr<CameraSimulator> otherCamera; // a second camera, or a receiver that must receive nothing
	std::unique_ptr<CameraSimulator> localhost;   // sits on 127.0.0.1, where a datagram to 0.0.0.0 would land

	QString homeRequest(int serial = 1) const
	{
		return request(kCameraAddress, mainCamera->port(), homeData(serial));
	}
	QString ack(int serial = 1) const { return replyText(kCameraAddress, mainCamera->port(), serial, 0x41); }
	QString completion(int serial = 1) const { return replyText(kCameraAddress, mainCamera->port(), serial, 0x51); }
	QStringList otherCameraReplies(int serial) const
	{
		return {replyText(kOtherCameraAddress, otherCamera->port(), serial, 0x41),
			replyText(kOtherCameraAddress, otherCamera->port(), serial, 0x51)};
	}

	// Large replies (some 230 KB of JSON each) from a scripted camera, until the relay closes the client that does
	// not read them.
	static bool repliesUntilClosed(ScriptedPeer &camera)
	{
		const QByteArray large(60000, '\x51');
		const QString closed =
			QStringLiteral("ViscaTransfer: Closed the client at 127.0.0.1: it does not read");
		for (int sent = 0; sent < 255; ++sent) {
			camera.send(large);
			if (waitForLogged(closed, 1, 50))
				return countLoggedStartingWith(closed) == 1;
		}
		return false;
	}

	// One full exchange through `client`: the camera receives exactly one more datagram, the home command, and
	// the client gets its acknowledge and completion. Because the relay handles messages in order, this also
	// proves that nothing was sent for anything the client sent before.
	void checkStillServes(TestClient &client, int serial = 7)
	{
		const int before = client.messages().size();
		const int receivedBefore = mainCamera->received().size();
		client.send(homeRequest(serial));
		QVERIFY(client.waitForMessages(before + 2));
		QVERIFY(mainCamera->waitForReceived(receivedBefore + 1, kWaitMs));
		QCOMPARE(mainCamera->received().mid(receivedBefore), QList<QByteArray>({homeDatagram(serial)}));
		QCOMPARE(client.messages().mid(before), QStringList({ack(serial), completion(serial)}));
	}

private slots:
	void initTestCase()
	{
		CapturedLog::install();
		mainCamera = startSimulatedCamera(kCameraAddress);
		otherCamera = startSimulatedCamera(kOtherCameraAddress);
		localhost = startSimulatedCamera(QStringLiteral("127.0.0.1"));
		QVERIFY(mainCamera && otherCamera && localhost);
	}
	void cleanupTestCase()
	{
		mainCamera.reset();
		otherCamera.reset();
		localhost.reset();
		CapturedLog::uninstall();
	}
	void init()
	{
		for (CameraSimulator *sim : {mainCamera.get(), otherCamera.get(), localhost.get()}) {
			sim->setReplyDelayMs(0);
			sim->setSilent(false);
			sim->clearReceived();
		}
		CapturedLog::clear();
	}

	void relaysBytesUnchanged_data()
	{
		QTest::addColumn<QString>("data");
		QTest::addColumn<QByteArray>("expected");
		// Serial number 1's header goes before each row's payload.
		const auto row = [](const char *name, const char *payload, const char *expected) {
			QTest::newRow(name) << "[1,0,0,5,0,0,0,1," + QString::fromLatin1(payload) + "]"
					    << QByteArray::fromHex(QByteArray("0100000500000001") + expected);
		};
		row("beyond 32 bits", "4294967425,1,6,4,255", "81010604ff");
		row("negative", "-127,1,6,4,-1", "81010604ff");
		row("fraction truncated", "129.9,1,6,4,255.5", "81010604ff");
		row("string as 0", "\"129\",1,6,4,255", "00010604ff");
		QTest::newRow("the largest, 1024 bytes")
			<< "[" + QString("2,").repeated(1023) + "2]" << QByteArray(1024, '\x02');
	}
	void relaysBytesUnchanged()
	{
		QFETCH(QString, data);
		QFETCH(QByteArray, expected);
		ViscaTransfer relay(loopbackOptions());
		relay.start();
		TestClient client;
		QVERIFY(client.connect(relay.tcpPort()));
		client.send(request(kCameraAddress, mainCamera->port(), data));
		QVERIFY(mainCamera->waitForReceived(1, kWaitMs));
		QCOMPARE(mainCamera->received(), QList<QByteArray>({expected}));
	}

	// Messages the relay cannot send, one of each kind: each is refused with one line (none for what is no JSON
	// object) and an answer that says why, nothing leaves for it, and its client is served as before. Which
	// addresses are a camera's is CameraAddress's rule (tst_SettingsFile).
	void badMessagesLeaveTheServiceIntact_data()
	{
		QTest::addColumn<QByteArray>("message");
		QTest::addColumn<bool>("binary");
		QTest::addColumn<QString>("logged");  // the start of the one line; empty: nothing is logged
		QTest::addColumn<QString>("refusal"); // the answer's "error"; empty: no answer
		// Ports of 127.0.0.1's simulator where a refused address would otherwise deliver.
		const quint16 local = localhost->port();
		const QString empty = QStringLiteral("Data is empty.");
		const QString address = QStringLiteral("ViscaTransfer: Refused the address (");
		const QString port = QStringLiteral("ViscaTransfer: Refused the port (");
		const auto row = [](const char *name, const QString &message, const QString &logged,
				    const char *refusal = "") {
			QTest::newRow(name) << message.toUtf8() << false << logged << QString(refusal);
		};
		row("data missing", "{\"ip\":\"127.0.0.51\",\"port\":52381}", empty, "no data");
		row("data not an array", request(kCameraAddress, 1, "129"), empty, "no data");
		row("words", "hello camera", QString());
		row("array", "[1,0,0,5,0,0,0,1,129,1,6,4,255]", QString());
		QTest::newRow("invalid UTF-8 in a string")
			<< QByteArray("{\"ip\":\"\xff\xfe\",\"port\":1,\"data\":[1]}") << true << QString()
			<< QString();
		row("broadcast", request("255.255.255.255", local, homeData()), address, "not a camera address");
		row("wildcard", request("0.0.0.0", local, homeData()), address, "not a camera address");
		row("address not a string",
		    QStringLiteral("{\"ip\":2130706433,\"port\":%1,\"data\":%2}").arg(local).arg(homeData()), address,
		    "not a camera address");
		row("port 65536", request(kCameraAddress, 65536, homeData()), port, "port out of range");
		row("port as text",
		    QStringLiteral("{\"ip\":\"127.0.0.51\",\"port\":\"52381\",\"data\":%1}").arg(homeData()), port,
		    "port out of range");
		row("1025 bytes", request(kCameraAddress, local, "[" + QString("1,").repeated(1024) + "1]"),
		    QStringLiteral("ViscaTransfer: Refused a datagram of 1025 bytes"), "datagram too long");
	}
	void badMessagesLeaveTheServiceIntact()
	{
		QFETCH(QByteArray, message);
		QFETCH(bool, binary);
		QFETCH(QString, logged);
		QFETCH(QString, refusal);
		ViscaTransfer relay(loopbackOptions());
		relay.start();
		TestClient client;
		QVERIFY(client.connect(relay.tcpPort()));
		CapturedLog::clear(); // the relay's start
		client.send(message, binary ? websocketpp::frame::opcode::binary : websocketpp::frame::opcode::text);
		if (!refusal.isEmpty()) {
			QVERIFY(client.waitForMessages(1));
			QCOMPARE(QJsonDocument::fromJson(client.messages().first().toUtf8())["error"].toString(),
				 refusal);
		}
		// Messages are handled in order: once the next one is served, this one was handled; what is not
		// answered got no answer before it.
		checkStillServes(client);
		QCOMPARE(client.messages().size(), refusal.isEmpty() ? 2 : 3);
		const QStringList lines = relayLines();
		QCOMPARE(lines.size(), logged.isEmpty() ? 0 : 1);
		QVERIFY2(logged.isEmpty() || lines.first().startsWith(logged), qPrintable(lines.join('\n')));
		QCOMPARE(localhost->received(), QList<QByteArray>());
		QCOMPARE(otherCamera->received(), QList<QByteArray>());
	}

	void oversizeMessageIsClosed()
	{
		ViscaTransfer relay(loopbackOptions());
		relay.start();
		TestClient big;
		QVERIFY(big.connect(relay.tcpPort()));
		// A well-formed relay message, only too large to be taken in.
		const QString padding(int(ViscaTransfer::kMaxMessageSize), QLatin1Char(' '));
		big.send(QStringLiteral("{\"ip\":\"127.0.0.51\",\"port\":%1,%2\"data\":%3}")
				 .arg(mainCamera->port())
				 .arg(padding)
				 .arg(homeData()));
		QCOMPARE(big.waitForClose(), int(websocketpp::close::status::message_too_big));

		TestClient next;
		QVERIFY(next.connect(relay.tcpPort()));
		checkStillServes(next);
		QCOMPARE(mainCamera->received().size(), 1);
	}

	void repliesAreForwardedAsTheyArriveFromTheirCameraOnly()
	{
		// A scripted camera that answers only when the test says so.
		ScriptedPeer peer(kScriptedPeerAddress);
		ViscaTransfer relay(loopbackOptions());
		relay.start();
		TestClient client;
		QVERIFY(client.connect(relay.tcpPort()));
		client.send(request(kScriptedPeerAddress, peer.port(), homeData(3)));
		QCOMPARE(peer.receiveOne(), homeDatagram(3));

		const QByteArray header = QByteArray::fromHex("01110003") + homeDatagram(3).mid(4, 4);
		peer.send(header + QByteArray::fromHex("9041ff"));
		// The acknowledge is with the client while the completion has not even been sent.
		QVERIFY(client.waitForMessages(1));
		QCOMPARE(client.messages(), QStringList({replyText(kScriptedPeerAddress, peer.port(), 3, 0x41)}));

		// The completion, first from another address and from another port of the camera's address: dropped.
		const QByteArray completion = header + QByteArray::fromHex("9051ff");
		CapturedLog::clear();
		for (const QString &impostor : {kOtherCameraAddress, kScriptedPeerAddress}) {
			ScriptedPeer other(impostor, peer.otherAddress(), peer.otherPort());
			other.send(completion);
			QVERIFY(waitForLogged(QStringLiteral("The data is from (%1)").arg(impostor)));
		}
		// From the camera it gets through on its own, and so does a datagram no request asked for.
		peer.send(completion);
		QVERIFY(client.waitForMessages(2));
		peer.send(completion);
		QVERIFY(client.waitForMessages(3));
		QCOMPARE(client.messages().mid(1),
			 QStringList({replyText(kScriptedPeerAddress, peer.port(), 3, 0x51),
				      replyText(kScriptedPeerAddress, peer.port(), 3, 0x51)}));
		QCOMPARE(relayLines().size(), 2);
	}

	void repliesGoToTheClientOfTheirCamera()
	{
		ViscaTransfer relay(loopbackOptions());
		relay.start();
		TestClient first, second;
		QVERIFY(first.connect(relay.tcpPort()));
		QVERIFY(second.connect(relay.tcpPort()));

		first.send(homeRequest(1));
		QVERIFY(first.waitForMessages(2));
		second.send(homeRequest(2));
		QVERIFY(second.waitForMessages(2));
		// Even a message that is refused makes its sender the one that gets the replies.
		first.send(request(kCameraAddress, mainCamera->port(), "[]"));
		QVERIFY(first.waitForMessages(3));
		mainCamera->sendStaleDatagram(QHostAddress(QHostAddress::LocalHost), relay.udpPort(), 9);
		QVERIFY(first.waitForMessages(4));
		first.send(homeRequest(4));
		QVERIFY(first.waitForMessages(6));

		const QString noData = QStringLiteral("{\"error\":\"no data\",\"ip\":\"%1\",\"port\":%2}")
					       .arg(kCameraAddress)
					       .arg(mainCamera->port());
		QCOMPARE(first.messages(),
			 QStringList({ack(1), completion(1), noData, completion(9), ack(4), completion(4)}));
		QCOMPARE(second.messages(), QStringList({ack(2), completion(2)}));

		// Clients of different cameras each get their own camera's replies, however they interleave: a late
		// reply of the first one's camera while the second one speaks to its own.
		second.send(request(kOtherCameraAddress, otherCamera->port(), homeData(5)));
		mainCamera->sendStaleDatagram(QHostAddress(QHostAddress::LocalHost), relay.udpPort(), 6);
		QVERIFY(first.waitForMessages(7));
		QVERIFY(second.waitForMessages(4));
		QCOMPARE(first.messages().mid(6), QStringList({completion(6)}));
		QCOMPARE(second.messages().mid(2), otherCameraReplies(5));
	}

	void clientLeavesMidRequest()
	{
		mainCamera->setReplyDelayMs(300);
		ViscaTransfer relay(loopbackOptions());
		relay.start();
		{
			TestClient leaving;
			QVERIFY(leaving.connect(relay.tcpPort()));
			leaving.send(homeRequest(1));
			QVERIFY(mainCamera->waitForReceived(1, kWaitMs));
			leaving.close();
		}
		// Both replies find nobody to go to.
		QVERIFY(waitForLogged(QStringLiteral("The data is from (127.0.0.51)"), 2));
		mainCamera->setReplyDelayMs(0);
		TestClient next;
		QVERIFY(next.connect(relay.tcpPort()));
		checkStillServes(next);
	}

	void stopEndsTheRelay_data() { addTableRows(kStops); }
	void stopEndsTheRelay()
	{
		const auto &[name, talkingClients, silentClients, started] = currentTableRow(kStops);
		auto relay = std::make_unique<ViscaTransfer>(loopbackOptions());
		if (started)
			relay->start();
		std::vector<std::unique_ptr<TestClient>> clients;
		for (int i = 0; i < talkingClients + silentClients; ++i) {
			clients.push_back(std::make_unique<TestClient>());
			QVERIFY(clients.back()->connect(relay->tcpPort()));
		}
		for (int i = 0; i < talkingClients; ++i) {
			clients[i]->send(homeRequest(i));
			QVERIFY(clients[i]->waitForMessages(2));
		}
		relay->stop();
		relay->stop(); // a second stop, and the destructor's, change nothing
		relay.reset();
		QCOMPARE(countLoggedStartingWith("Catch Error."), 0);
		for (const auto &client : clients)
			QCOMPARE(client->waitForClose(), int(websocketpp::close::status::going_away));
	}

	void stopWithUnresponsivePeers_data()
	{
		QTest::addColumn<bool>("upgraded");
		QTest::newRow("never finishes the opening handshake") << false;
		QTest::newRow("ignores the closing handshake") << true;
	}
	void stopWithUnresponsivePeers()
	{
		QFETCH(bool, upgraded);
		ViscaTransfer::Options options = loopbackOptions();
		options.stopTimeoutMs = 500;
		auto relay = std::make_unique<ViscaTransfer>(options);
		relay->start();
		QTcpSocket peer;
		peer.connectToHost(QHostAddress(QHostAddress::LocalHost), relay->tcpPort());
		QVERIFY(peer.waitForConnected(kWaitMs));
		if (upgraded) {
			peer.write(kUpgradeRequest);
			QVERIFY(peer.waitForReadyRead(kWaitMs));
			QVERIFY(peer.readAll().startsWith("HTTP/1.1 101"));
		} else {
			// stop() must meet a connection in its opening handshake rather than one the kernel still
			// holds: the relay accepts in order, so once a later client is through, the silent peer was
			// accepted.
			TestClient later;
			QVERIFY(later.connect(relay->tcpPort()));
			QTRY_COMPARE_WITH_TIMEOUT(relay->clientCount(), 1, kWaitMs);
		}
		// The peer stays silent from here on; stop() must still come back and take the thread with it.
		relay->stop();
		relay.reset();
		QVERIFY(peer.state() == QAbstractSocket::UnconnectedState || peer.waitForDisconnected(kWaitMs));
	}

	void busyPortLeavesRelayOff_data()
	{
		QTest::addColumn<bool>("tcp");
		QTest::newRow("TCP port") << true;
		QTest::newRow("UDP port") << false;
	}
	void busyPortLeavesRelayOff()
	{
		QFETCH(bool, tcp);
		// The first relay, or a socket of another program, holds the port.
		ViscaTransfer first(loopbackOptions());
		first.start();
		QUdpSocket holder;
		holder.setProxy(QNetworkProxy::NoProxy);
		QVERIFY(holder.bind(QHostAddress(QHostAddress::AnyIPv4), 0, QUdpSocket::DontShareAddress));
		ViscaTransfer::Options options = loopbackOptions();
		const quint16 busy = tcp ? (options.tcpPort = first.tcpPort()) : (options.udpPort = holder.localPort());
		{
			ViscaTransfer second(options);
			second.start();
			QVERIFY(!second.isServing());
			QCOMPARE(second.tcpPort(), quint16(0));
			QCOMPARE(second.udpPort(), quint16(0));
		}
		// The busy port is one of the events the relay logs (README).
		QCOMPARE(countLoggedStartingWith(QStringLiteral("ViscaTransfer: Cannot %1 port %2: ")
							 .arg(tcp ? "listen on TCP" : "bind UDP")
							 .arg(busy)),
			 1);
		TestClient client;
		QVERIFY(client.connect(first.tcpPort()));
		checkStillServes(client);
	}

	void destinationMustBeASlot_data() { addTableRows(kDestinations); }
	void destinationMustBeASlot()
	{
		const auto &[name, settings, anyDestination, relayed] = currentTableRow(kDestinations);
		ViscaTransfer::Options options = loopbackOptions();
		options.anyDestination = anyDestination;
		ViscaTransfer relay(options);
		relay.setSlotAddresses(SlotAddressBook::fromSettings(QJsonDocument::fromJson(settings).object()));
		relay.start();
		TestClient client;
		QVERIFY(client.connect(relay.tcpPort()));
		const QString refused = QStringLiteral("ViscaTransfer: Refused to send to 127.0.0.52: ");

		if (!relayed) {
			// However often it is asked, nothing is sent and the log gets five lines a minute at most ...
			for (int attempt = 0; attempt < 8; ++attempt)
				client.send(request(kOtherCameraAddress, otherCamera->port(), homeData(1)));
			// Messages are handled in order: once this one is, so are the eight.
			client.send(request(kOtherCameraAddress, otherCamera->port(), "[]"));
			QVERIFY(waitForLogged(QStringLiteral("Data is empty.")));
			// ... until the camera is assigned to a slot, which the very next request sees.
			relay.setSlotAddresses(
				SlotAddressBook::fromSettings({{QStringLiteral("Camera2IP"), kOtherCameraAddress}}));
		}
		// Every refusal is answered: the client learns it without waiting for a reply.
		const int refusals = relayed ? 0 : 9;
		client.send(request(kOtherCameraAddress, otherCamera->port(), homeData(2)));
		QVERIFY(client.waitForMessages(refusals + 2));
		QCOMPARE(client.messages().mid(refusals), otherCameraReplies(2));
		if (!relayed)
			QCOMPARE(client.messages().first(),
				 QStringLiteral("{\"error\":\"address not assigned to a camera slot\",\"ip\":\"%1\","
						"\"port\":%2}")
					 .arg(kOtherCameraAddress)
					 .arg(otherCamera->port()));
		QCOMPARE(otherCamera->received(), QList<QByteArray>({homeDatagram(2)}));
		QCOMPARE(countLoggedStartingWith(refused), relayed ? 0 : 5);
	}

	void originIsChecked_data()
	{
		QTest::addColumn<QString>("origin"); // empty: no Origin header, as programs that are not browsers
		QTest::addColumn<QStringList>("allowed");
		QTest::addColumn<bool>("accepted");
		const QStringList panel{QStringLiteral("http://localhost:8080")};
		QTest::newRow("a program") << QString() << QStringList() << true;
		QTest::newRow("any web page") << "https://ads.example" << QStringList() << false;
		QTest::newRow("the allowed page") << "http://localhost:8080" << panel << true;
		QTest::newRow("another port") << "http://localhost:8081" << panel << false;
		QTest::newRow("trailing slash") << "http://localhost:8080/" << panel << false;
		QTest::newRow("opaque origin") << "null" << panel << false;
	}
	void originIsChecked()
	{
		QFETCH(QString, origin);
		QFETCH(QStringList, allowed);
		QFETCH(bool, accepted);
		ViscaTransfer::Options options = loopbackOptions();
		options.allowedOrigins = allowed;
		ViscaTransfer relay(options);
		relay.start();
		TestClient client;
		QCOMPARE(client.connect(relay.tcpPort(), origin.toStdString()), accepted);
		const QString refused = QStringLiteral("ViscaTransfer: Refused the web page ");
		if (accepted) {
			checkStillServes(client);
			QCOMPARE(countLoggedStartingWith(refused), 0);
			return;
		}
		QCOMPARE(client.httpStatus(), 403);
		QVERIFY(waitForLogged(refused + origin + QStringLiteral(": ")));
		QCOMPARE(countLoggedStartingWith(refused), 1);
		QCOMPARE(relay.clientCount(), 0);
	}

	// Without a secret every client is served, as every other case here shows.
	void secretIsAsked_data()
	{
		QTest::addColumn<QString>("resource");
		QTest::addColumn<QString>("authorization");
		QTest::addColumn<bool>("accepted");
		const QString query = QStringLiteral("/?page=1&secret=open%20sesame%26%3D");
		QTest::newRow("in the query") << query << QString() << true;
		QTest::newRow("in a header") << "/" << "bearer open sesame&=" << true;
		QTest::newRow("none presented") << "/" << "Basic open sesame&=" << false;
		QTest::newRow("a prefix of it") << "/?secret=open%20sesame" << QString() << false;
		QTest::newRow("the header counts") << query << "Bearer open" << false;
	}
	void secretIsAsked()
	{
		QFETCH(QString, resource);
		QFETCH(QString, authorization);
		QFETCH(bool, accepted);
		ViscaTransfer::Options options = loopbackOptions();
		options.secret = QStringLiteral("open sesame&=");
		ViscaTransfer relay(options);
		relay.start();
		TestClient client;
		client.resource = resource.toStdString();
		client.authorization = authorization.toStdString();
		QCOMPARE(client.connect(relay.tcpPort()), accepted);
		QCOMPARE(client.httpStatus(), accepted ? -1 : 401); // -1: no refusal came
		QCOMPARE(countLoggedStartingWith(QStringLiteral("ViscaTransfer: Refused a client at 127.0.0.1: ")),
			 accepted ? 0 : 1);
		// The library's line for the handshake quotes the address asked for, but never a secret.
		QTRY_VERIFY(!CapturedLog::all().filter(accepted ? "[connect]" : "[fail]").isEmpty());
		QVERIFY(CapturedLog::all().filter("sesame").isEmpty());
	}

	// A client that keeps guessing waits longer and longer: past its free tries even the right secret is not looked
	// at until its wait is over, and the log counts the refusals.
	void guessesAreSlowedAndCounted()
	{
		ViscaTransfer::Options options = loopbackOptions();
		options.secret = QStringLiteral("open sesame");
		options.secretGuard.firstWait = std::chrono::minutes(10);
		ViscaTransfer relay(options);
		relay.start();
		const auto tryWith = [&relay](const char *secret) {
			TestClient client;
			client.authorization = std::string("Bearer ") + secret;
			client.connect(relay.tcpPort());
			return client.httpStatus();
		};
		for (int guess = 0; guess <= options.secretGuard.freeTries; ++guess)
			QCOMPARE(tryWith("wrong"), 401);
		QCOMPARE(tryWith("open sesame"), 429);
		relay.stop();
		QCOMPARE(countLoggedStartingWith(
				 QStringLiteral("ViscaTransfer: 7 handshakes refused for RelaySecret (1 of "
						"them told to wait; client addresses: 1)")),
			 1);
	}

	void clientThatDoesNotReadIsClosedAtItsCapAndToldWhy()
	{
		ScriptedPeer camera(kScriptedPeerAddress);
		ViscaTransfer relay(loopbackOptions());
		relay.start();
		TestClient client;
		QVERIFY(client.connect(relay.tcpPort(), std::string(), 4096));
		client.send(request(kScriptedPeerAddress, camera.port(), homeData(1)));
		QCOMPARE(camera.receiveOne(), homeDatagram(1));

		// It stops reading until the relay has given up on it, then takes what waits and finds the close frame.
		QVERIFY(client.pauseReading());
		const size_t heapBefore = heapInUse();
		QVERIFY(repliesUntilClosed(camera));
		// What waits for the reader is bounded by its cap (1 MiB) and one write under way, not by what came.
		const qint64 heldWhileClosing = qint64(heapInUse()) - qint64(heapBefore);
		QVERIFY2(heldWhileClosing < 4 * 1024 * 1024, qPrintable(QString::number(heldWhileClosing)));
		// No longer served from here on, though its socket stays while the close waits behind its replies.
		QTRY_COMPARE_WITH_TIMEOUT(relay.clientCount(), 0, kWaitMs);
		client.resumeReading();
		QCOMPARE(client.waitForClose(), int(websocketpp::close::status::policy_violation));
	}

	void handshakesCannotCrowdOutClients_data() { addTableRows(kCrowds); }
	void handshakesCannotCrowdOutClients()
	{
		const auto &[name, maxConnections, handshakeTimeoutMs, clients, silent, cut, admitted] =
			currentTableRow(kCrowds);
		ViscaTransfer::Options options = loopbackOptions();
		options.maxConnections = maxConnections;
		options.handshakeTimeoutMs = handshakeTimeoutMs;
		ViscaTransfer relay(options);
		relay.start();
		std::vector<std::unique_ptr<TestClient>> connected;
		for (int i = 0; i < clients; ++i) {
			connected.push_back(std::make_unique<TestClient>());
			QVERIFY(connected.back()->connect(relay.tcpPort()));
		}
		QTRY_COMPARE(relay.clientCount(), clients);
		std::vector<std::unique_ptr<QTcpSocket>> sockets(silent);
		for (auto &socket : sockets) {
			socket = std::make_unique<QTcpSocket>();
			socket->connectToHost(QHostAddress(QHostAddress::LocalHost), relay.tcpPort());
			QVERIFY(socket->waitForConnected(kWaitMs));
		}

		TestClient last;
		QCOMPARE(last.connect(relay.tcpPort()), admitted);
		for (int i = 0; i < silent; ++i)
			QVERIFY2(sockets[i]->waitForDisconnected(i < cut ? kWaitMs : 0) == (i < cut),
				 qPrintable(QString::number(i)));
		const QString cutLine =
			QStringLiteral("ViscaTransfer: Closing connections that do not finish their WebSocket "
				       "handshake in time (%1 ms")
				.arg(handshakeTimeoutMs);
		QVERIFY(cut == 0 || waitForLogged(cutLine));
		QCOMPARE(countLoggedStartingWith(cutLine), cut > 0 ? 1 : 0);
		if (admitted) {
			checkStillServes(last);
			return;
		}
		QVERIFY(waitForLogged(
			QStringLiteral("ViscaTransfer: Refused a connection from 127.0.0.1: 3 connections")));
		// Once one leaves there is room again.
		connected.front().reset();
		TestClient next;
		QVERIFY(next.connect(relay.tcpPort()));
		checkStillServes(next);
	}

	void acceptBacksOffAtTheFileLimit()
	{
		ViscaTransfer relay(loopbackOptions());
		relay.start();
		TestClient connected;
		QVERIFY(connected.connect(relay.tcpPort()));

		QElapsedTimer clock;
		clock.start();
		LastFreeDescriptor limit;
		QVERIFY(limit.hold());
		// The connection takes the last descriptor, so the relay has none left to accept it with.
		QTcpSocket waiting;
		waiting.connectToHost(QHostAddress(QHostAddress::LocalHost), relay.tcpPort());
		const QString failed =
			QStringLiteral("ViscaTransfer: Cannot accept a connection (Too many open files)");
		const bool failedThrice = waitForLogged(failed, 3);
		const qint64 elapsedMs = clock.elapsed();
		limit.release();
		QVERIFY(failedThrice);
		// The tries wait 50, then 100 ms after a failure instead of spinning on it.
		QVERIFY2(elapsedMs >= 150, qPrintable(QString::number(elapsedMs)));

		QVERIFY(waitForLogged(QStringLiteral("ViscaTransfer: Accepting connections again after")));
		// The connection that waited is taken in after all.
		waiting.write(kUpgradeRequest);
		QVERIFY(waiting.waitForReadyRead(kWaitMs) && waiting.readAll().startsWith("HTTP/1.1 101"));
		checkStillServes(connected);
	}
};

QTEST_GUILESS_MAIN(tst_ViscaTransfer)
#include "tst_ViscaTransfer.moc"
