// The WebSocket relay: datagrams out exactly as the client spelled them and only to the cameras of the slots, replies
// back as compact JSON the moment they arrive and only to the client of that camera's address and port, refusals of
// bad input, of web pages and of clients past their limits without harm to the service (connections that never
// finish their handshake cannot keep clients out; a client that falls behind is told why it is closed), and a stop
// that ends the relay's thread with clients still connected. Clients are WebSocket++ clients on threads of their own
// and bare TCP sockets (Python's "websockets" meets the relay in the real OBS: tests/e2e/obs_control.sh); cameras
// are in-process simulators and a scripted peer on 127.0.0.x.

#include "ReceivedCommands.h"
#include "RelayTestClient.h"
#include "ScriptedPeer.h"
#include "TableRows.h"
#include "relay/ViscaTransfer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QtTest>

#include <arpa/inet.h>
#include <fcntl.h>
#include <malloc.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kWaitMs = 5000;
const QString kCameraAddress = QStringLiteral("127.0.0.51");
const QString kOtherCameraAddress = QStringLiteral("127.0.0.52");
const QString kScriptedPeerAddress = QStringLiteral("127.0.0.53");

// --- Log lines, collected so a test can assert the exact texts. The relay logs from its own thread. ---

std::mutex logMutex;
QStringList logLines; // WebSocket++'s lines as "[channel]" only, the relay's in full
QtMessageHandler previousHandler = nullptr;

void collectMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
	// Which of WebSocket++'s channels are on depends on the build: debug builds log every frame, and those lines
	// must not weigh on the heap. A line quoting the secret of the secret tests is kept whole.
	const bool endpoint = qstrcmp(context.category, "kavren.relay.websocket") == 0;
	{
		std::lock_guard<std::mutex> lock(logMutex);
		logLines.append(endpoint && !message.contains(QLatin1String("sesame"))
					? message.section(QLatin1Char(']'), 0, 0) + QLatin1Char(']')
					: message);
	}
	if (!endpoint && type != QtDebugMsg && previousHandler)
		previousHandler(type, context, message);
}

void clearLog()
{
	std::lock_guard<std::mutex> lock(logMutex);
	logLines.clear();
}

// The relay's own lines, or WebSocket++'s.
QStringList loggedLines(bool endpoint = false)
{
	std::lock_guard<std::mutex> lock(logMutex);
	QStringList lines;
	for (const QString &line : std::as_const(logLines))
		if (line.startsWith(QLatin1Char('[')) == endpoint)
			lines << line;
	return lines;
}

int countLoggedStartingWith(const QString &prefix)
{
	const QStringList lines = loggedLines();
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

// --- What the process holds: heap, sockets, files ---

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

quint16 portOf(const sockaddr_storage &address)
{
	if (address.ss_family == AF_INET)
		return ntohs(reinterpret_cast<const sockaddr_in &>(address).sin_port);
	if (address.ss_family == AF_INET6)
		return ntohs(reinterpret_cast<const sockaddr_in6 &>(address).sin6_port);
	return 0;
}

// The relay's end of every TCP connection it accepted on `port`: sockets of this process bound to that port that
// have a peer (the listening socket has none, a client's end is bound to another port).
QList<int> acceptedSockets(quint16 port)
{
	QList<int> sockets;
	for (int descriptor : openDescriptors()) {
		sockaddr_storage local{}, peer{};
		socklen_t size = sizeof(local);
		if (getsockname(descriptor, reinterpret_cast<sockaddr *>(&local), &size) != 0 || portOf(local) != port)
			continue;
		size = sizeof(peer);
		if (getpeername(descriptor, reinterpret_cast<sockaddr *>(&peer), &size) == 0)
			sockets << descriptor;
	}
	return sockets;
}

// A plain TCP connection to 127.0.0.1:port (or another IPv4 address), or -1.
int connectTcp(quint16 port, const char *address = "127.0.0.1")
{
	const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
	if (fd < 0)
		return -1;
	sockaddr_in peer{};
	peer.sin_family = AF_INET;
	peer.sin_port = htons(port);
	inet_pton(AF_INET, address, &peer.sin_addr);
	if (::connect(fd, reinterpret_cast<sockaddr *>(&peer), sizeof(peer)) != 0) {
		::close(fd);
		return -1;
	}
	return fd;
}

// Holds every file descriptor of the process but one, with the file limit of the process lowered to match, for as
// long as it lives: the next socket anyone opens takes the last one, the one after fails with EMFILE.
class LastFreeDescriptor {
public:
	bool hold()
	{
		if (getrlimit(RLIMIT_NOFILE, &m_saved) != 0)
			return false;
		const QList<int> open = openDescriptors();
		rlimit tight = m_saved;
		tight.rlim_cur = rlim_t(*std::max_element(open.begin(), open.end()) + 2);
		if (setrlimit(RLIMIT_NOFILE, &tight) != 0)
			return false;
		m_lowered = true;
		// Fills every gap below the limit, then gives one back.
		for (int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC); fd >= 0;
		     fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC))
			m_fillers << fd;
		if (m_fillers.isEmpty())
			return false;
		::close(m_fillers.takeLast());
		return true;
	}
	void release()
	{
		for (int fd : std::as_const(m_fillers))
			::close(fd);
		m_fillers.clear();
		if (m_lowered)
			setrlimit(RLIMIT_NOFILE, &m_saved);
		m_lowered = false;
	}
	~LastFreeDescriptor() { release(); }

