// The WebSocket relay: datagrams out exactly as the client spelled them, replies back as compact JSON the moment
// they arrive and only to the most recent client, refusals of bad input without harm to the service, and a stop
// that ends the relay's thread with clients still connected. Clients are WebSocket++ clients on threads of their
// own and, once, Python's "websockets"; cameras are in-process simulators and a scripted peer on 127.0.0.x.

#include "CameraSimulator.h"
#include "relay/RelayMessage.h"
#include "relay/ViscaTransfer.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QtTest>

#include <websocketpp/client.hpp>
#include <websocketpp/config/asio_no_tls_client.hpp>

#include <asio/post.hpp>

#include <condition_variable>
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
std::condition_variable logChanged;
QStringList logLines;
QtMessageHandler previousHandler = nullptr;

void collectMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
	// The endpoint's own access log is chatty and not part of what the tests assert.
	if (qstrcmp(context.category, "kavren.relay.websocket") == 0)
		return;
	{
		std::lock_guard<std::mutex> lock(logMutex);
		logLines.append(message);
	}
	logChanged.notify_all();
	if (type != QtDebugMsg && previousHandler)
		previousHandler(type, context, message);
}

void clearLog()
{
	std::lock_guard<std::mutex> lock(logMutex);
	logLines.clear();
}

QStringList loggedLines()
{
	std::lock_guard<std::mutex> lock(logMutex);
	return logLines;
}

int countLoggedStartingWith(const QString &prefix)
{
	std::lock_guard<std::mutex> lock(logMutex);
	int n = 0;
	for (const QString &line : qAsConst(logLines))
		n += line.startsWith(prefix) ? 1 : 0;
	return n;
}

bool waitForLogged(const QString &prefix, int count = 1, int timeoutMs = kWaitMs)
{
	std::unique_lock<std::mutex> lock(logMutex);
	return logChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&]() {
		int n = 0;
		for (const QString &line : qAsConst(logLines))
			n += line.startsWith(prefix) ? 1 : 0;
		return n >= count;
	});
}

// --- A WebSocket++ client on a thread of its own; every call into its endpoint is posted to that thread. ---

class TestClient {
public:
	using Endpoint = websocketpp::client<websocketpp::config::asio_client>;

	TestClient()
	{
		m_endpoint.clear_access_channels(websocketpp::log::alevel::all);
		m_endpoint.clear_error_channels(websocketpp::log::elevel::all);
		websocketpp::lib::error_code error;
		m_endpoint.init_asio(error);
		m_endpoint.set_open_handler([this](websocketpp::connection_hdl) { setState(State::Open); });
		m_endpoint.set_fail_handler([this](websocketpp::connection_hdl) { setState(State::Failed); });
		m_endpoint.set_close_handler([this](websocketpp::connection_hdl connection) {
			websocketpp::lib::error_code ignored;
			const auto con = m_endpoint.get_con_from_hdl(connection, ignored);
			std::lock_guard<std::mutex> lock(m_mutex);
			m_closeCode = con ? int(con->get_remote_close_code()) : -1;
			m_state = State::Closed;
			m_changed.notify_all();
		});
		m_endpoint.set_message_handler([this](websocketpp::connection_hdl, Endpoint::message_ptr message) {
			std::lock_guard<std::mutex> lock(m_mutex);
			m_messages.append(QString::fromStdString(message->get_payload()));
			m_changed.notify_all();
		});
	}
	~TestClient() { shutDown(); }
	TestClient(const TestClient &) = delete;
	TestClient &operator=(const TestClient &) = delete;

	bool connect(quint16 port)
	{
		websocketpp::lib::error_code error;
		const auto connection = m_endpoint.get_connection("ws://127.0.0.1:" + std::to_string(port), error);
		if (error)
			return false;
		m_connection = connection->get_handle();
		m_endpoint.connect(connection);
		m_thread = std::thread([this]() { m_endpoint.run(); });
		std::unique_lock<std::mutex> lock(m_mutex);
		return m_changed.wait_for(lock, std::chrono::milliseconds(kWaitMs), [this]() {
			return m_state != State::Connecting;
		}) && m_state == State::Open;
	}

