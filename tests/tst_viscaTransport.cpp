// The camera link's transport: framing, serial numbers, the command and inquiry exchanges, error classes, the
// second-reply receive, the bounded receive and the link probes, against the simulated camera and, where exact
// reply bytes matter, against a scripted loopback peer.

#include "CameraSimulator.h"
#include "visca/ViscaReply.h"
#include "visca/viscaIpModule.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QMutexLocker>
#include <QUdpSocket>
#include <QtTest>

#include <thread>

namespace {

QByteArray hex(const char *text)
{
	return QByteArray::fromHex(QByteArray(text));
}

// Header bytes 4..7: one nibble of the serial number per byte.
QByteArray serialBytes(uint32_t serial)
{
	QByteArray bytes;
	for (int shift = 12; shift >= 0; shift -= 4)
		bytes.append(char((serial >> shift) & 0x0F));
	return bytes;
}

// Log lines of the link, collected so that a test can assert the exact texts.
QMutex logMutex;
QStringList logLines;
QtMessageHandler previousHandler = nullptr;

void collectMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
	{
		QMutexLocker lock(&logMutex);
		logLines.append(message);
	}
	if (type != QtDebugMsg && previousHandler)
		previousHandler(type, context, message);
}

int countLogged(const QString &line)
{
	QMutexLocker lock(&logMutex);
	return int(logLines.count(line));
}

int countLoggedStartingWith(const QString &prefix)
{
	QMutexLocker lock(&logMutex);
	int n = 0;
	for (const QString &line : qAsConst(logLines))
		n += line.startsWith(prefix) ? 1 : 0;
	return n;
}

// Opens the protected exchange helpers to the tests.
class TestLink : public viscaIpModule {
public:
	using viscaIpModule::appendNibbles16;
	using viscaIpModule::appendNibbles8;
	using viscaIpModule::expectSecondReply;
	using viscaIpModule::sendCommand;
	using viscaIpModule::sendInquiry;

	void setSerial(uint32_t serial) { serialNum = serial; }
	void aim(const QHostAddress &address, quint16 port)
	{
		cameraAddr = address;
		cameraPortNum = port;
	}
	bool bindLoopback() { return socket->bind(QHostAddress(QHostAddress::LocalHost), 0); }
	quint16 localPort() const { return socket->localPort(); }
	bool hasPending() const
	{
		return socket->state() == QAbstractSocket::BoundState && socket->hasPendingDatagrams();
	}
	bool secondReplyArmed() const { return secondReply; }

	// Header + payload under a fresh serial number, as the command set frames its packets.
	QByteArray frame(uint8_t type, const QByteArray &payload, uint32_t *serial)
	{
		QByteArray packet(8, '\0');
		*serial = setViscaIpHeader(reinterpret_cast<uint8_t *>(packet.data()), type, uint8_t(payload.size()));
		return packet + payload;
	}
	qint64 send(const QByteArray &packet)
	{
		return writeVisca(reinterpret_cast<const uint8_t *>(packet.constData()), packet.size());
	}
};

const QByteArray kClear = hex("81 01 00 01 ff");
const QByteArray kPowerInquiry = hex("81 09 04 00 ff");

// A receive is bounded by 35 polls of 10 ms; a generous window keeps these checks free of timing noise.
constexpr qint64 kBoundFloorMs = 300;
constexpr qint64 kBoundCeilingMs = 2000;

enum Fault { NoFault, DropReplies, WrongSerial, ErrorReply, Silent, NoAddressSet };

void applyFault(CameraSimulator &sim, int fault, int amount)
{
	switch (fault) {
	case DropReplies:
		sim.dropNextReplies(amount);
		break;
	case WrongSerial:
		sim.wrongSerialNextReplies(amount);
		break;
	case ErrorReply:
		sim.errorNextRequest(uint8_t(amount));
		break;
	case Silent:
		sim.setSilent(true);
		break;
	case NoAddressSet:
		sim.setAnswersAddressSet(false);
		break;
	default:
		break;
	}
}

} // namespace

class tst_viscaTransport : public QObject {
	Q_OBJECT

	std::unique_ptr<CameraSimulator> sim;

	// A simulated camera on its own loopback address and an ephemeral port, and a link pointed at it.
	bool startSimulator(const char *address)
	{
		CameraSimulator::Options options;
		options.address = QHostAddress(QString::fromLatin1(address));
		options.port = 0;
		sim = std::make_unique<CameraSimulator>(options);
		QString error;
		if (!sim->start(&error)) {
			qWarning("simulator did not start: %s", qPrintable(error));
			return false;
		}
		return true;
	}
	bool connectLink(TestLink &link)
	{
		const bool ok = link.onConnectToCamera(sim->address().toString(), sim->port());
		sim->clearReceived();
		return ok;
	}
	static void clearLog()
	{
		QMutexLocker lock(&logMutex);
		logLines.clear();
	}

private slots:
	void initTestCase() { previousHandler = qInstallMessageHandler(collectMessage); }
	void cleanupTestCase() { qInstallMessageHandler(previousHandler); }
	void init() { clearLog(); }
	void cleanup() { sim.reset(); }

