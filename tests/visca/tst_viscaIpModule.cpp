// The camera link, on the wire: framing, serial numbers, the command and inquiry exchanges, error classes, the
// completion-first exchange, the link probes, the camera command set and the model variants.
// Everything is sent through a real link to a simulated camera or, where exact reply bytes matter, to a scripted
// loopback peer, and what arrives is compared with the camera's command list.

#include "ReceivedCommands.h"
#include "ScriptedPeer.h"
#include "camera/ViscaIPFactory.h"
#include "visca/HX7ViscaIPModule.h"
#include "visca/ViscaReply.h"
#include "visca/viscaIpModule.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QThread>
#include <QtTest>

#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <thread>

using LinkOp = std::function<void(viscaIpModule &)>;
using LinkQuery = std::function<int(viscaIpModule &)>;
using LinkSetter = std::function<void(viscaIpModule &, int value)>;
Q_DECLARE_METATYPE(LinkOp)
Q_DECLARE_METATYPE(LinkQuery)
Q_DECLARE_METATYPE(LinkSetter)

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

// Opens the protected exchange helpers to the tests.
class TestLink : public viscaIpModule {
public:
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
};

const QByteArray kClear = hex("81 01 00 01 ff");
const QByteArray kPowerInquiry = hex("81 09 04 00 ff");

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

const QString kBase = QStringLiteral("NX-B93K");
const QString kD26G = QStringLiteral("NX-D26G");
const QString kHX7 = QStringLiteral("NX-HX7");
const QString kZQ418 = QStringLiteral("NX-ZQ418");
// Moves complete noticeably later than they are acknowledged, yet well inside one receive: 128 ms at most.
constexpr double kMoveMsPerUnit = 0.5;