	void send(const QString &text) { send(text.toUtf8(), websocketpp::frame::opcode::text); }
	void send(const QByteArray &bytes, websocketpp::frame::opcode::value opcode)
	{
		const std::string payload = bytes.toStdString();
		asio::post(m_endpoint.get_io_service(), [this, payload, opcode]() {
			websocketpp::lib::error_code ignored;
			m_endpoint.send(m_connection, payload, opcode, ignored);
		});
	}

	// A polite goodbye (close handshake) or a dropped TCP connection.
	void close()
	{
		asio::post(m_endpoint.get_io_service(), [this]() {
			websocketpp::lib::error_code ignored;
			m_endpoint.close(m_connection, websocketpp::close::status::normal, "", ignored);
		});
	}
	void drop()
	{
		asio::post(m_endpoint.get_io_service(), [this]() {
			websocketpp::lib::error_code ignored;
			if (const auto con = m_endpoint.get_con_from_hdl(m_connection, ignored)) {
				asio::error_code socketError;
				con->get_raw_socket().close(socketError);
			}
		});
	}

	bool waitForMessages(int count, int timeoutMs = kWaitMs)
	{
		std::unique_lock<std::mutex> lock(m_mutex);
		return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
					  [&]() { return m_messages.size() >= count; });
	}
	QStringList messages() const
	{
		std::lock_guard<std::mutex> lock(m_mutex);
		return m_messages;
	}
	// The close code the relay sent; -1 while the connection is not closed.
	int waitForClose(int timeoutMs = kWaitMs)
	{
		std::unique_lock<std::mutex> lock(m_mutex);
		m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
				   [this]() { return m_state == State::Closed || m_state == State::Failed; });
		return m_state == State::Closed ? m_closeCode : -1;
	}

	void shutDown()
	{
		if (!m_thread.joinable())
			return;
		close();
		if (waitForClose(2000) < 0)
			m_endpoint.stop();
		m_thread.join();
	}

private:
	enum class State { Connecting, Open, Failed, Closed };
	void setState(State state)
	{
		std::lock_guard<std::mutex> lock(m_mutex);
		m_state = state;
		m_changed.notify_all();
	}

	Endpoint m_endpoint;
	websocketpp::connection_hdl m_connection;
	std::thread m_thread;
	mutable std::mutex m_mutex;
	std::condition_variable m_changed;
	State m_state = State::Connecting;
	QStringList m_messages;
	int m_closeCode = -1;
};

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

ViscaTransfer::Options loopbackOptions()
{
	ViscaTransfer::Options options;
	options.listenAddress = QHostAddress(QHostAddress::LocalHost);
	options.tcpPort = 0;
	options.udpAddress = QHostAddress(QHostAddress::AnyIPv4);
	options.udpPort = 0;
	return options;
}

} // namespace

class tst_ViscaTransfer : public QObject {
	Q_OBJECT

	std::unique_ptr<CameraSimulator> m_camera;      // the camera every request addresses
	std::unique_ptr<CameraSimulator> m_otherCamera; // another camera that only ever sends late replies
	std::unique_ptr<CameraSimulator> m_localhost;   // sits on 127.0.0.1, where a datagram to 0.0.0.0 would land

	std::unique_ptr<CameraSimulator> startSimulator(const QString &address)
	{
		CameraSimulator::Options options;
		options.address = QHostAddress(address);
		options.port = 0;
		auto sim = std::make_unique<CameraSimulator>(options);
		QString error;
		if (!sim->start(&error))
			qFatal("simulator on %s did not start: %s", qPrintable(address), qPrintable(error));
		return sim;
	}

	QString homeRequest(int serial = 1) const
	{
		return request(kCameraAddress, m_camera->port(), homeData(serial));
	}
	QString ack(int serial = 1) const { return replyText(kCameraAddress, m_camera->port(), serial, 0x41); }
	QString completion(int serial = 1) const { return replyText(kCameraAddress, m_camera->port(), serial, 0x51); }

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
		m_camera = startSimulator(kCameraAddress);
		m_otherCamera = startSimulator(kOtherCameraAddress);
		m_localhost = startSimulator(QStringLiteral("127.0.0.1"));
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