private:
	rlimit m_saved{};
	bool m_lowered = false;
	QList<int> m_fillers;
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
	{"no slots", "{}", false, false},
	{"no slot 9", R"({"Camera9IP": "127.0.0.52"})", false, false},
	{"address as a number", R"({"Camera2IP": 2130706484})", false, false},
	{"a name is no address", R"({"Camera2NickName": "127.0.0.52"})", false, false},
	{"leading zeros", R"({"Camera2IP": "127.0.0.052"})", false, false},
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

// Clients that spoke and that never did when the relay stops, whether it ever started, and how many "ViscaTransfer:
// Error closing connection" lines that gives.
struct Stop {
	const char *name;
	int talkingClients;
	int silentClients;
	bool started;
	int errorLines;
};
const Stop kStops[] = {
	{"never started", 0, 0, false, 1},           {"no client", 0, 0, true, 1},
	{"clients that never spoke", 0, 3, true, 1}, {"one client spoke", 1, 0, true, 0},
	{"several clients", 2, 3, true, 0},
};

} // namespace

class tst_ViscaTransfer : public QObject {
	Q_OBJECT

	std::unique_ptr<CameraSimulator> m_camera;      // the camera most requests address
	std::unique_ptr<CameraSimulator> m_otherCamera; // a second camera, or a receiver that must receive nothing
	std::unique_ptr<CameraSimulator> m_localhost;   // sits on 127.0.0.1, where a datagram to 0.0.0.0 would land

	QString homeRequest(int serial = 1) const
	{
		return request(kCameraAddress, m_camera->port(), homeData(serial));
	}
	QString ack(int serial = 1) const { return replyText(kCameraAddress, m_camera->port(), serial, 0x41); }
	QString completion(int serial = 1) const { return replyText(kCameraAddress, m_camera->port(), serial, 0x51); }
	QStringList otherCameraReplies(int serial) const
	{
		return {replyText(kOtherCameraAddress, m_otherCamera->port(), serial, 0x41),
			replyText(kOtherCameraAddress, m_otherCamera->port(), serial, 0x51)};
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
		const int receivedBefore = m_camera->received().size();
		client.send(homeRequest(serial));
		QVERIFY(client.waitForMessages(before + 2));
		QVERIFY(m_camera->waitForReceived(receivedBefore + 1, kWaitMs));
		QCOMPARE(m_camera->received().size(), receivedBefore + 1);
		QCOMPARE(m_camera->received().last(), homeDatagram(serial));
		QCOMPARE(client.messages().mid(before), QStringList({ack(serial), completion(serial)}));
	}

private slots:
	void initTestCase()
	{
		previousHandler = qInstallMessageHandler(collectMessage);
		m_camera = startSimulatedCamera(kCameraAddress);
		m_otherCamera = startSimulatedCamera(kOtherCameraAddress);
		m_localhost = startSimulatedCamera(QStringLiteral("127.0.0.1"));
		QVERIFY(m_camera && m_otherCamera && m_localhost);
	}
	void cleanupTestCase()
	{
		m_camera.reset();
		m_otherCamera.reset();
		m_localhost.reset();
		qInstallMessageHandler(previousHandler);
	}
	void init()
	{
		for (CameraSimulator *sim : {m_camera.get(), m_otherCamera.get(), m_localhost.get()}) {
			sim->setReplyDelayMs(0);
			sim->setSilent(false);
			sim->clearReceived();
		}
		clearLog();
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
		row("home command", "129,1,6,4,255", "81010604ff");
		row("low 8 bits", "385,1,6,4,255", "81010604ff");
		row("beyond 32 bits", "4294967425,1,6,4,255", "81010604ff");
		row("negative", "-127,1,6,4,-1", "81010604ff");
		row("fraction truncated", "129.9,1,6,4,255.5", "81010604ff");
		row("string as 0", "\"129\",1,6,4,255", "00010604ff");
		row("other non-numbers as 0", "true,null,{},[6],255", "00000000ff");
		QTest::newRow("single byte") << "[255]" << QByteArray::fromHex("ff");
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
		client.send(request(kCameraAddress, m_camera->port(), data));
		QVERIFY(m_camera->waitForReceived(1, kWaitMs));
		QCOMPARE(m_camera->received(), QList<QByteArray>({expected}));
	}