QString hexText(const QByteArray &bytes)
{
	return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

// One reply of the scripted camera: a VISCA payload as hex, framed under the serial number of the request it answers
// or, to play a late reply of another exchange, under the next one.
struct Reply {
	QByteArray payload;
	bool echoSerial = true;
};
using Script = std::function<QList<Reply>(const QByteArray &request)>;

Script answerEvery(const QList<Reply> &replies)
{
	return [replies](const QByteArray &) { return replies; };
}

QByteArray framedReply(const QByteArray &request, const Reply &reply)
{
	const QByteArray payload = QByteArray::fromHex(reply.payload);
	QByteArray serial = request.mid(4, 4).leftJustified(4, '\0', true);
	if (!reply.echoSerial)
		serial[3] = char((uint8_t(serial[3]) + 1) & 0x0F);
	return hex("01 11 00") + char(payload.size()) + serial + payload;
}

struct Played {
	bool connected = false;
	int probes = 0;             // address-set probes
	QList<QByteArray> requests; // whole datagrams, the probes left out
};

// Runs `op` on a link of `model`, connected to a scripted camera, on a thread of its own: the link's exchanges block
// while this thread plays the camera, answering each request as `script` says and the address-set probe like one
// camera on the chain.
Played playCamera(const QString &model, const LinkOp &op, const Script &script)
{
	const QString address = QStringLiteral("127.0.0.36");
	ScriptedPeer camera(address);
	Played played;
	std::unique_ptr<QThread> caller(QThread::create([&] {
		std::unique_ptr<viscaIpModule> link(ViscaIPFactory::viscaIPModule(model));
		played.connected = link->onConnectToCamera(address, camera.port());
		op(*link);
	}));
	const auto take = [&](const QList<QByteArray> &datagrams, bool answer) {
		for (const QByteArray &request : datagrams) {
			const bool probe = request.mid(8) == hex("88 30 01 ff");
			if (probe)
				++played.probes;
			else
				played.requests << request;
			if (!answer)
				continue;
			// A named list, not the temporary of a conditional, which GCC 16 cannot prove outlives the
			// loop.
			QList<Reply> replies;
			if (probe)
				replies << Reply{"88 30 02 FF"};
			else
				replies = script(request.mid(8));
			for (const Reply &reply : replies)
				camera.send(framedReply(request, reply));
		}
	};
	caller->start();
	QElapsedTimer clock;
	clock.start();
	// Every exchange ends within its receive bounds; the minute only stops answering a link that never would.
	while (!caller->isFinished() && clock.elapsed() < 60000)
		take(camera.receive(1, 20), true);
	caller->wait();
	take(camera.receive(64, 0), false);
	return played;
}

std::unique_ptr<viscaIpModule> linkTo(const QString &model, const CameraSimulator &sim)
{
	std::unique_ptr<viscaIpModule> link(ViscaIPFactory::viscaIPModule(model));
	link->onConnectToCamera(sim.address().toString(), sim.port());
	return link;
}

// The HX7 link's own zoom inquiry; -2 when the factory gave another link.
int hx7Zoom(viscaIpModule &link)
{
	HX7ViscaIPModule *hx7 = qobject_cast<HX7ViscaIPModule *>(&link);
	return hx7 ? hx7->getZoomDirect() : -2;
}

// Builders for the command-set tables: a command alone, with its value, or after storing a value it carries.
using Action = void (viscaIpModule::*)();
using Setter = void (viscaIpModule::*)(int);
LinkOp call(Action command)
{
	return [command](viscaIpModule &l) { (l.*command)(); };
}
LinkOp callWith(Setter command, int value)
{
	return [command, value](viscaIpModule &l) { (l.*command)(value); };
}
LinkOp storeThen(Setter store, int value, Action command)
{
	return [=](viscaIpModule &l) {
		(l.*store)(value);
		(l.*command)();
	};
}
LinkQuery number(int (viscaIpModule::*get)())
{
	return [get](viscaIpModule &l) { return (l.*get)(); };
}
LinkQuery flag(bool (viscaIpModule::*get)())
{
	return [get](viscaIpModule &l) { return int((l.*get)()); };
}

// Checks a payload against the layout of its command, written token by token: "81" a literal byte, "0n" a nibble in
// a byte of its own, "vv" a whole byte below the terminator, "01-18" a byte in that (hex) range. Empty when the
// payload fits; otherwise what does not.
QString misfit(const QString &layout, const QByteArray &payload)
{
	const QStringList tokens = layout.split(QLatin1Char(' '));
	if (tokens.size() != payload.size())
		return QStringLiteral("length %1 for the layout %2").arg(payload.size()).arg(layout);
	if (payload.indexOf(char(0xFF)) != payload.size() - 1)
		return QStringLiteral("FF before the end");
	for (int i = 0; i < tokens.size(); ++i) {
		const QString &token = tokens.at(i);
		const int byte = uint8_t(payload.at(i));
		int low = 0, high = 0;
		if (token == QLatin1String("0n")) {
			high = 0x0F;
		} else if (token == QLatin1String("vv")) {
			high = 0xFE;
		} else if (token.contains(QLatin1Char('-'))) {
			low = token.section(QLatin1Char('-'), 0, 0).toInt(nullptr, 16);
			high = token.section(QLatin1Char('-'), 1, 1).toInt(nullptr, 16);
		} else {
			low = high = token.toInt(nullptr, 16);
		}
		if (byte < low || byte > high)
			return QStringLiteral("byte %1 is %2, outside %3")
				.arg(i)
				.arg(byte, 2, 16, QLatin1Char('0'))
				.arg(token);
	}
	return QString();
}

// The limit rows of payloads(): where a step lands between a corner's minimum and maximum.
void addLimitRows()
{
	const auto row = [](const char *name, LinkOp op, const QStringList &expected) {
		QTest::newRow(name) << kBase << op << expected;
	};
	const auto limit = [](void (viscaIpModule::*set)(int, uint32_t, uint32_t), int step, uint32_t max,
			      uint32_t min) { return LinkOp([=](viscaIpModule &l) { (l.*set)(step, max, min); }); };
	using V = viscaIpModule;
	// Limit payload: 81 01 06 07 00 W, pan as four nibbles, tilt as four nibbles, FF (W 01 up-right, 00 down-left).
	row("right 10 of 0..0x0990 is 145", limit(&V::setPanRightLimit, 10, 0x0990, 0),
	    {"81 01 06 07 00 01 00 00 09 01 00 00 00 00 FF"});
	row("right full step clamps to max", limit(&V::setPanRightLimit, 170, 0x0990, 0),
	    {"81 01 06 07 00 01 00 09 09 00 00 00 00 00 FF"});
	row("right negative clamps to min", limit(&V::setPanRightLimit, -5, 0x0990, 0x10),
	    {"81 01 06 07 00 01 00 00 01 00 00 00 00 00 FF"});
	// 114 / 170.0 rounded to single precision makes 85 steps exactly 57.0, hence 58; in double it stays below 57.
	row("right single-precision ratio", limit(&V::setPanRightLimit, 85, 0x71, 0),
	    {"81 01 06 07 00 01 00 00 03 0A 00 00 00 00 FF"});
	row("up 45 of 0..0x0510", limit(&V::setTiltUpLimit, 45, 0x0510, 0),
	    {"81 01 06 07 00 01 00 00 00 00 00 02 08 09 FF"});
	// 105 / 90.0 in single precision makes 54 steps fall just below 63.
	row("up single-precision ratio", limit(&V::setTiltUpLimit, 54, 0x68, 0),
	    {"81 01 06 07 00 01 00 00 00 00 00 00 03 0F FF"});
	row("left -10 counts back from 0xFFFF", limit(&V::setPanLeftLimit, -10, 0xFFFF, 0xF670),
	    {"81 01 06 07 00 00 0F 0F 07 00 0F 0F 0F 0F FF"});
	row("left full step clamps to min", limit(&V::setPanLeftLimit, -170, 0xFFFF, 0xF670),
	    {"81 01 06 07 00 00 0F 06 07 00 0F 0F 0F 0F FF"});
	// 432 / 30 is 14 in whole numbers (14.4 otherwise, which would give 0xFF70).
	row("down -10 uses a whole-number ratio", limit(&V::setTiltDownLimit, -10, 0xFFFF, 0xFE50),
	    {"81 01 06 07 00 00 0F 0F 0F 0F 0F 0F 07 04 FF"});
	// Each corner's message carries both of its limits: the one set before is kept, through clears too.
	row("down keeps the left limit",
	    [](viscaIpModule &l) {
		    l.setPanLeftLimit(-10, 0xFFFF, 0xF670);
		    l.setTiltDownLimit(-10, 0xFFFF, 0xFE50);
	    },
	    {"81 01 06 07 00 00 0F 0F 07 00 0F 0F 0F 0F FF", "81 01 06 07 00 00 0F 0F 07 00 0F 0F 07 04 FF"});
	row("clearing keeps the stored limits",
	    [](viscaIpModule &l) {
		    l.setPanRightLimit(10, 0x0990, 0);
		    l.setPanTilt_RightUpLimit_Clear();
		    l.setPanTilt_LeftDownLimit_Clear();
		    l.setTiltUpLimit(45, 0x0510, 0);
	    },
	    {"81 01 06 07 00 01 00 00 09 01 00 00 00 00 FF", "81 01 06 07 01 01 07 0F 0F 0F 07 0F 0F 0F FF",
	     "81 01 06 07 01 00 07 0F 0F 0F 07 0F 0F 0F FF", "81 01 06 07 00 01 00 00 09 01 00 02 08 09 FF"});
}

} // namespace

class tst_viscaIpModule : public QObject {
	Q_OBJECT

	std::unique_ptr<CameraSimulator> sim;

	// A simulated camera on its own loopback address and an ephemeral port.
	bool startSimulator(const char *address)
	{
		sim = startSimulatedCamera(QString::fromLatin1(address));
		return sim != nullptr;
	}
	bool connectLink(TestLink &link)
	{
		const bool ok = link.onConnectToCamera(sim->address().toString(), sim->port());
		sim->clearReceived();
		return ok;
	}

	std::map<QString, std::unique_ptr<CameraSimulator>> sims;

private slots:
	void initTestCase()
	{
		// The link's debug lines would only bury the test's own output.
		QLoggingCategory::setFilterRules(QStringLiteral("kavren.link.debug=false"));
		const QList<QPair<QString, QString>> cameras = {
			{kBase, QStringLiteral("127.0.0.31")},
			{kD26G, QStringLiteral("127.0.0.32")},
			{kHX7, QStringLiteral("127.0.0.33")},
			{kZQ418, QStringLiteral("127.0.0.34")},
		};
		for (const auto &camera : cameras) {
			CameraSimulator::Options options;
			options.address = QHostAddress(camera.second);
			options.port = 0;
			options.model = camera.first;
			options.moveMsPerUnit = kMoveMsPerUnit;
			sims[camera.first] = startSimulatedCamera(options);
			QVERIFY(sims[camera.first]);
		}
	}
	void cleanupTestCase() { sims.clear(); }
	void cleanup() { sim.reset(); }