	void destinationRules_data()
	{
		QTest::addColumn<QString>("ip");
		QTest::addColumn<bool>("relayed");
		QTest::newRow("loopback") << "127.0.0.51" << true;
		QTest::newRow("private") << "192.168.0.5" << true;
		QTest::newRow("lowest unicast") << "1.0.0.0" << true;
		QTest::newRow("highest unicast") << "223.255.255.255" << true;
		QTest::newRow("limited broadcast") << "255.255.255.255" << false;
		QTest::newRow("multicast low") << "224.0.0.1" << false;
		QTest::newRow("multicast high") << "239.255.255.250" << false;
		QTest::newRow("reserved") << "240.0.0.1" << false;
		QTest::newRow("wildcard") << "0.0.0.0" << false;
		QTest::newRow("this network") << "0.1.2.3" << false;
		QTest::newRow("words") << "not-an-ip" << false;
		QTest::newRow("empty") << "" << false;
		QTest::newRow("five parts") << "127.0.0.1.5" << false;
		QTest::newRow("octet too large") << "127.0.0.256" << false;
		QTest::newRow("trailing space") << "127.0.0.51 " << false;
		QTest::newRow("IPv6 loopback") << "::1" << false;
	}
	void destinationRules()
	{
		QFETCH(QString, ip);
		QFETCH(bool, relayed);
		const std::optional<uint32_t> address = RelayMessage::unicastAddress(ip.toStdString());
		QCOMPARE(address.has_value(), relayed);
		if (relayed)
			QCOMPARE(QHostAddress(*address).toString(), ip);
	}

	void relaysBytesUnchanged_data()
	{
		QTest::addColumn<QString>("data");
		QTest::addColumn<QByteArray>("expected");
		QTest::newRow("home command")
			<< "[1,0,0,5,0,0,0,1,129,1,6,4,255]" << QByteArray::fromHex("010000050000000181010604ff");
		QTest::newRow("low 8 bits")
			<< "[1,0,0,5,0,0,0,1,385,1,6,4,255]" << QByteArray::fromHex("010000050000000181010604ff");
		QTest::newRow("beyond 32 bits") << "[1,0,0,5,0,0,0,1,4294967425,1,6,4,255]"
						<< QByteArray::fromHex("010000050000000181010604ff");
		QTest::newRow("negative")
			<< "[1,0,0,5,0,0,0,1,-127,1,6,4,-1]" << QByteArray::fromHex("010000050000000181010604ff");
		QTest::newRow("fraction truncated")
			<< "[1,0,0,5,0,0,0,1,129.9,1,6,4,255.5]" << QByteArray::fromHex("010000050000000181010604ff");
		QTest::newRow("string as 0")
			<< "[1,0,0,5,0,0,0,1,\"129\",1,6,4,255]" << QByteArray::fromHex("010000050000000100010604ff");
		QTest::newRow("other non-numbers as 0") << "[1,0,0,5,0,0,0,1,true,null,{},[6],255]"
							<< QByteArray::fromHex("010000050000000100000000ff");
		QTest::newRow("single byte") << "[255]" << QByteArray::fromHex("ff");
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
	}

	void emptyDataIsReported_data()
	{
		QTest::addColumn<QString>("message");
		QTest::newRow("empty array") << request(kCameraAddress, 1, "[]");
		QTest::newRow("missing") << "{\"ip\":\"127.0.0.51\",\"port\":52381}";
		QTest::newRow("not an array") << request(kCameraAddress, 1, "129");
		QTest::newRow("object") << request(kCameraAddress, 1, "{\"0\":129}");
		QTest::newRow("empty object") << "{}";
	}
	void emptyDataIsReported()
	{
		QFETCH(QString, message);
		ViscaTransfer relay(loopbackOptions());
		relay.start();
		TestClient client;
		QVERIFY(client.connect(relay.tcpPort()));
		client.send(message);
		QVERIFY(waitForLogged("Data is empty."));
		checkStillServes(client);
		QCOMPARE(countLoggedStartingWith("Data is empty."), 1);
	}