	void repliesAreCompactSortedJson()
	{
		ViscaTransfer relay(loopbackOptions());
		relay.start();
		TestClient client;
		QVERIFY(client.connect(relay.tcpPort()));
		client.send(homeRequest(1));
		QVERIFY(client.waitForMessages(2));
		const QString port = QString::number(m_camera->port());
		QCOMPARE(client.messages(),
			 QStringList({"{\"data\":[1,17,0,3,0,0,0,1,144,65,255],\"ip\":\"127.0.0.51\",\"port\":" + port +
					      "}",
				      "{\"data\":[1,17,0,3,0,0,0,1,144,81,255],\"ip\":\"127.0.0.51\",\"port\":" + port +
					      "}"}));
		// The camera saw the relay's UDP socket, the one the replies came back to.
		QCOMPARE(m_camera->lastPeerPort(), relay.udpPort());
		const QStringList endpoint = loggedLines(true);
		QVERIFY2(!endpoint.filter(QStringLiteral("[connect]")).isEmpty(), qPrintable(endpoint.join('\n')));
#ifdef NDEBUG
		// Outside debug builds the library tells of connections and errors, never a line for each frame.
		QCOMPARE(endpoint.filter(QStringLiteral("[frame_header]")), QStringList());
		QCOMPARE(endpoint.filter(QStringLiteral("[devel]")), QStringList());
#else
		QVERIFY(!endpoint.filter(QStringLiteral("[frame_header]")).isEmpty());
#endif
	}