	void headerFraming_data()
	{
		QTest::addColumn<uint32_t>("startSerial");
		QTest::addColumn<uint8_t>("type");
		QTest::addColumn<uint8_t>("length");
		QTest::addColumn<uint32_t>("serial");
		QTest::addColumn<QByteArray>("header");

		QTest::newRow("65535 wraps to 0")
			<< 65535u << uint8_t(0x00) << uint8_t(9) << 0u << hex("01 00 00 09 00 00 00 00");
		QTest::newRow("0x1A2B one nibble per byte")
			<< 0x1A2Au << uint8_t(0x10) << uint8_t(4) << 0x1A2Bu << hex("01 10 00 04 01 0a 02 0b");
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
	}

	void echoedSerial_data()
	{
		QTest::addColumn<QByteArray>("reply");
		QTest::addColumn<uint32_t>("serial");
		QTest::addColumn<bool>("carried"); // whether the reply counts as one to that serial number

		QTest::newRow("high nibbles ignored") << hex("01 11 00 03 10 20 3a 4b 90 41 ff") << 0x00ABu << true;
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

	void checkViscaError_data()
	{
		QTest::addColumn<QByteArray>("reply");
		QTest::addColumn<bool>("isError");

		QTest::newRow("syntax") << hex("01 11 00 04 00 00 00 01 90 60 02 ff") << true;
		QTest::newRow("not executable, socket 2") << hex("01 11 00 04 00 00 00 01 90 62 41 ff") << true;
		QTest::newRow("acknowledge") << hex("01 11 00 03 00 00 00 01 90 41 ff") << false;
		QTest::newRow("answer starting 6") << hex("01 11 00 04 00 00 00 01 90 50 62 ff") << false;
		QTest::newRow("other sender byte") << hex("01 11 00 04 00 00 00 01 a0 60 02 ff") << false;
		QTest::newRow("too short for a code") << hex("01 11 00 04 00 00 00 01 90 60") << false;
		QTest::newRow("empty") << QByteArray() << false;
	}
	void checkViscaError()
	{
		QFETCH(QByteArray, reply);
		QFETCH(bool, isError);
		QCOMPARE(TestLink().checkViscaError(reply), isError);
	}

	// Exact reply bytes from a scripted peer, queued in the link's socket before the exchange reads them.
	void commandReplies_data()
	{
		QTest::addColumn<QList<QByteArray>>("replies");
		QTest::addColumn<bool>("completionFirst"); // the second-reply flag is set before the exchange
		QTest::addColumn<uint32_t>("serial");
		QTest::addColumn<bool>("ok");
		QTest::addColumn<bool>("leftUnread");

		const QByteArray ack = hex("01 11 00 03 00 00 0a 0b 90 41 ff");
		const QByteArray done = hex("01 11 00 03 00 00 0a 0b 90 51 ff");
		const QByteArray refused = hex("01 11 00 04 00 00 0a 0b 90 61 41 ff");
		const auto row = [](const char *name, const QList<QByteArray> &replies, bool completionFirst,
				    uint32_t serial, bool ok, bool leftUnread) {
			QTest::newRow(name) << replies << completionFirst << serial << ok << leftUnread;
		};
		row("ack and completion", {ack, done}, false, 0x00AB, true, false);
		row("first reply wrong serial", {hex("01 11 00 03 00 00 0a 0c 90 41 ff"), done}, false, 0x00AB, false,
		    true);
		row("second reply wrong serial", {ack, hex("01 11 00 03 00 01 0a 0b 90 51 ff")}, false, 0x00AB, false,
		    false);
		row("error instead of ack", {refused, done}, false, 0x00AB, false, true);
		row("error instead of completion", {ack, hex("01 11 00 04 00 00 0a 0b 90 61 02 ff")}, false, 0x00AB,
		    false, false);
		row("completion missing", {ack}, false, 0x00AB, false, false);
		// Silence decodes as serial number 0, yet it is no reply to the message that carried 0.
		row("silence under serial 0", {}, false, 0, false, false);
		// Awaiting the completion: it ends the exchange; whatever follows is left for the next send to discard.
		row("completion ends the exchange", {ack, done, ack}, true, 0x00AB, true, true);
		row("completion alone", {done}, true, 0x00AB, true, false);
		row("completion lost", {ack}, true, 0x00AB, false, false);
		row("refused instead of completing", {ack, refused}, true, 0x00AB, false, false);
	}
	void commandReplies()
	{
		QFETCH(QList<QByteArray>, replies);
		QFETCH(bool, completionFirst);
		QFETCH(uint32_t, serial);
		QFETCH(bool, ok);
		QFETCH(bool, leftUnread);

		TestLink link;
		QVERIFY(link.bindLoopback());
		ScriptedPeer peer(QStringLiteral("127.0.0.22"), QHostAddress(QHostAddress::LocalHost),
				  link.localPort());
		QVERIFY(peer.isBound());
		link.aim(QHostAddress(QStringLiteral("127.0.0.22")), peer.port());
		for (const QByteArray &reply : replies)
			peer.send(reply);
		// Loopback queues a datagram before its send returns, so all of them wait once the first does.
		if (!replies.isEmpty())
			QTRY_VERIFY_WITH_TIMEOUT(link.hasPending(), 2000);
		if (completionFirst)
			link.expectSecondReply();

		QCOMPARE(link.ViscaAckComplete(serial), ok);
		QCOMPARE(link.lastExchangeOk(), ok);
		// A failed first reply ends the exchange, and so does a completion: nothing more is consumed.
		QCOMPARE(link.hasPending(), leftUnread);
	}

	void commandRetry_data()
	{
		QTest::addColumn<bool>("completionFirst"); // the command awaits its completion as its first reply
		QTest::addColumn<int>("fault");
		QTest::addColumn<int>("amount");
		QTest::addColumn<int>("tries");
		QTest::addColumn<int>("sends");
		QTest::addColumn<bool>("ok");

		const auto row = [](const char *name, bool completionFirst, Fault fault, int amount, int tries,
				    int sends, bool ok) {
			QTest::newRow(name) << completionFirst << int(fault) << amount << tries << sends << ok;
		};
		row("answered at once", false, NoFault, 0, 2, 1, true);
		row("ack lost", false, DropReplies, 1, 2, 2, true);
		row("not executable once", false, ErrorReply, 0x41, 2, 2, true);
		row("one try, lost", false, DropReplies, 2, 1, 1, false);
		row("zero tries still sends once", false, NoFault, 0, 0, 1, true);
		row("three tries, two lost", false, DropReplies, 4, 3, 3, true);
		row("silent camera", false, Silent, 0, 2, 2, false);
		// The completion is taken as the second datagram of the first receive; only a failed exchange is sent
		// again.
		row("awaiting completion: refused, then completed", true, ErrorReply, 0x41, 2, 2, true);
		row("awaiting completion: silent camera", true, Silent, 0, 2, 2, false);
	}
	void commandRetry()
	{
		QFETCH(bool, completionFirst);
		QFETCH(int, fault);
		QFETCH(int, amount);
		QFETCH(int, tries);
		QFETCH(int, sends);
		QFETCH(bool, ok);

		QVERIFY(startSimulator("127.0.0.23"));
		TestLink link;
		QVERIFY(connectLink(link));
		applyFault(*sim, fault, amount);

		const uint32_t before = link.getSerialNum();
		if (completionFirst)
			link.expectSecondReply();
		QCOMPARE(link.sendCommand(kClear, tries), ok);
		QCOMPARE(link.lastExchangeOk(), ok);
		QVERIFY(sim->waitForReceived(sends, 2000));
		const QList<QByteArray> received = sim->received();
		QCOMPARE(received.size(), sends);
		// A resend is the identical packet: one serial number however many sends, same bytes.
		QCOMPARE(link.getSerialNum(), before + 1);
		for (const QByteArray &datagram : received)
			QCOMPARE(datagram.toHex(' '),
				 (hex("01 00 00 05") + serialBytes(before + 1) + kClear).toHex(' '));
	}

	void exchangeOutcome_data()
	{
		QTest::addColumn<bool>("inquiry");
		QTest::addColumn<int>("fault");
		QTest::addColumn<uint32_t>("startSerial");
		QTest::addColumn<bool>("ok");
		QTest::addColumn<bool>("answered"); // whether the camera sent anything for this request

		QTest::newRow("command completed") << false << int(NoFault) << 10u << true << true;
		QTest::newRow("command refused") << false << int(ErrorReply) << 10u << false << true;
		QTest::newRow("command to a silent camera") << false << int(Silent) << 10u << false << false;
		QTest::newRow("inquiry answered") << true << int(NoFault) << 10u << true << true;
		QTest::newRow("inquiry refused") << true << int(ErrorReply) << 10u << false << true;
		QTest::newRow("inquiry to a silent camera") << true << int(Silent) << 10u << false << false;
		QTest::newRow("inquiry answered under another serial")
			<< true << int(WrongSerial) << 10u << false << false;
		QTest::newRow("inquiry silence under serial 0") << true << int(Silent) << 65535u << false << false;
	}
	void exchangeOutcome()
	{
		// Only an answer with the right serial number comes back; an exchange sends once whatever happened.
		QFETCH(bool, inquiry);
		QFETCH(int, fault);
		QFETCH(uint32_t, startSerial);
		QFETCH(bool, ok);
		QFETCH(bool, answered);

		QVERIFY(startSimulator("127.0.0.28"));
		TestLink link;
		QVERIFY(connectLink(link));
		link.setSerial(startSerial);
		applyFault(*sim, fault, fault == ErrorReply ? 0x41 : 1);
		if (inquiry) {
			const QByteArray reply = link.sendInquiry(kPowerInquiry);
			QCOMPARE(reply.isEmpty(), !ok);
			if (ok)
				QCOMPARE(ViscaReply::echoedSerial(reply), link.getSerialNum());
		} else {
			link.sendCommand(kClear, 1);
		}
		QCOMPARE(link.lastExchangeOk(), ok);
		QCOMPARE(link.lastExchangeAnswered(), answered);
		QVERIFY(sim->waitForReceived(1, 2000));
		QVERIFY(!sim->waitForReceived(2, 0));
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

	void rawInquiryIsFramedAsAnInquiry()
	{
		// The identification's own exchange: its reply comes back whole, header included.
		QVERIFY(startSimulator("127.0.0.29"));
		TestLink link;
		QVERIFY(connectLink(link));
		const QByteArray payload = hex("81 09 00 02 ff");
		const QByteArray reply =
			link.getInquery(reinterpret_cast<const uint8_t *>(payload.constData()), payload.size());
		const uint32_t serial = link.getSerialNum();

		QVERIFY(sim->waitForReceived(1, 2000));
		QCOMPARE(sim->received().size(), 1);
		QCOMPARE(sim->received().first().toHex(' '),
			 (hex("01 10 00 05") + serialBytes(serial) + payload).toHex(' '));
		QCOMPARE(ViscaReply::byteAt(reply, 0), 0x01);
		QCOMPARE(ViscaReply::echoedSerial(reply), serial);
		QVERIFY(link.lastExchangeOk());
	}

	void probes_data()
	{
		QTest::addColumn<QString>("probe");
		QTest::addColumn<int>("fault");
		QTest::addColumn<bool>("result");
		QTest::addColumn<QByteArray>("payload");

		const QByteArray addressSet = hex("01 00 00 04 00 00 00 01 88 30 01 ff");
		const QByteArray power = hex("01 10 00 05 00 00 00 01 81 09 04 00 ff");
		QTest::newRow("connect") << "connect" << int(NoFault) << true << addressSet;
		QTest::newRow("connect, no address-set answer")
			<< "connect" << int(NoAddressSet) << false << addressSet;
		// A syntax error 90 60 02 FF carries a 2 where 88 30 02 FF does: still no camera on the chain.
		QTest::newRow("address set refused") << "addr" << int(ErrorReply) << false << addressSet;
		QTest::newRow("reachable") << "udp" << int(NoFault) << true << addressSet;
		QTest::newRow("unreachable") << "udp" << int(Silent) << false << addressSet;
		QTest::newRow("power on") << "power" << int(NoFault) << true << power;
		// A refusal says nothing about the power state, though its error code 02 reads like "on".
		QTest::newRow("power refused") << "power" << int(ErrorReply) << false << power;
	}
	void probes()
	{
		QFETCH(QString, probe);
		QFETCH(int, fault);
		QFETCH(bool, result);
		QFETCH(QByteArray, payload);

		QVERIFY(startSimulator("127.0.0.20"));
		applyFault(*sim, fault, 0x02);
		TestLink link;
		bool got = false;
		if (probe == QLatin1String("connect")) {
			got = link.onConnectToCamera(sim->address().toString(), sim->port());
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
		// Probes never resend.
		QVERIFY(sim->waitForReceived(1, 2000));
		QCOMPARE(sim->received().size(), 1);
		QCOMPARE(sim->received().first().toHex(' '), payload.toHex(' '));
	}

	void reconnectMovesTheLink()
	{
		// Connecting again drops the old binding; everything after goes to the new camera only.
		QVERIFY(startSimulator("127.0.0.20"));
		auto other = startSimulatedCamera(QStringLiteral("127.0.0.30"));
		QVERIFY(other);

		TestLink link;
		QVERIFY(link.onConnectToCamera(sim->address().toString(), sim->port()));
		QVERIFY(link.onConnectToCamera(other->address().toString(), other->port()));
		link.setCmdClear();
		QVERIFY(link.lastExchangeOk());
		QVERIFY(other->waitForReceived(2, 2000));
		QCOMPARE(other->received().size(), 2);
		QCOMPARE(sim->received().size(), 1);
		QCOMPARE(ViscaReply::echoedSerial(other->received().last()), 3u);
	}

	// One row per encoder and per model whose bytes differ; the simulator's tables hold the whole command list.
	void payloads_data()
	{
		QTest::addColumn<QString>("model");
		QTest::addColumn<LinkOp>("op");
		QTest::addColumn<QStringList>("expected");

		const auto row = [](const char *name, const QString &model, LinkOp op, const QStringList &expected) {
			QTest::newRow(name) << model << op << expected;
		};
		using V = viscaIpModule;

		// Motion
		row("down-left with both speeds", kBase,
		    [](viscaIpModule &l) {
			    l.setPanSpeed(3);
			    l.setTiltSpeed(4);
			    l.setMotorDownLeft();
		    },
		    {"81 01 06 01 03 04 01 02 FF"});
		row("stop, initial speeds", kBase, call(&V::setMotorStop), {"81 01 06 01 0B 0B 03 03 FF"});
		row("preset speed", kBase, callWith(&V::setPresetSpeed, 12), {"81 01 06 20 0C FF"});
		row("speed compensation", kBase, callWith(&V::setPTZspeedComp, 1), {"81 01 06 1F 01 01 FF"});
		row("D26G speed compensation", kD26G, callWith(&V::setPTZspeedComp, 1), {"81 01 7E 03 03 01 FF"});
		row("D26G preset speed", kD26G, callWith(&V::setPresetSpeed, 9), {"81 01 7E 03 02 09 FF"});
		row("ZQ418 preset speed", kZQ418, callWith(&V::setPresetSpeed, 9), {"81 01 01 09 FF"});

		// Lens: tele and near are 2p and 3p, the other way round from each other.
		row("zoom in, initial speed", kBase, call(&V::setZoomIn), {"81 01 04 07 22 FF"});
		row("zoom out, speed 7", kBase, storeThen(&V::setZoomSpeed, 7, &V::setZoomOut), {"81 01 04 07 37 FF"});
		row("zoom stop", kBase, call(&V::setZoomStop), {"81 01 04 07 00 FF"});
		row("zoom direct, speed 6", kBase,
		    [](viscaIpModule &l) {
			    l.setZoomSpeed(6);
			    l.setZoomDirect(0x1234);
		    },
		    {"81 01 04 47 01 02 03 04 06 FF"});
		row("HX7 zoom direct", kHX7, callWith(&V::setZoomDirect, 0x1234), {"81 01 04 47 01 02 03 04 FF"});
		row("ZQ418 zoom direct", kZQ418, callWith(&V::setZoomDirect, 0x1234), {"81 01 04 47 01 02 03 04 FF"});
		row("focus near, initial speed", kBase, call(&V::setFocusNearWithSpeed), {"81 01 04 08 33 FF"});
		row("focus far, speed 6", kBase, storeThen(&V::setFocusSpeed, 6, &V::setFocusfarWithSpeed),
		    {"81 01 04 08 26 FF"});
		row("focus stop", kBase, call(&V::setFocusStop), {"81 01 04 08 00 FF"});
		row("focus direct", kBase, callWith(&V::setFocusDirect, 0xABCD), {"81 01 04 48 0A 0B 0C 0D FF"});
		row("manual focus", kBase, [](viscaIpModule &l) { l.setAfMode(false); }, {"81 01 04 38 03 FF"});

		// Memories
		row("memory save", kBase, storeThen(&V::setMemory1_Index, 7, &V::setMemory1_Save),
		    {"81 01 04 3F 01 07 FF"});
		row("memory recall", kBase, storeThen(&V::setMemory1_Index, 3, &V::setMemory1_Recall),
		    {"81 01 04 3F 02 03 FF"});
		// A link whose memory number was never set: -1 would put a terminator inside the message.
		row("recall before any memory number", kBase, call(&V::setMemory1_Recall), {"81 01 04 3F 02 00 FF"});

		// Exposure and image: a nibble, two nibbles, a whole byte, the HX7's own block.
		row("AE mode", kBase, callWith(&V::setAeMode, 3), {"81 01 04 39 03 FF"});
		row("shutter", kBase, callWith(&V::setShutterDirect, 0x15), {"81 01 04 4A 00 00 01 05 FF"});
		row("iris", kBase, callWith(&V::setIrisDirect, 0x12), {"81 01 04 4B 00 00 00 12 FF"});
		row("HX7 hue", kHX7, callWith(&V::setHue, 0x2A), {"81 01 0E 24 44 02 0A FF"});
		row("image mode", kBase, callWith(&V::setImageMode, 1), {"81 01 04 3F 04 01 FF"});

		// Digital effect: two commands, the one switched off first.
		row("effect 1: mirror", kBase, callWith(&V::setDigEffect, 1),
		    {"81 01 04 66 03 FF", "81 01 04 61 02 FF"});
		row("effect 2: flip", kBase, callWith(&V::setDigEffect, 2), {"81 01 04 61 03 FF", "81 01 04 66 02 FF"});

		addLimitRows();
	}
	void payloads()
	{
		QFETCH(QString, model);
		QFETCH(LinkOp, op);
		QFETCH(QStringList, expected);

		CameraSimulator &sim = *sims.at(model);
		auto link = linkTo(model, sim);
		sim.clearReceived();
		op(*link);
		if (!expected.isEmpty()) {
			// Completed at the first try, commands that await their completion included: nothing goes out
			// twice.
			QVERIFY(link->lastExchangeOk());
			QVERIFY(sim.waitForReceived(expected.size(), 2000));
		}

		QStringList wanted;
		for (const QString &payload : expected)
			wanted << payload.toLower().remove(QLatin1Char(' '));
		QCOMPARE(allPayloads(sim), wanted);
	}

	void argumentsStayInTheirFields_data()
	{
		QTest::addColumn<QString>("model");
		QTest::addColumn<LinkSetter>("op");
		QTest::addColumn<int>("value");
		QTest::addColumn<QString>("layout"); // see misfit(); empty: nothing may be sent

		struct Command {
			const char *name;
			QString model;
			LinkSetter op;
			const char *layout;
		};
		const auto storeAndSend = [](Setter store, Action send) {
			return LinkSetter([=](viscaIpModule &l, int v) {
				(l.*store)(v);
				(l.*send)();
			});
		};
		const auto set = [](Setter command) {
			return LinkSetter([=](viscaIpModule &l, int v) { (l.*command)(v); });
		};
		using V = viscaIpModule;
		// One row per field of the protocol, and per model whose message differs.
		const QList<Command> commands = {
			{"pan speed", kBase, storeAndSend(&V::setPanSpeed, &V::setMotorUP),
			 "81 01 06 01 01-18 01-17 03 01 FF"},
			{"tilt speed", kBase, storeAndSend(&V::setTiltSpeed, &V::setMotorDownLeft),
			 "81 01 06 01 01-18 01-17 01 02 FF"},
			{"preset speed", kBase, set(&V::setPresetSpeed), "81 01 06 20 01-18 FF"},
			{"D26G preset speed", kD26G, set(&V::setPresetSpeed), "81 01 7E 03 02 01-18 FF"},
			{"ZQ418 preset speed", kZQ418, set(&V::setPresetSpeed), "81 01 01 01-18 FF"},
			{"speed compensation", kBase, set(&V::setPTZspeedComp), "81 01 06 1F 01 vv FF"},
			{"D26G speed compensation", kD26G, set(&V::setPTZspeedComp), "81 01 7E 03 03 vv FF"},
			// The limit's maximum is the value; the step reaches it.
			{"pan right limit", kBase,
			 [](viscaIpModule &l, int v) { l.setPanRightLimit(170, uint32_t(v), 0); },
			 "81 01 06 07 00 01 0n 0n 0n 0n 0n 0n 0n 0n FF"},
			{"zoom speed", kBase, storeAndSend(&V::setZoomSpeed, &V::setZoomIn), "81 01 04 07 20-27 FF"},
			{"zoom position", kBase, set(&V::setZoomDirect), "81 01 04 47 0n 0n 0n 0n 00-07 FF"},
			{"HX7 zoom position", kHX7, set(&V::setZoomDirect), "81 01 04 47 0n 0n 0n 0n FF"},
			{"ZQ418 zoom position", kZQ418, set(&V::setZoomDirect), "81 01 04 47 0n 0n 0n 0n FF"},
			{"focus speed", kBase, storeAndSend(&V::setFocusSpeed, &V::setFocusNearWithSpeed),
			 "81 01 04 08 30-37 FF"},
			{"memory recall", kBase, storeAndSend(&V::setMemory1_Index, &V::setMemory1_Recall),
			 "81 01 04 3F 02 00-7F FF"},
			{"AE mode", kBase, set(&V::setAeMode), "81 01 04 39 0n FF"},
			{"shutter", kBase, set(&V::setShutterDirect), "81 01 04 4A 00 00 0n 0n FF"},
			{"HX7 hue", kHX7, set(&V::setHue), "81 01 0E 24 44 0n 0n FF"},
			{"digital effect", kBase, set(&V::setDigEffect), ""},
		};
		// Each outside every field, or inside some and outside others; 16 is one past a nibble, 0x10000 past a
		// position.
		const QList<QPair<const char *, int>> values = {
			{"INT_MIN", std::numeric_limits<int>::min()},
			{"16", 16},
			{"0x100", 0x100},
			{"0x10000", 0x10000},
			{"INT_MAX", std::numeric_limits<int>::max()},
		};
		for (const Command &command : commands) {
			for (const auto &value : values)
				QTest::addRow("%s %s", command.name, value.first)
					<< command.model << command.op << value.second
					<< QString::fromLatin1(command.layout);
		}
	}
	void argumentsStayInTheirFields()
	{
		QFETCH(QString, model);
		QFETCH(LinkSetter, op);
		QFETCH(int, value);
		QFETCH(QString, layout);

		CameraSimulator &sim = *sims.at(model);
		// Only what leaves matters here: nothing waits for the camera (not for the ZQ418's unanswered
		// address-set probe, not for a recall's settling pause), and no move is left holding the camera's
		// sockets.
		sim.setMoveMsPerUnit(0);
		const auto restoreMoves = qScopeGuard([&sim]() { sim.setMoveMsPerUnit(kMoveMsPerUnit); });
		sim.clearReceived();
		std::unique_ptr<viscaIpModule> link(ViscaIPFactory::viscaIPModule(model));
		link->abortWaits();
		link->onConnectToCamera(sim.address().toString(), sim.port());
		op(*link, value);
		// The link sends in order: the address-set probe (the HX7 link has none), the operation, this inquiry.
		link->getGamma();
		const int probes = model == kHX7 ? 0 : 1;
		const int expected = probes + (layout.isEmpty() ? 0 : 1) + 1;
		QVERIFY(sim.waitForReceived(expected, 2000));
		const QList<QByteArray> received = sim.received();
		QCOMPARE(received.size(), expected);
		QCOMPARE(hexText(received.constLast().mid(8)), QStringLiteral("81 09 04 5B FF"));
		if (layout.isEmpty())
			return;
		const QByteArray datagram = received.at(probes);
		QCOMPARE(int(uint8_t(datagram.at(3))), datagram.size() - 8);
		const QString problem = misfit(layout, datagram.mid(8));
		QVERIFY2(problem.isEmpty(), qPrintable(hexText(datagram.mid(8)) + QStringLiteral(": ") + problem));
	}

	void triesAndSecondReply_data()
	{
		QTest::addColumn<QString>("model");
		QTest::addColumn<LinkOp>("op");
		QTest::addColumn<bool>("refused");
		QTest::addColumn<int>("sends");
		QTest::addColumn<bool>("completed");

		// Stray acknowledge: every request is answered with an acknowledge carrying another serial number, then
		// two completions. A command that waits for the second reply skips the stray acknowledge and completes
		// after one send; one that checks the first reply fails and, with two tries, sends the identical packet
		// again (how that resend ends depends on how the stray replies interleave, so it is not checked).
		const auto stray = [](const char *name, const QString &model, LinkOp op, int sends, bool completed) {
			QTest::newRow(name) << model << op << false << sends << completed;
		};
		// Refused: every request gets one error reply, so each command uses up all of its tries.
		const auto refused = [](const char *name, const QString &model, LinkOp op, int sends) {
			QTest::newRow(name) << model << op << true << sends << false;
		};
		using V = viscaIpModule;
		stray("zoom stop waits for the second reply", kBase, call(&V::setZoomStop), 1, true);
		stray("recall waits for the second reply", kBase, call(&V::setMemory1_Recall), 1, true);
		stray("zoom in checks the first reply", kBase, call(&V::setZoomIn), 2, false);
		stray("HX7 zoom direct checks the first reply", kHX7, callWith(&V::setZoomDirect, 0x100), 2, false);
		stray("ZQ418 zoom direct checks the first reply", kZQ418, callWith(&V::setZoomDirect, 0x100), 2, false);

		refused("home: two tries", kBase, call(&V::setHome), 2);
		refused("recall: one try", kBase, call(&V::setMemory1_Recall), 1);
		refused("D26G preset speed: one try", kD26G, callWith(&V::setPresetSpeed, 4), 1);
		refused("D26G speed compensation: two tries", kD26G, callWith(&V::setPTZspeedComp, 1), 2);
		refused("HX7 hue: one try", kHX7, callWith(&V::setHue, 3), 1);
		refused("HX7 zoom direct: two tries", kHX7, callWith(&V::setZoomDirect, 0x100), 2);
		refused("ZQ418 zoom direct: two tries", kZQ418, callWith(&V::setZoomDirect, 0x100), 2);
		refused("ZQ418 preset speed: two tries", kZQ418, callWith(&V::setPresetSpeed, 4), 2);
	}
	void triesAndSecondReply()
	{
		QFETCH(QString, model);
		QFETCH(LinkOp, op);
		QFETCH(bool, refused);
		QFETCH(int, sends);
		QFETCH(bool, completed);

		bool ok = false;
		const QList<Reply> refusal{{"90 61 41 FF"}};
		const QList<Reply> lateThenTwoCompletions{{"90 41 FF", false}, {"90 51 FF"}, {"90 51 FF"}};
		const Played played = playCamera(
			model,
			[&](viscaIpModule &l) {
				op(l);
				ok = l.lastExchangeOk();
			},
			answerEvery(refused ? refusal : lateThenTwoCompletions));
		QCOMPARE(played.requests.size(), sends);
		for (const QByteArray &datagram : played.requests)
			QCOMPARE(hexText(datagram), hexText(played.requests.first()));
		if (refused || sends == 1)
			QCOMPARE(ok, completed);
	}

	// One row per layout an answer keeps its value in, per getter that combines answers, and per model whose
	// inquiry or layout differs. Each request gets the next answer, in order; none is left to silence.
	void answerDecoding_data()
	{
		QTest::addColumn<QString>("model");
		QTest::addColumn<LinkQuery>("query");
		QTest::addColumn<QStringList>("requests");
		QTest::addColumn<QByteArrayList>("answers");
		QTest::addColumn<int>("expected");

		const auto row = [](const char *name, const QString &model, LinkQuery query,
				    const QStringList &requests, const QByteArrayList &answers, int expected) {
			QTest::newRow(name) << model << query << requests << answers << expected;
		};
		using V = viscaIpModule;
		const LinkQuery focus = number(&V::getFocusDirect), afMode = flag(&V::getAfMode);
		const LinkQuery effect = number(&V::getDigEffect), reachable = flag(&V::isUdpSocketOK);
		const QStringList mirrorThenFlip = {"81 09 04 61 FF", "81 09 04 66 FF"};

		// Lens positions: four nibbles of bytes 10..13.
		row("zoom position", kBase, number(&V::getZoomDirect), {"81 09 04 47 FF"}, {"90 50 01 02 03 04 FF"},
		    0x1234);
		row("HX7 zoom position, high nibbles ignored", kHX7, hx7Zoom, {"81 09 04 47 FF"},
		    {"90 50 1A 2B 3C 4D FF"}, 0xABCD);
		row("focus position, truncated", kBase, focus, {"81 09 04 48 FF"}, {"90 50 01 02"}, -1);
		row("focus position, header only", kBase, focus, {"81 09 04 48 FF"}, {""}, -1);
		// Modes: the low nibble of byte 10.
		row("auto focus, low nibble only", kBase, afMode, {"81 09 04 38 FF"}, {"90 50 12 FF"}, 1);
		row("manual focus", kBase, afMode, {"81 09 04 38 FF"}, {"90 50 03 FF"}, 0);
		// Settings written as two nibbles or a whole byte are read back as two nibbles.
		row("shutter, high nibbles ignored", kBase, number(&V::getShutterDirect), {"81 09 04 4A FF"},
		    {"90 50 77 77 1F 2F FF"}, 0xFF);
		row("ZQ418 gain is the whole byte 10", kZQ418, number(&V::getAeGain), {"81 09 04 0C FF"},
		    {"90 50 A7 FF"}, 0xA7);
		row("saturation from nibbles 11 and 13", kBase, number(&V::getSaturation), {"81 09 04 49 FF"},
		    {"90 50 00 03 00 0C FF"}, 0x3C);
		row("saturation ignores byte 13's high nibble", kBase, number(&V::getSaturation), {"81 09 04 49 FF"},
		    {"90 50 00 00 00 C4 FF"}, 4);
		row("D26G saturation is the whole byte 13", kD26G, number(&V::getSaturation), {"81 09 04 49 FF"},
		    {"90 50 00 00 00 C4 FF"}, 0xC4);
		row("HX7 hue", kHX7, number(&V::getHue), {"81 09 0E 24 44 FF"}, {"90 50 00 00 02 0A FF"}, 0x2A);
		// The digital effect from the mirror and flip states (02 on, 03 off).
		row("mirror and flip", kBase, effect, mirrorThenFlip, {"90 50 02 FF", "90 50 02 FF"}, 3);
		row("flip only", kBase, effect, mirrorThenFlip, {"90 50 03 FF", "90 50 02 FF"}, 2);
		row("mirror only", kBase, effect, mirrorThenFlip, {"90 50 02 FF", "90 50 03 FF"}, 1);
		row("mirror, flip unknown", kBase, effect, mirrorThenFlip, {"90 50 02 FF", "90 50 00 FF"}, 0);
		row("mirror refused", kBase, effect, mirrorThenFlip, {"90 60 02 FF", "90 50 02 FF"}, -1);
		row("flip refused", kBase, effect, mirrorThenFlip, {"90 50 02 FF", "90 61 41 FF"}, -1);
		// The HX7 is connected without a probe; any reply to its own command, a refusal too, shows it is there.
		row("HX7 acknowledges", kHX7, reachable, {"81 01 04 00 12 FF"}, {"90 41 FF"}, 1);
		row("HX7 refuses", kHX7, reachable, {"81 01 04 00 12 FF"}, {"90 60 02 FF"}, 1);
		row("HX7 silent", kHX7, reachable, {"81 01 04 00 12 FF"}, {}, 0);
	}
	void answerDecoding()
	{
		QFETCH(QString, model);
		QFETCH(LinkQuery, query);
		QFETCH(QStringList, requests);
		QFETCH(QByteArrayList, answers);
		QFETCH(int, expected);

		int value = -2;
		int answered = 0;
		const Played played = playCamera(
			model, [&](viscaIpModule &l) { value = query(l); },
			[&](const QByteArray &) {
				QList<Reply> next;
				if (answered < answers.size())
					next << Reply{answers.at(answered++)};
				return next;
			});
		QCOMPARE(value, expected);
		QVERIFY(played.connected);
		QCOMPARE(played.probes, model == kHX7 ? 0 : 1);
		QStringList sent;
		for (const QByteArray &request : played.requests) {
			sent << hexText(request.mid(8));
			// An inquiry goes as 01 10, a command as 01 00, with the payload's length.
			const char type = request.at(9) == 0x09 ? 0x10 : 0x00;
			QCOMPARE(hexText(request.left(4)),
				 hexText(QByteArray("\x01") + type + '\0' + char(request.size() - 8)));
		}
		QCOMPARE(sent, requests);
	}

	void refusalsAreNoAnswer_data()
	{
		QTest::addColumn<LinkQuery>("query");
		QTest::addColumn<int>("noAnswer");
		QTest::addColumn<QByteArray>("reply");
		QTest::addColumn<bool>("echoSerial");

		struct Getter {
			const char *name;
			LinkQuery query;
			int noAnswer; // what the getter returns without an answer
		};
		// The getters that make more of an answer than its value.
		const QList<Getter> getters = {
			{"power", flag(&viscaIpModule::isPowerOK), 0},
			{"focus mode", flag(&viscaIpModule::getAfMode), 0},
			{"zoom position", number(&viscaIpModule::getZoomDirect), -1},
			{"digital effect", number(&viscaIpModule::getDigEffect), -1},
		};
		// What comes instead of an answer. Every one of them carries data that decodes to a plausible value
		// when taken for an answer (the syntax error's 02 reads as "on" and "auto focus").
		const QList<QPair<const char *, QPair<const char *, bool>>> replies = {
			{"syntax error", {"90 60 02 FF", true}},
			{"acknowledge", {"90 41 FF", true}},
			{"answer to another request", {"90 50 02 02 02 02 FF", false}},
		};
		for (const Getter &getter : getters) {
			for (const auto &reply : replies) {
				QTest::addRow("%s, %s", getter.name, reply.first)
					<< getter.query << getter.noAnswer << QByteArray(reply.second.first)
					<< reply.second.second;
			}
		}
	}
	void refusalsAreNoAnswer()
	{
		QFETCH(LinkQuery, query);
		QFETCH(int, noAnswer);
		QFETCH(QByteArray, reply);
		QFETCH(bool, echoSerial);

		int value = -2;
		bool ok = true, answered = !echoSerial;
		playCamera(
			kBase,
			[&](viscaIpModule &l) {
				value = query(l);
				ok = l.lastExchangeOk();
				answered = l.lastExchangeAnswered();
			},
			answerEvery({{reply, echoSerial}}));
		QCOMPARE(value, noAnswer);
		QVERIFY(!ok);
		// The camera did answer this request, if only to refuse it; a reply to another one is as good as
		// silence.
		QCOMPARE(answered, echoSerial);
	}

	void factoryRules_data()
	{
		QTest::addColumn<QString>("model");
		QTest::addColumn<QString>("expectedClass");

		const QString base = QStringLiteral("viscaIpModule");
		// Every camera the simulator can play must get a link that speaks its dialect.
		for (const SimModel &model : SimModels::all())
			QTest::newRow(qPrintable(model.name))
				<< model.name << SimModels::linkClassName(model.linkClass);

		// A name, or a settings key that ends with one, case-sensitive; the longest listed name wins.
		QTest::newRow("lower-case HX7 name") << QStringLiteral("nx-hx7") << base;
		QTest::newRow("settings key ending with a D26G name")
			<< QStringLiteral("127.0.0.5NX-D26G") << QStringLiteral("D26GViscaIPModule");
		QTest::newRow("ZQ418S") << QStringLiteral("NX-ZQ418S") << QStringLiteral("ZQ418ViscaIPModule");
		QTest::newRow("name inside other text") << QStringLiteral("NX-HX7 copy") << base;
		QTest::newRow("empty name") << QString() << base;
		QTest::newRow("unknown name") << QStringLiteral("PTZ-9000") << base;
	}
	void factoryRules()
	{
		QFETCH(QString, model);
		QFETCH(QString, expectedClass);

		std::unique_ptr<viscaIpModule> link(ViscaIPFactory::viscaIPModule(model));
		QVERIFY(link);
		QCOMPARE(QString::fromLatin1(link->metaObject()->className()), expectedClass);
	}
};

QTEST_GUILESS_MAIN(tst_viscaIpModule)
#include "tst_viscaIpModule.moc"