	void ignoresWhatIsNotAnObject_data()
	{
		QTest::addColumn<QByteArray>("payload");
		QTest::addColumn<bool>("binary");
		QTest::newRow("words") << QByteArray("hello camera") << false;
		QTest::newRow("cut short") << QByteArray("{\"ip\":\"127.0.0.51\",\"data\":[1,") << false;
		QTest::newRow("array") << QByteArray("[1,0,0,5,0,0,0,1,129,1,6,4,255]") << false;
		QTest::newRow("number") << QByteArray("42") << false;
		QTest::newRow("string") << QByteArray("\"127.0.0.51\"") << false;
		QTest::newRow("null") << QByteArray("null") << false;
		QTest::newRow("empty") << QByteArray() << false;
		QTest::newRow("invalid UTF-8 in a string")
			<< QByteArray("{\"ip\":\"\xff\xfe\",\"port\":1,\"data\":[1]}") << true;
		QTest::newRow("binary garbage") << QByteArray("\x00\x01\x02\xff", 4) << true;
	}
	void ignoresWhatIsNotAnObject()
	{
		QFETCH(QByteArray, payload);
		QFETCH(bool, binary);
		ViscaTransfer relay(loopbackOptions());
		relay.start();
		TestClient client;
		QVERIFY(client.connect(relay.tcpPort()));
		client.send(payload, binary ? websocketpp::frame::opcode::binary : websocketpp::frame::opcode::text);
		checkStillServes(client);
		QCOMPARE(loggedLines(), QStringList());
	}

	void refusesDestinations_data()
	{
		QTest::addColumn<QString>("message");
		QTest::addColumn<QString>("logged");
		// Ports of 127.0.0.1's simulator where a refused address would otherwise deliver.
		const quint16 local = m_localhost->port();
		const QString address = QStringLiteral("ViscaTransfer: Refused the address (");
		const QString port = QStringLiteral("ViscaTransfer: Refused the port (");
		QTest::newRow("broadcast") << request("255.255.255.255", local, homeData()) << address;
		QTest::newRow("multicast") << request("224.0.0.1", local, homeData()) << address;
		QTest::newRow("wildcard") << request("0.0.0.0", local, homeData()) << address;
		QTest::newRow("not an address") << request("not-an-ip", local, homeData()) << address;
		QTest::newRow("missing address")
			<< QStringLiteral("{\"port\":%1,\"data\":%2}").arg(local).arg(homeData()) << address;
		QTest::newRow("address not a string")
			<< QStringLiteral("{\"ip\":2130706433,\"port\":%1,\"data\":%2}").arg(local).arg(homeData())
			<< address;
		QTest::newRow("port 0") << request(kCameraAddress, 0, homeData()) << port;
		QTest::newRow("port 65536") << request(kCameraAddress, 65536, homeData()) << port;
		QTest::newRow("port 70000") << request(kCameraAddress, 70000, homeData()) << port;
		QTest::newRow("negative port") << request(kCameraAddress, -52381, homeData()) << port;
		QTest::newRow("port as text")
			<< QStringLiteral("{\"ip\":\"127.0.0.51\",\"port\":\"52381\",\"data\":%1}").arg(homeData())
			<< port;
		QTest::newRow("1025 bytes") << request(kCameraAddress, local, "[" + QString("1,").repeated(1024) + "1]")
					    << QStringLiteral("ViscaTransfer: Refused a datagram of 1025 bytes");
	}
	void refusesDestinations()
	{
		QFETCH(QString, message);
		QFETCH(QString, logged);
		ViscaTransfer relay(loopbackOptions());
		relay.start();
		TestClient client;
		QVERIFY(client.connect(relay.tcpPort()));
		client.send(message);
		QVERIFY(waitForLogged(logged));
		checkStillServes(client);
		QCOMPARE(m_localhost->received(), QList<QByteArray>());
		QCOMPARE(m_otherCamera->received(), QList<QByteArray>());
		QCOMPARE(countLoggedStartingWith("It's failed to write data to socket."), 0);
	}