	// Messages the relay cannot send: each is refused with one line (none for what is no JSON object), nothing
	// leaves for it, and its client is served as before.
	void badMessagesLeaveTheServiceIntact_data()
	{
		QTest::addColumn<QByteArray>("message");
		QTest::addColumn<bool>("binary");
		QTest::addColumn<QString>("logged"); // the start of the one line; empty: nothing is logged
		// Ports of 127.0.0.1's simulator where a refused address would otherwise deliver.
		const quint16 local = m_localhost->port();
		const QString empty = QStringLiteral("Data is empty.");
		const QString address = QStringLiteral("ViscaTransfer: Refused the address (");
		const QString port = QStringLiteral("ViscaTransfer: Refused the port (");
		const auto row = [](const char *name, const QString &message, const QString &logged) {
			QTest::newRow(name) << message.toUtf8() << false << logged;
		};
		row("empty array", request(kCameraAddress, 1, "[]"), empty);
		row("data missing", "{\"ip\":\"127.0.0.51\",\"port\":52381}", empty);
		row("data not an array", request(kCameraAddress, 1, "129"), empty);
		row("data an object", request(kCameraAddress, 1, "{\"0\":129}"), empty);
		row("empty object", "{}", empty);
		row("words", "hello camera", QString());
		row("cut short", "{\"ip\":\"127.0.0.51\",\"data\":[1,", QString());
		row("array", "[1,0,0,5,0,0,0,1,129,1,6,4,255]", QString());
		row("number", "42", QString());
		row("string", "\"127.0.0.51\"", QString());
		row("null", "null", QString());
		row("empty", "", QString());
		QTest::newRow("invalid UTF-8 in a string")
			<< QByteArray("{\"ip\":\"\xff\xfe\",\"port\":1,\"data\":[1]}") << true << QString();
		QTest::newRow("binary garbage") << QByteArray("\x00\x01\x02\xff", 4) << true << QString();
		row("broadcast", request("255.255.255.255", local, homeData()), address);
		row("wildcard", request("0.0.0.0", local, homeData()), address);
		row("leading zeros", request("127.0.0.001", local, homeData()), address);
		row("not an address", request("not-an-ip", local, homeData()), address);
		row("missing address", QStringLiteral("{\"port\":%1,\"data\":%2}").arg(local).arg(homeData()), address);
		row("address not a string",
		    QStringLiteral("{\"ip\":2130706433,\"port\":%1,\"data\":%2}").arg(local).arg(homeData()), address);
		row("port 0", request(kCameraAddress, 0, homeData()), port);
		row("port 65536", request(kCameraAddress, 65536, homeData()), port);
		row("negative port", request(kCameraAddress, -52381, homeData()), port);
		row("port as text",
		    QStringLiteral("{\"ip\":\"127.0.0.51\",\"port\":\"52381\",\"data\":%1}").arg(homeData()), port);
		row("1025 bytes", request(kCameraAddress, local, "[" + QString("1,").repeated(1024) + "1]"),
		    QStringLiteral("ViscaTransfer: Refused a datagram of 1025 bytes"));
	}
	void badMessagesLeaveTheServiceIntact()
	{
		QFETCH(QByteArray, message);
		QFETCH(bool, binary);
		QFETCH(QString, logged);
		ViscaTransfer relay(loopbackOptions());
		relay.start();
		TestClient client;
		QVERIFY(client.connect(relay.tcpPort()));
		clearLog(); // the relay's start
		client.send(message, binary ? websocketpp::frame::opcode::binary : websocketpp::frame::opcode::text);
		// Messages are handled in order: once the next one is served, this one was handled.
		checkStillServes(client);
		const QStringList lines = loggedLines();
		QCOMPARE(lines.size(), logged.isEmpty() ? 0 : 1);
		QVERIFY2(logged.isEmpty() || lines.first().startsWith(logged), qPrintable(lines.join('\n')));
		QCOMPARE(m_localhost->received(), QList<QByteArray>());
		QCOMPARE(m_otherCamera->received(), QList<QByteArray>());
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
				 .arg(m_camera->port())
				 .arg(padding)
				 .arg(homeData()));
		QCOMPARE(big.waitForClose(), int(websocketpp::close::status::message_too_big));