	void headerFraming_data()
	{
		QTest::addColumn<uint32_t>("startSerial");
		QTest::addColumn<uint8_t>("type");
		QTest::addColumn<uint8_t>("length");
		QTest::addColumn<uint32_t>("serial");
		QTest::addColumn<QByteArray>("header");

		QTest::newRow("first message carries 1")
			<< 0u << uint8_t(0x00) << uint8_t(5) << 1u << hex("01 00 00 05 00 00 00 01");
		QTest::newRow("65535 wraps to 0")
			<< 65535u << uint8_t(0x00) << uint8_t(9) << 0u << hex("01 00 00 09 00 00 00 00");
		QTest::newRow("0x1000 one nibble per byte")
			<< 0x0FFFu << uint8_t(0x10) << uint8_t(5) << 0x1000u << hex("01 10 00 05 01 00 00 00");
		QTest::newRow("0x00AB") << 0x00AAu << uint8_t(0x10) << uint8_t(7) << 0x00ABu
					<< hex("01 10 00 07 00 00 0a 0b");
		QTest::newRow("0x1A2B") << 0x1A2Au << uint8_t(0x00) << uint8_t(4) << 0x1A2Bu
					<< hex("01 00 00 04 01 0a 02 0b");
		QTest::newRow("65534 reaches 65535")
			<< 65534u << uint8_t(0x00) << uint8_t(6) << 65535u << hex("01 00 00 06 0f 0f 0f 0f");
	}
	void headerFraming()
	{
		QFETCH(uint32_t, startSerial);
		QFETCH(uint8_t, type);
		QFETCH(uint8_t, length);
		QFETCH(uint32_t, serial);
		QFETCH(QByteArray, header);

		TestLink link;
		link.setSerial(startSerial);
		uint8_t buffer[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
		QCOMPARE(link.setViscaIpHeader(buffer, type, length), serial);
		QCOMPARE(QByteArray(reinterpret_cast<const char *>(buffer), 8).toHex(' '), header.toHex(' '));
		QCOMPARE(link.getSerialNum(), serial);
		QCOMPARE(countLogged(QStringLiteral("countingSerialNum: %1").arg(serial)), 1);
	}

	void interfaceClearOnTheWire_data()
	{
		QTest::addColumn<uint32_t>("startSerial");
		QTest::addColumn<QByteArray>("datagram");

		QTest::newRow("serial 1") << 0u << hex("01 00 00 05 00 00 00 01 81 01 00 01 ff");
		QTest::newRow("serial 0x00AB") << 0x00AAu << hex("01 00 00 05 00 00 0a 0b 81 01 00 01 ff");
		QTest::newRow("serial 0x1000") << 0x0FFFu << hex("01 00 00 05 01 00 00 00 81 01 00 01 ff");
		QTest::newRow("serial 0 after 65535") << 65535u << hex("01 00 00 05 00 00 00 00 81 01 00 01 ff");
	}
	void interfaceClearOnTheWire()
	{
		QFETCH(uint32_t, startSerial);
		QFETCH(QByteArray, datagram);

		QVERIFY(startSimulator("127.0.0.21"));
		TestLink link;
		QVERIFY(connectLink(link));
		link.setSerial(startSerial);
		link.setCmdClear();
		QVERIFY(link.lastExchangeOk());
		QVERIFY(sim->waitForReceived(1, 2000));
		const QList<QByteArray> received = sim->received();
		QCOMPARE(received.size(), 1);
		QCOMPARE(received.first().toHex(' '), datagram.toHex(' '));
	}

	void echoedSerial_data()
	{
		QTest::addColumn<QByteArray>("reply");
		QTest::addColumn<uint32_t>("serial");
		QTest::addColumn<bool>("carried"); // whether the reply counts as one to that serial number

		QTest::newRow("plain nibbles") << hex("01 11 00 03 00 00 0a 0b 90 41 ff") << 0x00ABu << true;
		QTest::newRow("high nibbles ignored") << hex("01 11 00 03 10 20 3a 4b 90 41 ff") << 0x00ABu << true;
		QTest::newRow("all ones") << hex("01 11 00 03 ff ff ff ff 90 51 ff") << 0xFFFFu << true;
		QTest::newRow("0x1A2B") << hex("01 11 00 03 01 0a 02 0b 90 51 ff") << 0x1A2Bu << true;
		QTest::newRow("header alone") << hex("01 11 00 00 00 00 00 00") << 0u << true;
		// Too short to hold a serial number: whatever the missing bytes decode to, it matches nothing.
		QTest::newRow("missing bytes count 0") << hex("01 11 00 03 0c 0d") << 0xCD00u << false;
		QTest::newRow("empty never matches serial 0") << QByteArray() << 0u << false;
	}
	void echoedSerial()
	{
		QFETCH(QByteArray, reply);
		QFETCH(uint32_t, serial);
		QFETCH(bool, carried);
		QCOMPARE(ViscaReply::echoedSerial(reply), serial);
		QCOMPARE(ViscaReply::carriesSerial(reply, serial), carried);
	}

	void replyBytes_data()
	{
		QTest::addColumn<QByteArray>("reply");
		QTest::addColumn<int>("index");
		QTest::addColumn<int>("byte");
		QTest::addColumn<int>("nibble");

		const QByteArray answer = hex("01 11 00 07 00 00 00 05 90 50 0a 0b 0c 3d ff");
		QTest::newRow("first data byte") << answer << 10 << 0x0A << 0x0A;
		QTest::newRow("high nibble dropped") << answer << 13 << 0x3D << 0x0D;
		QTest::newRow("terminator") << answer << 14 << 0xFF << 0x0F;
		QTest::newRow("past the end") << answer << 15 << 0 << 0;
		QTest::newRow("negative index") << answer << -1 << 0 << 0;
		QTest::newRow("empty reply") << QByteArray() << 10 << 0 << 0;
	}
	void replyBytes()
	{
		QFETCH(QByteArray, reply);
		QFETCH(int, index);
		QFETCH(int, byte);
		QFETCH(int, nibble);
		QCOMPARE(ViscaReply::byteAt(reply, index), byte);
		QCOMPARE(ViscaReply::nibbleAt(reply, index), nibble);
	}

	void nibbleAppenders_data()
	{
		QTest::addColumn<bool>("sixteen");
		QTest::addColumn<int>("value");
		QTest::addColumn<QByteArray>("bytes");

		QTest::newRow("16: 0x1A2B") << true << 0x1A2B << hex("01 0a 02 0b");
		QTest::newRow("16: 0x4000") << true << 0x4000 << hex("04 00 00 00");
		QTest::newRow("16: bits above 15 dropped") << true << 0x3FFFF << hex("0f 0f 0f 0f");
		QTest::newRow("8: 18") << false << 18 << hex("01 02");
		QTest::newRow("8: 0xFF") << false << 0xFF << hex("0f 0f");
		QTest::newRow("8: bits above 7 dropped") << false << 0x1FF << hex("0f 0f");
	}
	void nibbleAppenders()
	{
		QFETCH(bool, sixteen);
		QFETCH(int, value);
		QFETCH(QByteArray, bytes);
		QByteArray payload = hex("81");
		if (sixteen)
			TestLink::appendNibbles16(payload, uint32_t(value));
		else
			TestLink::appendNibbles8(payload, value);
		QCOMPARE(payload.toHex(' '), (hex("81") + bytes).toHex(' '));
	}

	void checkViscaError_data()
	{
		QTest::addColumn<QByteArray>("reply");
		QTest::addColumn<bool>("isError");
		QTest::addColumn<QString>("logLine");

		QTest::newRow("syntax") << hex("01 11 00 04 00 00 00 01 90 60 02 ff") << true
					<< "error = ACK_SYNTAX_ERROR 2";
		QTest::newRow("buffer full")
			<< hex("01 11 00 04 00 00 00 01 90 60 03 ff") << true << "error = ACK_SOCKET_FULL 3";
		QTest::newRow("no socket")
			<< hex("01 11 00 04 00 00 00 01 90 62 05 ff") << true << "error = ACK_NO_SOCKET 5";
		QTest::newRow("not executable")
			<< hex("01 11 00 04 00 00 00 01 90 61 41 ff") << true << "error = ACK_COMMAND_NOT_ECECUTE 65";
		QTest::newRow("cancelled, no line") << hex("01 11 00 04 00 00 00 01 90 61 04 ff") << true << QString();
		QTest::newRow("acknowledge") << hex("01 11 00 03 00 00 00 01 90 41 ff") << false << QString();
		QTest::newRow("completion") << hex("01 11 00 03 00 00 00 01 90 51 ff") << false << QString();
		QTest::newRow("answer starting 6") << hex("01 11 00 04 00 00 00 01 90 50 62 ff") << false << QString();
		QTest::newRow("other sender byte") << hex("01 11 00 04 00 00 00 01 a0 60 02 ff") << false << QString();
		QTest::newRow("too short for a code") << hex("01 11 00 04 00 00 00 01 90 60") << false << QString();
		QTest::newRow("empty") << QByteArray() << false << QString();
	}
	void checkViscaError()
	{
		QFETCH(QByteArray, reply);
		QFETCH(bool, isError);
		QFETCH(QString, logLine);

		TestLink link;
		QCOMPARE(link.checkViscaError(reply), isError);
		if (logLine.isEmpty())
			QCOMPARE(countLoggedStartingWith(QStringLiteral("error = ")), 0);
		else
			QCOMPARE(countLogged(logLine), 1);
	}

	// Exact reply bytes from a scripted peer, queued in the link's socket before the exchange reads them.
	void commandReplies_data()
	{
		QTest::addColumn<QList<QByteArray>>("replies");
		QTest::addColumn<bool>("completionFirst"); // the second-reply flag is set before the exchange
		QTest::addColumn<uint32_t>("serial");
		QTest::addColumn<bool>("ok");
		QTest::addColumn<int>("serialErrors");
		QTest::addColumn<bool>("leftUnread");

		const QByteArray ack = hex("01 11 00 03 00 00 0a 0b 90 41 ff");
		const QByteArray done = hex("01 11 00 03 00 00 0a 0b 90 51 ff");
		const QByteArray refused = hex("01 11 00 04 00 00 0a 0b 90 61 41 ff");
		const auto row = [](const char *name, const QList<QByteArray> &replies, bool completionFirst,
				    uint32_t serial, bool ok, int serialErrors, bool leftUnread) {
			QTest::newRow(name) << replies << completionFirst << serial << ok << serialErrors << leftUnread;
		};
		row("ack and completion", {ack, done}, false, 0x00AB, true, 0, false);
		row("serial matched on low nibbles",
		    {hex("01 11 00 03 10 20 3a 4b 90 41 ff"), hex("01 11 00 03 f0 e0 da cb 90 51 ff")}, false, 0x00AB,
		    true, 0, false);
		row("reply class not examined", {ack, ack}, false, 0x00AB, true, 0, false);
		row("first reply wrong serial", {hex("01 11 00 03 00 00 0a 0c 90 41 ff"), done}, false, 0x00AB, false,
		    1, true);
		row("second reply wrong serial", {ack, hex("01 11 00 03 00 01 0a 0b 90 51 ff")}, false, 0x00AB, false,
		    1, false);
		row("error instead of ack", {refused, done}, false, 0x00AB, false, 0, true);
		row("error instead of completion", {ack, hex("01 11 00 04 00 00 0a 0b 90 61 02 ff")}, false, 0x00AB,
		    false, 0, false);
		row("truncated first reply", {hex("01 11 00 03 00 00"), done}, false, 0x00AB, false, 1, true);
		row("completion missing", {ack}, false, 0x00AB, false, 1, false);
		// Silence decodes as serial number 0, yet it is no reply to the message that carried 0.
		row("silence under serial 0", {}, false, 0, false, 1, false);
		row("silence under serial 0, completion awaited", {}, true, 0, false, 1, false);
		// Awaiting the completion: it ends the exchange; whatever follows is left for the next send to discard.
		row("completion ends the exchange", {ack, done, ack}, true, 0x00AB, true, 0, true);
		row("completion alone", {done}, true, 0x00AB, true, 0, false);
		row("completion lost", {ack}, true, 0x00AB, false, 1, false);
		row("refused instead of completing", {ack, refused}, true, 0x00AB, false, 0, false);
	}
	void commandReplies()
	{
		QFETCH(QList<QByteArray>, replies);
		QFETCH(bool, completionFirst);
		QFETCH(uint32_t, serial);
		QFETCH(bool, ok);
		QFETCH(int, serialErrors);
		QFETCH(bool, leftUnread);

		QUdpSocket peer;
		QVERIFY(peer.bind(QHostAddress(QStringLiteral("127.0.0.22")), 0));
		TestLink link;
		QVERIFY(link.bindLoopback());
		link.aim(peer.localAddress(), peer.localPort());
		for (const QByteArray &reply : replies)
			QCOMPARE(peer.writeDatagram(reply, QHostAddress::LocalHost, link.localPort()),
				 qint64(reply.size()));
		// Loopback queues a datagram before its send returns, so all of them wait once the first does.
		if (!replies.isEmpty())
			QTRY_VERIFY_WITH_TIMEOUT(link.hasPending(), 2000);
		if (completionFirst)
			link.expectSecondReply();

		QCOMPARE(link.ViscaAckComplete(serial), ok);
		QCOMPARE(link.lastExchangeOk(), ok);
		QCOMPARE(countLogged(QStringLiteral("check count number Error!!")), serialErrors);
		// A failed first reply ends the exchange, and so does a completion: nothing more is consumed.
		QCOMPARE(link.hasPending(), leftUnread);
	}

	void commandRetry_data()
	{
		QTest::addColumn<int>("fault");
		QTest::addColumn<int>("amount");
		QTest::addColumn<int>("tries");
		QTest::addColumn<int>("sends");
		QTest::addColumn<bool>("ok");
		QTest::addColumn<QString>("logLine");

		QTest::newRow("answered at once") << int(NoFault) << 0 << 2 << 1 << true << QString();
		QTest::newRow("ack lost") << int(DropReplies) << 1 << 2 << 2 << true << "check count number Error!!";
		QTest::newRow("ack and completion lost")
			<< int(DropReplies) << 2 << 2 << 2 << true << "check count number Error!!";
		QTest::newRow("wrong serial once")
			<< int(WrongSerial) << 1 << 2 << 2 << true << "check count number Error!!";
		QTest::newRow("not executable once")
			<< int(ErrorReply) << 0x41 << 2 << 2 << true << "error = ACK_COMMAND_NOT_ECECUTE 65";
		QTest::newRow("buffer full once")
			<< int(ErrorReply) << 0x03 << 2 << 2 << true << "error = ACK_SOCKET_FULL 3";
		QTest::newRow("one try, lost")
			<< int(DropReplies) << 2 << 1 << 1 << false << "check count number Error!!";
		QTest::newRow("one try, syntax error")
			<< int(ErrorReply) << 0x02 << 1 << 1 << false << "error = ACK_SYNTAX_ERROR 2";
		QTest::newRow("zero tries still sends once") << int(NoFault) << 0 << 0 << 1 << true << QString();
		QTest::newRow("three tries, two lost")
			<< int(DropReplies) << 4 << 3 << 3 << true << "check count number Error!!";
		QTest::newRow("silent camera") << int(Silent) << 0 << 2 << 2 << false << "check count number Error!!";
	}
	void commandRetry()
	{
		QFETCH(int, fault);
		QFETCH(int, amount);
		QFETCH(int, tries);
		QFETCH(int, sends);
		QFETCH(bool, ok);
		QFETCH(QString, logLine);

		QVERIFY(startSimulator("127.0.0.23"));
		TestLink link;
		QVERIFY(connectLink(link));
		applyFault(*sim, fault, amount);
		clearLog();

		uint32_t serial = 0;
		const QByteArray packet = link.frame(0x00, kClear, &serial);
		QVERIFY(link.writeViscaWithAckComplete(reinterpret_cast<const uint8_t *>(packet.constData()),
						       packet.size(), serial, tries));
		QCOMPARE(link.lastExchangeOk(), ok);
		QVERIFY(sim->waitForReceived(sends, 2000));
		const QList<QByteArray> received = sim->received();
		QCOMPARE(received.size(), sends);
		// A resend is the identical packet: same serial number, same bytes.
		for (const QByteArray &datagram : received)
			QCOMPARE(datagram.toHex(' '), packet.toHex(' '));
		if (!logLine.isEmpty())
			QVERIFY(countLogged(logLine) >= 1);
		else
			QCOMPARE(countLoggedStartingWith(QStringLiteral("check count number Error!!")), 0);
	}

	void answeredTellsSilenceFromRefusal_data()
	{
		QTest::addColumn<bool>("inquiry");
		QTest::addColumn<int>("fault");
		QTest::addColumn<bool>("ok");
		QTest::addColumn<bool>("answered");

		QTest::newRow("command completed") << false << int(NoFault) << true << true;
		QTest::newRow("command refused") << false << int(ErrorReply) << false << true;
		QTest::newRow("command to a silent camera") << false << int(Silent) << false << false;
		QTest::newRow("inquiry answered") << true << int(NoFault) << true << true;
		QTest::newRow("inquiry refused") << true << int(ErrorReply) << false << true;
		QTest::newRow("inquiry to a silent camera") << true << int(Silent) << false << false;
	}
	void answeredTellsSilenceFromRefusal()
	{
		QFETCH(bool, inquiry);
		QFETCH(int, fault);
		QFETCH(bool, ok);
		QFETCH(bool, answered);

		QVERIFY(startSimulator("127.0.0.29"));
		TestLink link;
		QVERIFY(connectLink(link));
		applyFault(*sim, fault, 0x41);
		if (inquiry)
			link.sendInquiry(kPowerInquiry);
		else
			link.sendCommand(kClear, 1);
		QCOMPARE(link.lastExchangeOk(), ok);
		QCOMPARE(link.lastExchangeAnswered(), answered);
	}

	void abortedLinkSendsOnceAndStopsWaiting()
	{
		QVERIFY(startSimulator("127.0.0.30"));
		TestLink link;
		QVERIFY(connectLink(link));
		sim->setSilent(true);

		// Aborted while the exchange waits for a silent camera: the wait ends and the packet is not resent.
		std::thread aborter([&]() {
			if (sim->waitForReceived(1, 5000))
				link.abortWaits();
		});
		link.sendCommand(kClear, 2);
		aborter.join();
		QVERIFY(link.waitsAborted());
		QCOMPARE(sim->received().size(), 1);
		QVERIFY(!link.lastExchangeAnswered());

		// Once aborted, every later exchange still sends its packet, once, and waits for nothing.
		link.sendCommand(kClear, 2);
		link.sendInquiry(kPowerInquiry);
		QVERIFY(sim->waitForReceived(3, 2000));
		QCOMPARE(sim->received().size(), 3);
	}

	void sendCommandReportsOutcome_data()
	{
		QTest::addColumn<int>("fault");
		QTest::addColumn<int>("tries");
		QTest::addColumn<bool>("ok");

		QTest::newRow("completed") << int(NoFault) << 2 << true;
		QTest::newRow("rejected, one try") << int(ErrorReply) << 1 << false;
		QTest::newRow("rejected, then completed") << int(ErrorReply) << 2 << true;
	}
	void sendCommandReportsOutcome()
	{
		QFETCH(int, fault);
		QFETCH(int, tries);
		QFETCH(bool, ok);

		QVERIFY(startSimulator("127.0.0.24"));
		TestLink link;
		QVERIFY(connectLink(link));
		applyFault(*sim, fault, 0x41);
		const uint32_t before = link.getSerialNum();
		QCOMPARE(link.sendCommand(hex("81 01 04 00 02 ff"), tries), ok);
		QCOMPARE(link.lastExchangeOk(), ok);
		// One packet, one serial number, however many sends.
		QCOMPARE(link.getSerialNum(), before + 1);
		QVERIFY(sim->waitForReceived(1, 2000));
		QCOMPARE(sim->received().first().toHex(' '),
			 (hex("01 00 00 06") + serialBytes(before + 1) + hex("81 01 04 00 02 ff")).toHex(' '));
	}

	void secondReply_data()
	{
		QTest::addColumn<bool>("inquiry");
		QTest::addColumn<bool>("silent");
		QTest::addColumn<int>("replyClass");
		QTest::addColumn<bool>("fullBound");

		// A command is answered twice (ack, completion): the completion is returned as soon as it is there.
		QTest::newRow("two replies return the second") << false << false << 0x5 << false;
		// An inquiry is answered once: that answer, but only after the whole bound.
		QTest::newRow("one reply returns it after the bound") << true << false << 0x5 << true;
		QTest::newRow("no reply") << false << true << -1 << true;
	}
	void secondReply()
	{
		QFETCH(bool, inquiry);
		QFETCH(bool, silent);
		QFETCH(int, replyClass);
		QFETCH(bool, fullBound);

		QVERIFY(startSimulator("127.0.0.25"));
		TestLink link;
		QVERIFY(connectLink(link));
		sim->setSilent(silent);
		clearLog();

		uint32_t serial = 0;
		const QByteArray packet = link.frame(inquiry ? 0x10 : 0x00, inquiry ? kPowerInquiry : kClear, &serial);
		link.expectSecondReply();
		QElapsedTimer clock;
		clock.start();
		QVERIFY(link.send(packet) > 0);
		const QByteArray reply = link.readVisca();
		const qint64 elapsed = clock.elapsed();

		QCOMPARE(countLogged(QStringLiteral("check second Ack")), 1);
		QVERIFY(!link.secondReplyArmed());
		if (replyClass < 0) {
			QVERIFY(reply.isEmpty());
		} else {
			QCOMPARE(ViscaReply::echoedSerial(reply), serial);
			QCOMPARE(ViscaReply::byteAt(reply, 8), 0x90);
			QCOMPARE(ViscaReply::byteAt(reply, 9) >> 4, replyClass);
		}
		if (fullBound)
			QVERIFY2(elapsed >= kBoundFloorMs, qPrintable(QString::number(elapsed)));
		QVERIFY2(elapsed < kBoundCeilingMs, qPrintable(QString::number(elapsed)));
		// Cleared by that receive: the next one takes the first datagram again.
		QVERIFY(link.send(link.frame(0x00, kClear, &serial)) > 0);
		const QByteArray next = link.readVisca();
		QCOMPARE(next.isEmpty(), silent);
		if (!silent)
			QCOMPARE(ViscaReply::byteAt(next, 9) >> 4, 0x4);
	}

	void secondReplyCommand_data()
	{
		QTest::addColumn<int>("fault");
		QTest::addColumn<int>("amount");
		QTest::addColumn<int>("tries");
		QTest::addColumn<int>("sends");
		QTest::addColumn<bool>("ok");

		QTest::newRow("completed: sent once") << int(NoFault) << 0 << 2 << 1 << true;
		QTest::newRow("completed, one try") << int(NoFault) << 0 << 1 << 1 << true;
		QTest::newRow("refused, then completed") << int(ErrorReply) << 0x41 << 2 << 2 << true;
		QTest::newRow("refused, one try") << int(ErrorReply) << 0x41 << 1 << 1 << false;
		QTest::newRow("replies lost, then completed") << int(DropReplies) << 2 << 2 << 2 << true;
		QTest::newRow("silent camera") << int(Silent) << 0 << 2 << 2 << false;
	}
	void secondReplyCommand()
	{
		// A command awaiting its completion takes it as the second datagram of its first receive; that ends
		// the exchange, and only a failed one is sent again.
		QFETCH(int, fault);
		QFETCH(int, amount);
		QFETCH(int, tries);
		QFETCH(int, sends);
		QFETCH(bool, ok);

		QVERIFY(startSimulator("127.0.0.25"));
		TestLink link;
		QVERIFY(connectLink(link));
		applyFault(*sim, fault, amount);
		clearLog();
		link.expectSecondReply();
		QCOMPARE(link.sendCommand(hex("81 01 04 07 00 ff"), tries), ok);
		QCOMPARE(link.lastExchangeOk(), ok);
		QVERIFY(sim->waitForReceived(sends, 2000));
		const QList<QByteArray> received = sim->received();
		QCOMPARE(received.size(), sends);
		QCOMPARE(received.constFirst(), received.constLast());
		QCOMPARE(countLogged(QStringLiteral("check second Ack")), 1);
	}

	void staleDatagramDiscarded_data()
	{
		QTest::addColumn<bool>("staleCarriesNextSerial");
		QTest::newRow("stale with an old serial") << false;
		QTest::newRow("stale with the coming serial") << true;
	}
	void staleDatagramDiscarded()
	{
		QFETCH(bool, staleCarriesNextSerial);

		QVERIFY(startSimulator("127.0.0.26"));
		TestLink link;
		QVERIFY(connectLink(link));
		const uint32_t staleSerial = staleCarriesNextSerial ? link.getSerialNum() + 1 : link.getSerialNum();
		sim->sendStaleDatagram(sim->lastPeerAddress(), sim->lastPeerPort(), staleSerial);
		QTRY_VERIFY_WITH_TIMEOUT(link.hasPending(), 2000);

		// getInquery returns the first reply unchecked, so only the discard keeps the stale one out.
		const QByteArray reply = link.getInquery(reinterpret_cast<const uint8_t *>(kPowerInquiry.constData()),
							 kPowerInquiry.size());
		QCOMPARE(ViscaReply::echoedSerial(reply), link.getSerialNum());
		QCOMPARE(ViscaReply::byteAt(reply, 8), 0x90);
		QCOMPARE(ViscaReply::byteAt(reply, 9), 0x50);
		QCOMPARE(ViscaReply::nibbleAt(reply, 10), 2);
		QVERIFY(!link.hasPending());
	}

	void silentReceiveBound_data()
	{
		QTest::addColumn<bool>("bound");
		QTest::newRow("bound socket, silent camera") << true;
		// Nothing sent yet, so the socket has no local port and cannot receive; the wait is still kept.
		QTest::newRow("unbound socket") << false;
	}
	void silentReceiveBound()
	{
		QFETCH(bool, bound);

		QVERIFY(startSimulator("127.0.0.27"));
		sim->setSilent(true);
		TestLink link;
		link.aim(sim->address(), sim->port());
		if (bound) {
			uint32_t serial = 0;
			QVERIFY(link.send(link.frame(0x10, kPowerInquiry, &serial)) > 0);
		}
		QElapsedTimer clock;
		clock.start();
		const QByteArray reply = link.readVisca();
		const qint64 elapsed = clock.elapsed();
		QVERIFY(reply.isEmpty());
		QVERIFY2(elapsed >= kBoundFloorMs, qPrintable(QString::number(elapsed)));
		QVERIFY2(elapsed < kBoundCeilingMs, qPrintable(QString::number(elapsed)));
	}

	void inquiryExchange_data()
	{
		QTest::addColumn<int>("fault");
		QTest::addColumn<int>("amount");
		QTest::addColumn<uint32_t>("startSerial");
		QTest::addColumn<bool>("ok");
		QTest::addColumn<QString>("logLine"); // the one line a failure leaves

		const QString noAnswer = QStringLiteral("no answer to inquiry 81 09 04 00 ff: ");
		QTest::newRow("answered") << int(NoFault) << 0 << 10u << true << QString();
		QTest::newRow("refused") << int(ErrorReply) << 0x02 << 10u << false << noAnswer + "01 11 00 04";
		QTest::newRow("silence") << int(Silent) << 0 << 10u << false << noAnswer + "silence";
		QTest::newRow("wrong serial")
			<< int(WrongSerial) << 1 << 10u << false << "check count number Error!!  = ";
		QTest::newRow("silence under serial 0") << int(Silent) << 0 << 65535u << false << noAnswer + "silence";
	}
	void inquiryExchange()
	{
		// Only an answer with the right serial number comes back, after one send whatever happened.
		QFETCH(int, fault);
		QFETCH(int, amount);
		QFETCH(uint32_t, startSerial);
		QFETCH(bool, ok);
		QFETCH(QString, logLine);

		QVERIFY(startSimulator("127.0.0.28"));
		TestLink link;
		QVERIFY(connectLink(link));
		link.setSerial(startSerial);
		applyFault(*sim, fault, amount);
		clearLog();

		const QByteArray reply = link.sendInquiry(kPowerInquiry);
		QCOMPARE(link.lastExchangeOk(), ok);
		QCOMPARE(reply.isEmpty(), !ok);
		if (ok) {
			QCOMPARE(ViscaReply::echoedSerial(reply), link.getSerialNum());
			QCOMPARE(ViscaReply::byteAt(reply, 9), 0x50);
		}
		const int failureLines = countLoggedStartingWith(QStringLiteral("no answer to inquiry")) +
					 countLoggedStartingWith(QStringLiteral("check count number Error!!"));
		QCOMPARE(failureLines, ok ? 0 : 1);
		if (!logLine.isEmpty())
			QCOMPARE(countLoggedStartingWith(logLine), 1);
		QVERIFY(sim->waitForReceived(1, 2000));
		QVERIFY(!sim->waitForReceived(2, 0));
	}

	void rawInquiry_data()
	{
		QTest::addColumn<int>("fault");
		QTest::addColumn<bool>("answered");
		QTest::addColumn<bool>("serialMatches");

		QTest::newRow("answer") << int(NoFault) << true << true;
		QTest::newRow("wrong serial still returned") << int(WrongSerial) << true << false;
		QTest::newRow("silence") << int(Silent) << false << false;
	}
	void rawInquiry()
	{
		QFETCH(int, fault);
		QFETCH(bool, answered);
		QFETCH(bool, serialMatches);

		QVERIFY(startSimulator("127.0.0.29"));
		TestLink link;
		QVERIFY(connectLink(link));
		applyFault(*sim, fault, 1);
		const QByteArray payload = hex("81 09 00 02 ff");
		const QByteArray reply =
			link.getInquery(reinterpret_cast<const uint8_t *>(payload.constData()), payload.size());
		const uint32_t serial = link.getSerialNum();

		QVERIFY(sim->waitForReceived(1, 2000));
		QCOMPARE(sim->received().size(), 1);
		QCOMPARE(sim->received().first().toHex(' '),
			 (hex("01 10 00 05") + serialBytes(serial) + payload).toHex(' '));
		QCOMPARE(reply.isEmpty(), !answered);
		if (answered) {
			// Returned whole, header included.
			QCOMPARE(ViscaReply::byteAt(reply, 0), 0x01);
			QCOMPARE(ViscaReply::byteAt(reply, 8), 0x90);
			QCOMPARE(ViscaReply::echoedSerial(reply) == serial, serialMatches);
		}
		QCOMPARE(link.lastExchangeOk(), answered);
	}

	void probes_data()
	{
		QTest::addColumn<QString>("probe");
		QTest::addColumn<int>("fault");
		QTest::addColumn<bool>("result");
		QTest::addColumn<QByteArray>("payload");
		QTest::addColumn<QString>("logLine");

		const QByteArray addressSet = hex("01 00 00 04 00 00 00 01 88 30 01 ff");
		const QByteArray power = hex("01 10 00 05 00 00 00 01 81 09 04 00 ff");
		QTest::newRow("connect") << "connect" << int(NoFault) << true << addressSet << "-------2";
		QTest::newRow("connect, no address-set answer")
			<< "connect" << int(NoAddressSet) << false << addressSet << "-------0";
		QTest::newRow("connect, silent") << "connect" << int(Silent) << false << addressSet << "-------0";
		QTest::newRow("address set") << "addr" << int(NoFault) << true << addressSet << "-------2";
		QTest::newRow("address set unanswered")
			<< "addr" << int(NoAddressSet) << false << addressSet << "-------0";
		// A syntax error 90 60 02 FF carries a 2 where 88 30 02 FF does: still no camera on the chain.
		QTest::newRow("address set refused") << "addr" << int(ErrorReply) << false << addressSet << "-------0";
		QTest::newRow("reachable") << "udp" << int(NoFault) << true << addressSet << QString();
		QTest::newRow("unreachable") << "udp" << int(Silent) << false << addressSet << QString();
		QTest::newRow("power on") << "power" << int(NoFault) << true << power << "check power command send";
		QTest::newRow("power unanswered")
			<< "power" << int(Silent) << false << power << "check power command send";
		// A refusal says nothing about the power state, though its error code 02 reads like "on".
		QTest::newRow("power refused")
			<< "power" << int(ErrorReply) << false << power << "check power command send";
	}
	void probes()
	{
		QFETCH(QString, probe);
		QFETCH(int, fault);
		QFETCH(bool, result);
		QFETCH(QByteArray, payload);
		QFETCH(QString, logLine);

		QVERIFY(startSimulator("127.0.0.20"));
		applyFault(*sim, fault, 0x02);
		TestLink link;
		bool got = false;
		if (probe == QLatin1String("connect")) {
			got = link.onConnectToCamera(sim->address().toString(), sim->port());
			QCOMPARE(countLogged(QStringLiteral("onConnectToCamera")), 1);
			QCOMPARE(link.cameraAddress(), sim->address());
			QCOMPARE(link.cameraPort(), sim->port());
		} else {
			link.aim(sim->address(), sim->port());
			if (probe == QLatin1String("addr"))
				got = link.isAddrSetOK();
			else if (probe == QLatin1String("udp"))
				got = link.isUdpSocketOK();
			else
				got = link.isPowerOK();
		}
		QCOMPARE(got, result);
		QCOMPARE(link.lastExchangeOk(), result);
		if (!logLine.isEmpty())
			QCOMPARE(countLogged(logLine), 1);
		// Probes never resend.
		QVERIFY(sim->waitForReceived(1, 2000));
		QCOMPARE(sim->received().size(), 1);
		QCOMPARE(sim->received().first().toHex(' '), payload.toHex(' '));
	}

	void reconnectMovesTheLink()
	{
		// Connecting again drops the old binding; everything after goes to the new camera only.
		QVERIFY(startSimulator("127.0.0.20"));
		CameraSimulator::Options options;
		options.address = QHostAddress(QStringLiteral("127.0.0.30"));
		options.port = 0;
		CameraSimulator other(options);
		QVERIFY(other.start());

		TestLink link;
		QVERIFY(link.onConnectToCamera(sim->address().toString(), sim->port()));
		QVERIFY(link.onConnectToCamera(other.address().toString(), other.port()));
		link.setCmdClear();
		QVERIFY(link.lastExchangeOk());
		QVERIFY(other.waitForReceived(2, 2000));
		QCOMPARE(other.received().size(), 2);
		QCOMPARE(sim->received().size(), 1);
		QCOMPARE(ViscaReply::echoedSerial(other.received().last()), 3u);
	}
};

QTEST_GUILESS_MAIN(tst_viscaTransport)
#include "tst_viscaTransport.moc"