	void largestDatagramIsRelayed()
	{
		ViscaTransfer relay(loopbackOptions());
		relay.start();
		TestClient client;
		QVERIFY(client.connect(relay.tcpPort()));
		client.send(request(kCameraAddress, m_camera->port(), "[" + QString("2,").repeated(1023) + "2]"));
		QVERIFY(m_camera->waitForReceived(1, kWaitMs));
		QCOMPARE(m_camera->received().first(), QByteArray(1024, '\x02'));
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

	void repliesAreForwardedAsTheyArrive()
	{
		// A scripted camera that answers only when the test says so.
		QUdpSocket peer;
		QVERIFY(peer.bind(QHostAddress(kScriptedPeerAddress), 0));
		ViscaTransfer relay(loopbackOptions());
		relay.start();
		TestClient client;
		QVERIFY(client.connect(relay.tcpPort()));
		client.send(request(kScriptedPeerAddress, peer.localPort(), homeData(3)));
		QVERIFY(peer.waitForReadyRead(kWaitMs));
		QHostAddress relayAddress;
		quint16 relayPort = 0;
		QByteArray datagram(int(peer.pendingDatagramSize()), '\0');
		peer.readDatagram(datagram.data(), datagram.size(), &relayAddress, &relayPort);
		QCOMPARE(datagram, homeDatagram(3));

		const QByteArray header = QByteArray::fromHex("01110003") + homeDatagram(3).mid(4, 4);
		peer.writeDatagram(header + QByteArray::fromHex("9041ff"), relayAddress, relayPort);
		// The acknowledge is with the client while the completion has not even been sent.
		QVERIFY(client.waitForMessages(1));
		QCOMPARE(client.messages(), QStringList({replyText(kScriptedPeerAddress, peer.localPort(), 3, 0x41)}));

		// A completion long after the request still gets through, and so does a datagram no request asked for.
		QTest::qWait(600);
		peer.writeDatagram(header + QByteArray::fromHex("9051ff"), relayAddress, relayPort);
		QVERIFY(client.waitForMessages(2));
		peer.writeDatagram(header + QByteArray::fromHex("9051ff"), relayAddress, relayPort);
		QVERIFY(client.waitForMessages(3));
		QCOMPARE(client.messages().mid(1),
			 QStringList({replyText(kScriptedPeerAddress, peer.localPort(), 3, 0x51),
				      replyText(kScriptedPeerAddress, peer.localPort(), 3, 0x51)}));
	}

	void lateRepliesReachTheClient_data()
	{
		QTest::addColumn<int>("delayMs");
		QTest::newRow("at once") << 0;
		QTest::newRow("after 600 ms") << 600;
	}
	void lateRepliesReachTheClient()
	{
		QFETCH(int, delayMs);
		m_camera->setReplyDelayMs(delayMs);
		ViscaTransfer relay(loopbackOptions());
		relay.start();
		TestClient client;
		QVERIFY(client.connect(relay.tcpPort()));
		client.send(homeRequest(2));
		QVERIFY(client.waitForMessages(2, kWaitMs + delayMs));
		QCOMPARE(client.messages(), QStringList({ack(2), completion(2)}));
	}

	void repliesGoToTheMostRecentClient()
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
	}