		TestClient next;
		QVERIFY(next.connect(relay.tcpPort()));
		checkStillServes(next);
		QCOMPARE(m_camera->received().size(), 1);
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
		clearLog();
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
		QCOMPARE(loggedLines().size(), 2);
	}

	void lateRepliesReachTheClient()
	{
		const int delayMs = 600;
		m_camera->setReplyDelayMs(delayMs);
		ViscaTransfer relay(loopbackOptions());
		relay.start();
		TestClient client;
		QVERIFY(client.connect(relay.tcpPort()));
		client.send(homeRequest(2));
		QVERIFY(client.waitForMessages(2, kWaitMs + delayMs));
		QCOMPARE(client.messages(), QStringList({ack(2), completion(2)}));
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
		first.send(request(kCameraAddress, m_camera->port(), "[]"));
		QVERIFY(waitForLogged(QStringLiteral("Data is empty.")));
		m_camera->sendStaleDatagram(QHostAddress(QHostAddress::LocalHost), relay.udpPort(), 9);
		QVERIFY(first.waitForMessages(3));
		first.send(homeRequest(4));
		QVERIFY(first.waitForMessages(5));

		QCOMPARE(first.messages(), QStringList({ack(1), completion(1), completion(9), ack(4), completion(4)}));
		QCOMPARE(second.messages(), QStringList({ack(2), completion(2)}));

		// Clients of different cameras each get their own camera's replies, however they interleave: a late
		// reply of the first one's camera while the second one speaks to its own.
		second.send(request(kOtherCameraAddress, m_otherCamera->port(), homeData(5)));
		m_camera->sendStaleDatagram(QHostAddress(QHostAddress::LocalHost), relay.udpPort(), 6);
		QVERIFY(first.waitForMessages(6));
		QVERIFY(second.waitForMessages(4));
		QCOMPARE(first.messages().mid(5), QStringList({completion(6)}));
		QCOMPARE(second.messages().mid(2), otherCameraReplies(5));
	}

	void manyClients()
	{
		constexpr int kClients = 20;
		ViscaTransfer relay(loopbackOptions());
		relay.start();
		std::vector<std::unique_ptr<TestClient>> clients;
		for (int i = 0; i < kClients; ++i) {
			clients.push_back(std::make_unique<TestClient>());
			QVERIFY(clients.back()->connect(relay.tcpPort()));
		}
		// All at once: every datagram leaves, whoever ends up with the replies.
		for (int i = 0; i < kClients; ++i)
			clients[i]->send(homeRequest(200 + i));
		QVERIFY(m_camera->waitForReceived(kClients, kWaitMs));
		QCOMPARE(m_camera->received().size(), kClients);
	}

	void clientLeavesMidRequest_data()
	{
		QTest::addColumn<bool>("polite");
		QTest::newRow("close handshake") << true;
		QTest::newRow("connection dropped") << false;
	}
	void clientLeavesMidRequest()
	{
		QFETCH(bool, polite);
		m_camera->setReplyDelayMs(300);
		ViscaTransfer relay(loopbackOptions());
		relay.start();
		{
			TestClient leaving;
			QVERIFY(leaving.connect(relay.tcpPort()));
			leaving.send(homeRequest(1));
			QVERIFY(m_camera->waitForReceived(1, kWaitMs));
			if (polite)
				leaving.close();
			else
				leaving.drop();
		}
		// Both replies find nobody to go to.
		QVERIFY(waitForLogged(QStringLiteral("The data is from (127.0.0.51)"), 2));
		m_camera->setReplyDelayMs(0);
		TestClient next;
		QVERIFY(next.connect(relay.tcpPort()));
		checkStillServes(next);
	}

	void stopEndsTheRelay_data() { addTableRows(kStops); }
	void stopEndsTheRelay()
	{
		const auto &[name, talkingClients, silentClients, started, errorLines] = currentTableRow(kStops);
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
		QCOMPARE(countLoggedStartingWith("ViscaTransfer: Error closing connection"), errorLines);
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
			peer.write("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
				   "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
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
		QVERIFY(first.isServing());
		QUdpSocket holder;
		QVERIFY(holder.bind(QHostAddress(QHostAddress::AnyIPv4), 0, QUdpSocket::DontShareAddress));

		ViscaTransfer::Options options = loopbackOptions();
		quint16 busy = 0;
		if (tcp)
			busy = options.tcpPort = first.tcpPort();
		else
			busy = options.udpPort = holder.localPort();
		{
			ViscaTransfer second(options);
			second.start();
			QVERIFY(!second.isServing());
			QCOMPARE(second.tcpPort(), quint16(0));
			QCOMPARE(second.udpPort(), quint16(0));
			second.stop();
		}
		const QString line = QStringLiteral("ViscaTransfer: Cannot %1 port %2: ")
					     .arg(tcp ? QStringLiteral("listen on TCP") : QStringLiteral("bind UDP"))
					     .arg(busy);
		QCOMPARE(countLoggedStartingWith(line), 1);
		QVERIFY(loggedLines().filter(line).first().contains(QStringLiteral("in use")));

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
				client.send(request(kOtherCameraAddress, m_otherCamera->port(), homeData(1)));
			// Messages are handled in order: once this one is, so are the eight.
			client.send(request(kOtherCameraAddress, m_otherCamera->port(), "[]"));
			QVERIFY(waitForLogged(QStringLiteral("Data is empty.")));
			// ... until the camera is assigned to a slot, which the very next request sees.
			relay.setSlotAddresses(
				SlotAddressBook::fromSettings({{QStringLiteral("Camera2IP"), kOtherCameraAddress}}));
		}
		client.send(request(kOtherCameraAddress, m_otherCamera->port(), homeData(2)));
		QVERIFY(client.waitForMessages(2));
		QCOMPARE(client.messages(), otherCameraReplies(2));
		QCOMPARE(m_otherCamera->received(), QList<QByteArray>({homeDatagram(2)}));
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
		QTest::newRow("other case") << "HTTP://LOCALHOST:8080" << panel << false;
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
		QTRY_VERIFY(!loggedLines(true).filter(accepted ? "[connect]" : "[fail]").isEmpty());
		QVERIFY(loggedLines().filter("sesame").isEmpty() && loggedLines(true).filter("sesame").isEmpty());
	}

	void acceptedSocketsSendWithoutDelay()
	{
		ViscaTransfer relay(loopbackOptions());
		relay.start();
		TestClient client;
		QVERIFY(client.connect(relay.tcpPort()));
		const QList<int> sockets = acceptedSockets(relay.tcpPort());
		QCOMPARE(sockets.size(), 1);
		int noDelay = 0;
		socklen_t size = sizeof(noDelay);
		QCOMPARE(getsockopt(sockets.first(), IPPROTO_TCP, TCP_NODELAY, &noDelay, &size), 0);
		QVERIFY(noDelay != 0);
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
		const int waiting = connectTcp(relay.tcpPort());
		const QString failed =
			QStringLiteral("ViscaTransfer: Cannot accept a connection (Too many open files)");
		const bool failedThrice = waitForLogged(failed, 3);
		const qint64 elapsedMs = clock.elapsed();
		limit.release();
		QVERIFY(waiting >= 0);
		QVERIFY(failedThrice);
		// The tries wait 50, then 100 ms after a failure instead of spinning on it.
		QVERIFY2(elapsedMs >= 150, qPrintable(QString::number(elapsedMs)));

		QVERIFY(waitForLogged(QStringLiteral("ViscaTransfer: Accepting connections again after")));
		QCOMPARE(acceptedSockets(relay.tcpPort()).size(), 2);
		::close(waiting);
		checkStillServes(connected);
	}

	void listenLocalKeepsToLoopback_data()
	{
		QTest::addColumn<bool>("local");
		QTest::addColumn<bool>("loopbackAccepted");
		QTest::addColumn<bool>("otherAddressAccepted");
		QTest::newRow("all interfaces") << false << true << true;
		QTest::newRow("this computer only") << true << true << false;
	}
	// In a network namespace of its own (root only), whose loopback device also carries 192.0.2.1, a documentation
	// address no datagram or connection can leave the namespace for.
	void listenLocalKeepsToLoopback()
	{
		QFETCH(bool, local);
		QFETCH(bool, loopbackAccepted);
		QFETCH(bool, otherAddressAccepted);
		if (geteuid() != 0)
			QSKIP("a network namespace of the test's own needs root");
		struct Outcome {
			bool isolated = false;
			QHostAddress listening;
			bool loopback = false;
			bool other = false;
		} outcome;
		// Only this thread (and the relay thread it starts) enters the namespace.
		std::thread isolated([&outcome, local]() {
			if (unshare(CLONE_NEWNET) != 0 ||
			    std::system("ip link set lo up && ip addr add 192.0.2.1/32 dev lo") != 0)
				return;
			outcome.isolated = true;
			ViscaTransfer::Options options = loopbackOptions();
			options.listenAddress =
				local ? QHostAddress(QHostAddress::LocalHost) : QHostAddress(QHostAddress::Any);
			ViscaTransfer relay(options);
			relay.start();
			outcome.listening = relay.listeningAddress();
			for (auto [address, accepted] :
			     {std::pair{"127.0.0.1", &outcome.loopback}, std::pair{"192.0.2.1", &outcome.other}}) {
				const int fd = connectTcp(relay.tcpPort(), address);
				*accepted = fd >= 0;
				if (fd >= 0)
					::close(fd);
			}
		});
		isolated.join();
		if (!outcome.isolated)
			QSKIP("no network namespace could be made here");
		QCOMPARE(outcome.listening.isLoopback(), local);
		QCOMPARE(outcome.loopback, loopbackAccepted);
		QCOMPARE(outcome.other, otherAddressAccepted);
	}
};

QTEST_GUILESS_MAIN(tst_ViscaTransfer)
#include "tst_ViscaTransfer.moc"