	void repliesFromAnotherAddressAreDropped()
	{
		ViscaTransfer relay(loopbackOptions());
		relay.start();
		TestClient client;
		QVERIFY(client.connect(relay.tcpPort()));
		client.send(homeRequest(1));
		QVERIFY(client.waitForMessages(2));

		// A late reply of a camera addressed by someone earlier, then one of the current camera.
		m_otherCamera->sendStaleDatagram(QHostAddress(QHostAddress::LocalHost), relay.udpPort(), 5);
		QVERIFY(waitForLogged(QStringLiteral("The data is from (127.0.0.52)")));
		m_camera->sendStaleDatagram(QHostAddress(QHostAddress::LocalHost), relay.udpPort(), 6);
		QVERIFY(client.waitForMessages(3));
		QCOMPARE(client.messages(), QStringList({ack(1), completion(1), completion(6)}));
		QCOMPARE(loggedLines(), QStringList({"The data is from (127.0.0.52)"}));
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
		// One after another, each gets exactly the replies to its own request.
		for (int i = 0; i < kClients; ++i) {
			clients[i]->send(homeRequest(100 + i));
			QVERIFY(clients[i]->waitForMessages(2));
		}
		for (int i = 0; i < kClients; ++i)
			QCOMPARE(clients[i]->messages(), QStringList({ack(100 + i), completion(100 + i)}));

		// All at once: every datagram leaves, whoever ends up with the replies.
		m_camera->clearReceived();
		for (int i = 0; i < kClients; ++i)
			clients[i]->send(homeRequest(200 + i));
		QVERIFY(m_camera->waitForReceived(kClients, kWaitMs));
		QCOMPARE(m_camera->received().size(), kClients);

		// Stopping with all of them connected closes every one as "going away".
		relay.stop();
		for (int i = 0; i < kClients; ++i)
			QCOMPARE(clients[i]->waitForClose(), int(websocketpp::close::status::going_away));
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
		QVERIFY(waitForLogged(QStringLiteral("ViscaTransfer: The reply could not be sent to the client"), 2));
		m_camera->setReplyDelayMs(0);
		TestClient next;
		QVERIFY(next.connect(relay.tcpPort()));
		checkStillServes(next);
	}

	void stopEndsTheRelay_data()
	{
		QTest::addColumn<int>("talkingClients");
		QTest::addColumn<int>("silentClients");
		QTest::addColumn<bool>("started");
		QTest::addColumn<int>("errorLines"); // "ViscaTransfer: Error closing connection"
		QTest::newRow("never started") << 0 << 0 << false << 1;
		QTest::newRow("no client") << 0 << 0 << true << 1;
		QTest::newRow("clients that never spoke") << 0 << 3 << true << 1;
		QTest::newRow("one client spoke") << 1 << 0 << true << 0;
		QTest::newRow("several clients") << 2 << 3 << true << 0;
	}
	void stopEndsTheRelay()
	{
		QFETCH(int, talkingClients);
		QFETCH(int, silentClients);
		QFETCH(bool, started);
		QFETCH(int, errorLines);
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
			// Give the relay's loop time to take the connection off the backlog, so that stop() meets a
			// connection in its opening handshake rather than one the kernel still holds.
			QTest::qWait(200);
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

	void pythonClient()
	{
		QString python =
			QStandardPaths::findExecutable(QStringLiteral("python3"), {QStringLiteral("/usr/bin")});
		if (python.isEmpty())
			python = QStandardPaths::findExecutable(QStringLiteral("python3"));
		if (python.isEmpty())
			QSKIP("python3 is not installed");
		if (QProcess::execute(python, {QStringLiteral("-c"), QStringLiteral("import websockets")}) != 0)
			QSKIP("the python3 websockets module is not installed");

		ViscaTransfer relay(loopbackOptions());
		relay.start();
		QProcess client;
		client.start(python,
			     {QStringLiteral(KAVREN_SOURCE_DIR "/tests/relay_python_client.py"),
			      QStringLiteral("ws://127.0.0.1:%1").arg(relay.tcpPort()), kCameraAddress,
			      QString::number(m_camera->port()), QStringLiteral("1,0,0,5,0,0,0,1,129,1,6,4,255"),
			      QStringLiteral("2"), QStringLiteral("5")});
		QVERIFY(client.waitForFinished(15000));
		QCOMPARE(client.exitCode(), 0);
		const QStringList lines =
			QString::fromUtf8(client.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
		QCOMPARE(lines, QStringList({ack(1), completion(1)}));
		QCOMPARE(m_camera->received(), QList<QByteArray>({homeDatagram(1)}));
	}
};

QTEST_GUILESS_MAIN(tst_ViscaTransfer)
#include "tst_ViscaTransfer.moc"
