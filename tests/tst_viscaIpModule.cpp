// The camera link, on the wire: framing, serial numbers, the command and inquiry exchanges, error classes, the
// second-reply receive, the bounded receive, the link probes, the camera command set and the model variants.
// Everything is sent through a real link to a simulated camera or, where exact reply bytes matter, to a scripted
// loopback peer, and what arrives is compared with the camera's command list.

#include "CameraSimulator.h"
#include "CapturedLog.h"
#include "visca/HX7ViscaIPModule.h"
#include "camera/ViscaIPFactory.h"
#include "visca/ViscaReply.h"
#include "visca/viscaIpModule.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>
#include <QUdpSocket>
#include <QtTest>

#include <atomic>
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

int countLogged(const QString &line)
{
	return int(CapturedLog::all().count(line));
}

int countLoggedStartingWith(const QString &prefix)
{
	int n = 0;
	for (const QString &line : CapturedLog::all())
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

// A peer on a loopback address that answers fixed bytes: a request whose payload has a script gets the scripted
// payloads at once, each framed as a reply carrying the request's serial number, or another one to play a late
// reply of an earlier exchange. Requests without a script get the fallback script (nothing by default).
class ScriptedCamera {
public:
	struct Reply {
		QByteArray payload;
		bool echoSerial = true;
	};

	explicit ScriptedCamera(const QString &address) : address(address) {}
	~ScriptedCamera() { stop(); }

	bool start()
	{
		running = true;
		thread.reset(QThread::create([this] { run(); }));
		thread->start();
		// The worker reports its port (or 0 when the bind failed) right after binding.
		QElapsedTimer clock;
		clock.start();
		while (boundPort.load() < 0 && clock.elapsed() < 5000)
			QThread::msleep(5);
		return boundPort.load() > 0;
	}

	void stop()
	{
		running = false;
		if (thread) {
			thread->wait(5000);
			thread.reset();
		}
	}

	QString host() const { return address; }
	quint16 port() const { return quint16(boundPort.load()); }

	void script(const QByteArray &request, const QList<Reply> &replies)
	{
		QMutexLocker lock(&mutex);
		scripts.insert(request, replies);
	}
	void scriptOthers(const QList<Reply> &replies)
	{
		QMutexLocker lock(&mutex);
		fallback = replies;
	}
	void reset()
	{
		QMutexLocker lock(&mutex);
		scripts.clear();
		fallback.clear();
		datagrams.clear();
		// Every link probes with the address set first; answer it like one camera on the chain.
		scripts.insert(QByteArray::fromHex("88 30 01 FF"), {{QByteArray::fromHex("88 30 02 FF"), true}});
	}
	void clearReceived()
	{
		QMutexLocker lock(&mutex);
		datagrams.clear();
	}
	QList<QByteArray> received() const
	{
		QMutexLocker lock(&mutex);
		return datagrams;
	}

private:
	void run()
	{
		QUdpSocket socket;
		if (!socket.bind(QHostAddress(address), 0)) {
			boundPort = 0;
			return;
		}
		boundPort = socket.localPort();
		QElapsedTimer lifetime;
		lifetime.start();
		// Only answers what arrives, and gives up on its own after a minute in any case.
		while (running && lifetime.elapsed() < 60000) {
			if (!socket.hasPendingDatagrams() && !socket.waitForReadyRead(20))
				continue;
			while (socket.hasPendingDatagrams()) {
				QByteArray datagram(int(socket.pendingDatagramSize()), '\0');
				QHostAddress peer;
				quint16 peerPort = 0;
				socket.readDatagram(datagram.data(), datagram.size(), &peer, &peerPort);
				QList<Reply> replies;
				{
					QMutexLocker lock(&mutex);
					datagrams.append(datagram);
					replies = scripts.value(datagram.mid(8), fallback);
				}
				QByteArray serial = datagram.mid(4, 4);
				serial.resize(4);
				for (const Reply &reply : replies) {
					QByteArray out = QByteArray::fromHex("01 11 00");
					out.append(char(reply.payload.size()));
					QByteArray echoed = serial;
					if (!reply.echoSerial)
						echoed[3] = char((uint8_t(echoed[3]) + 1) & 0x0F);
					out.append(echoed);
					out.append(reply.payload);
					socket.writeDatagram(out, peer, peerPort);
				}
			}
		}
	}

	const QString address;
	std::unique_ptr<QThread> thread;
	std::atomic<bool> running{false};
	std::atomic<int> boundPort{-1};
	mutable QMutex mutex;
	QMap<QByteArray, QList<Reply>> scripts;
	QList<Reply> fallback;
	QList<QByteArray> datagrams;
};

std::unique_ptr<viscaIpModule> linkTo(const QString &model, const QString &host, quint16 port)
{
	std::unique_ptr<viscaIpModule> link(ViscaIPFactory::viscaIPModule(model));
	link->onConnectToCamera(host, port);
	return link;
}

// The payloads that arrived, in order; a resend shows as the same payload twice. Also checks each header: 01, 00
// for a command or 10 for an inquiry, 00, payload length.
bool sentPayloads(const QList<QByteArray> &datagrams, QStringList *payloads, QString *problem)
{
	for (const QByteArray &datagram : datagrams) {
		if (datagram.size() <= 8) {
			*problem = QStringLiteral("datagram without payload: ") + hexText(datagram);
			return false;
		}
		const QByteArray payload = datagram.mid(8);
		const bool inquiry = uint8_t(payload.at(1)) == 0x09;
		QByteArray header;
		header.append(char(0x01));
		header.append(char(inquiry ? 0x10 : 0x00));
		header.append(char(0x00));
		header.append(char(payload.size()));
		if (datagram.left(4) != header) {
			*problem = QStringLiteral("header %1 for payload %2")
					   .arg(hexText(datagram.left(4)), hexText(payload));
			return false;
		}
		payloads->append(hexText(payload));
	}
	return true;
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
LinkOp zoomTo(int speed, int position)
{
	return [=](viscaIpModule &l) {
		l.setZoomSpeed(speed);
		l.setZoomDirect(position);
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
	row("right step 0 is min 0", limit(&V::setPanRightLimit, 0, 0x0990, 0),
	    {"81 01 06 07 00 01 00 00 00 00 00 00 00 00 FF"});
	row("right full step clamps to max", limit(&V::setPanRightLimit, 170, 0x0990, 0),
	    {"81 01 06 07 00 01 00 09 09 00 00 00 00 00 FF"});
	row("right one below full", limit(&V::setPanRightLimit, 169, 0x0990, 0),
	    {"81 01 06 07 00 01 00 09 08 03 00 00 00 00 FF"});
	row("right negative clamps to min", limit(&V::setPanRightLimit, -5, 0x0990, 0x10),
	    {"81 01 06 07 00 01 00 00 01 00 00 00 00 00 FF"});
	row("right step 0 gives a non-zero min", limit(&V::setPanRightLimit, 0, 100, 5),
	    {"81 01 06 07 00 01 00 00 00 05 00 00 00 00 FF"});
	// 114 / 170.0 rounded to single precision makes 85 steps exactly 57.0, hence 58; in double it stays below 57.
	row("right single-precision ratio", limit(&V::setPanRightLimit, 85, 0x71, 0),
	    {"81 01 06 07 00 01 00 00 03 0A 00 00 00 00 FF"});
	row("up 45 of 0..0x0510", limit(&V::setTiltUpLimit, 45, 0x0510, 0),
	    {"81 01 06 07 00 01 00 00 00 00 00 02 08 09 FF"});
	row("up full step clamps to max", limit(&V::setTiltUpLimit, 90, 0x0510, 0),
	    {"81 01 06 07 00 01 00 00 00 00 00 05 01 00 FF"});
	// 105 / 90.0 in single precision makes 54 steps fall just below 63.
	row("up single-precision ratio", limit(&V::setTiltUpLimit, 54, 0x68, 0),
	    {"81 01 06 07 00 01 00 00 00 00 00 00 03 0F FF"});
	row("left -10 counts back from 0xFFFF", limit(&V::setPanLeftLimit, -10, 0xFFFF, 0xF670),
	    {"81 01 06 07 00 00 0F 0F 07 00 0F 0F 0F 0F FF"});
	row("left step 0 clamps to max", limit(&V::setPanLeftLimit, 0, 0xFFFF, 0xF670),
	    {"81 01 06 07 00 00 0F 0F 0F 0F 0F 0F 0F 0F FF"});
	row("left -169", limit(&V::setPanLeftLimit, -169, 0xFFFF, 0xF670),
	    {"81 01 06 07 00 00 0F 06 07 0E 0F 0F 0F 0F FF"});
	row("left full step clamps to min", limit(&V::setPanLeftLimit, -170, 0xFFFF, 0xF670),
	    {"81 01 06 07 00 00 0F 06 07 00 0F 0F 0F 0F FF"});
	// 432 / 30 is 14 in whole numbers (14.4 otherwise, which would give 0xFF70).
	row("down -10 uses a whole-number ratio", limit(&V::setTiltDownLimit, -10, 0xFFFF, 0xFE50),
	    {"81 01 06 07 00 00 0F 0F 0F 0F 0F 0F 07 04 FF"});
	row("down -31 clamps to min", limit(&V::setTiltDownLimit, -31, 0xFFFF, 0xFE50),
	    {"81 01 06 07 00 00 0F 0F 0F 0F 0F 0E 05 00 FF"});
	// Each corner's message carries both of its limits: the one set before is kept, through clears too.
	row("up keeps the right limit",
	    [](viscaIpModule &l) {
		    l.setPanRightLimit(10, 0x0990, 0);
		    l.setTiltUpLimit(45, 0x0510, 0);
	    },
	    {"81 01 06 07 00 01 00 00 09 01 00 00 00 00 FF", "81 01 06 07 00 01 00 00 09 01 00 02 08 09 FF"});
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
	static void clearLog() { CapturedLog::clear(); }

	std::map<QString, std::unique_ptr<CameraSimulator>> sims;
	std::unique_ptr<ScriptedCamera> peer;

private slots:
	void initTestCase()
	{
		// The link's debug lines are what several checks read; they are collected, not printed.
		QLoggingCategory::setFilterRules(QStringLiteral("kavren.link.debug=true"));
		CapturedLog::install();
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
			auto sim = std::make_unique<CameraSimulator>(options);
			QString error;
			QVERIFY2(sim->start(&error), qPrintable(camera.first + QStringLiteral(": ") + error));
			sims[camera.first] = std::move(sim);
		}
		peer = std::make_unique<ScriptedCamera>(QStringLiteral("127.0.0.36"));
		QVERIFY(peer->start());
	}
	void cleanupTestCase()
	{
		peer.reset();
		for (auto &sim : sims)
			sim.second->stop();
		sims.clear();
		CapturedLog::uninstall();
	}
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

		const uint32_t before = link.getSerialNum();
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

	void recallBeforeAnyIndexStaysInField()
	{
		// A link whose memory number was never set: -1 would put a terminator inside the message.
		CameraSimulator &sim = *sims.at(kBase);
		auto link = linkTo(kBase, sim.address().toString(), sim.port());
		QCOMPARE(link->memoryIndex(), -1);
		sim.clearReceived();
		link->setMemory1_Recall();
		QVERIFY(sim.waitForReceived(1, 2000));
		QStringList sent;
		QString problem;
		QVERIFY2(sentPayloads(sim.received(), &sent, &problem), qPrintable(problem));
		QCOMPARE(sent, QStringList{QStringLiteral("81 01 04 3F 02 00 FF")});
	}

	void payloads_data()
	{
		QTest::addColumn<QString>("model");
		QTest::addColumn<LinkOp>("op");
		QTest::addColumn<QStringList>("expected");

		const auto row = [](const char *name, const QString &model, LinkOp op, const QStringList &expected) {
			QTest::newRow(name) << model << op << expected;
		};
		// A drive command after setting the two speeds it carries.
		const auto drive = [](int pan, int tilt, Action move) {
			return LinkOp([=](viscaIpModule &l) {
				l.setPanSpeed(pan);
				l.setTiltSpeed(tilt);
				(l.*move)();
			});
		};
		using V = viscaIpModule;

		// Motion
		row("home", kBase, call(&V::setHome), {"81 01 06 04 FF"});
		row("up, initial speeds", kBase, call(&V::setMotorUP), {"81 01 06 01 0B 0B 03 01 FF"});
		row("down", kBase, drive(5, 7, &V::setMotorDown), {"81 01 06 01 05 07 03 02 FF"});
		row("left", kBase, drive(1, 2, &V::setMotorLeft), {"81 01 06 01 01 02 01 03 FF"});
		row("right", kBase, drive(0x18, 0x14, &V::setMotorRight), {"81 01 06 01 18 14 02 03 FF"});
		row("up-left", kBase, drive(3, 4, &V::setMotorUpLeft), {"81 01 06 01 03 04 01 01 FF"});
		row("up-right", kBase, drive(3, 4, &V::setMotorUpRight), {"81 01 06 01 03 04 02 01 FF"});
		row("down-left", kBase, drive(3, 4, &V::setMotorDownLeft), {"81 01 06 01 03 04 01 02 FF"});
		row("down-right", kBase, drive(3, 4, &V::setMotorDownRight), {"81 01 06 01 03 04 02 02 FF"});
		row("stop", kBase, drive(9, 6, &V::setMotorStop), {"81 01 06 01 09 06 03 03 FF"});
		row("preset speed", kBase, callWith(&V::setPresetSpeed, 12), {"81 01 06 20 0C FF"});
		row("speed compensation on", kBase, callWith(&V::setPTZspeedComp, 1), {"81 01 06 1F 01 01 FF"});
		row("speed compensation off", kBase, callWith(&V::setPTZspeedComp, 0), {"81 01 06 1F 01 00 FF"});
		row("right-up limit clear", kBase, call(&V::setPanTilt_RightUpLimit_Clear),
		    {"81 01 06 07 01 01 07 0F 0F 0F 07 0F 0F 0F FF"});
		row("left-down limit clear", kBase, call(&V::setPanTilt_LeftDownLimit_Clear),
		    {"81 01 06 07 01 00 07 0F 0F 0F 07 0F 0F 0F FF"});
		row("D26G speed compensation", kD26G, callWith(&V::setPTZspeedComp, 1), {"81 01 7E 03 03 01 FF"});
		row("D26G preset speed", kD26G, callWith(&V::setPresetSpeed, 9), {"81 01 7E 03 02 09 FF"});
		row("ZQ418 preset speed", kZQ418, callWith(&V::setPresetSpeed, 9), {"81 01 01 09 FF"});

		// Lens
		row("zoom in, initial speed", kBase, call(&V::setZoomIn), {"81 01 04 07 22 FF"});
		row("zoom in, speed 5", kBase, storeThen(&V::setZoomSpeed, 5, &V::setZoomIn), {"81 01 04 07 25 FF"});
		row("zoom out, speed 7", kBase, storeThen(&V::setZoomSpeed, 7, &V::setZoomOut), {"81 01 04 07 37 FF"});
		row("zoom stop", kBase, call(&V::setZoomStop), {"81 01 04 07 00 FF"});
		row("zoom direct, initial speed", kBase, callWith(&V::setZoomDirect, 0x4000),
		    {"81 01 04 47 04 00 00 00 02 FF"});
		row("zoom direct, speed 6", kBase, zoomTo(6, 0x1234), {"81 01 04 47 01 02 03 04 06 FF"});
		row("HX7 zoom direct", kHX7, zoomTo(6, 0x1234), {"81 01 04 47 01 02 03 04 FF"});
		row("HX7 zoom position", kHX7, [](viscaIpModule &l) { hx7Zoom(l); }, {"81 09 04 47 FF"});
		row("D26G zoom direct", kD26G, callWith(&V::setZoomDirect, 0x1234), {"81 01 04 47 01 02 03 04 02 FF"});
		row("ZQ418 zoom direct", kZQ418, callWith(&V::setZoomDirect, 0x1234), {"81 01 04 47 01 02 03 04 FF"});
		row("focus near, initial speed", kBase, call(&V::setFocusNearWithSpeed), {"81 01 04 08 33 FF"});
		row("focus far, speed 6", kBase, storeThen(&V::setFocusSpeed, 6, &V::setFocusfarWithSpeed),
		    {"81 01 04 08 26 FF"});
		row("focus stop", kBase, call(&V::setFocusStop), {"81 01 04 08 00 FF"});
		row("focus direct", kBase, callWith(&V::setFocusDirect, 0xABCD), {"81 01 04 48 0A 0B 0C 0D FF"});
		row("auto focus", kBase, [](viscaIpModule &l) { l.setAfMode(true); }, {"81 01 04 38 02 FF"});
		row("manual focus", kBase, [](viscaIpModule &l) { l.setAfMode(false); }, {"81 01 04 38 03 FF"});

		// Memories
		row("memory reset", kBase, storeThen(&V::setMemory1_Index, 5, &V::setMemory1_Reset),
		    {"81 01 04 3F 00 05 FF"});
		row("memory save", kBase, storeThen(&V::setMemory1_Index, 7, &V::setMemory1_Save),
		    {"81 01 04 3F 01 07 FF"});
		row("memory recall", kBase, storeThen(&V::setMemory1_Index, 3, &V::setMemory1_Recall),
		    {"81 01 04 3F 02 03 FF"});

		// Exposure and white balance
		row("AE mode", kBase, callWith(&V::setAeMode, 3), {"81 01 04 39 03 FF"});
		row("shutter", kBase, callWith(&V::setShutterDirect, 0x15), {"81 01 04 4A 00 00 01 05 FF"});
		row("iris", kBase, callWith(&V::setIrisDirect, 0x0C), {"81 01 04 4B 00 00 00 0C FF"});
		row("gain", kBase, callWith(&V::setAeGain, 0x0D), {"81 01 04 4C 00 00 00 0D FF"});
		row("WB mode", kBase, callWith(&V::setWBmode, 4), {"81 01 04 35 04 FF"});
		row("red gain", kBase, callWith(&V::setRGain, 0xC8), {"81 01 04 43 00 00 0C 08 FF"});
		row("blue gain", kBase, callWith(&V::setBGain, 0x7F), {"81 01 04 44 00 00 07 0F FF"});
		row("one-push trigger", kBase, call(&V::setOnePushTrigger), {"81 01 04 10 05 FF"});

		// Image
		row("brightness", kBase, callWith(&V::setBrightness, 9), {"81 01 04 4D 00 00 00 09 FF"});
		row("hue", kBase, callWith(&V::setHue, 6), {"81 01 04 4F 00 00 00 06 FF"});
		row("saturation", kBase, callWith(&V::setSaturation, 0x0B), {"81 01 04 49 00 00 00 0B FF"});
		row("sharpness", kBase, callWith(&V::setSharpness, 18), {"81 01 04 42 00 00 01 02 FF"});
		row("HX7 hue", kHX7, callWith(&V::setHue, 0x2A), {"81 01 0E 24 44 02 0A FF"});
		row("HX7 saturation", kHX7, callWith(&V::setSaturation, 0x64), {"81 01 0E 24 43 06 04 FF"});
		row("HX7 sharpness", kHX7, callWith(&V::setSharpness, 7), {"81 01 0E 24 40 00 07 FF"});
		row("gamma", kBase, callWith(&V::setGamma, 2), {"81 01 04 5B 02 FF"});
		row("flip on", kBase, callWith(&V::setFlip, 2), {"81 01 04 66 02 FF"});
		row("mirror off", kBase, callWith(&V::setMirror, 3), {"81 01 04 61 03 FF"});
		row("image mode", kBase, callWith(&V::setImageMode, 1), {"81 01 04 3F 04 01 FF"});

		// Digital effect: two commands, the one switched off first.
		row("effect 0: neither", kBase, callWith(&V::setDigEffect, 0),
		    {"81 01 04 61 03 FF", "81 01 04 66 03 FF"});
		row("effect 1: mirror", kBase, callWith(&V::setDigEffect, 1),
		    {"81 01 04 66 03 FF", "81 01 04 61 02 FF"});
		row("effect 2: flip", kBase, callWith(&V::setDigEffect, 2), {"81 01 04 61 03 FF", "81 01 04 66 02 FF"});
		row("effect 3: mirror and flip", kBase, callWith(&V::setDigEffect, 3),
		    {"81 01 04 61 02 FF", "81 01 04 66 02 FF"});
		row("effect 4 sends nothing", kBase, callWith(&V::setDigEffect, 4), {});
		row("effect -1 sends nothing", kBase, callWith(&V::setDigEffect, -1), {});
		row("effect inquiry: mirror, then flip", kBase, [](viscaIpModule &l) { l.getDigEffect(); },
		    {"81 09 04 61 FF", "81 09 04 66 FF"});

		// Stored values send nothing.
		row("speeds and memory number are only stored", kBase,
		    [](viscaIpModule &l) {
			    l.setPanSpeed(3);
			    l.setTiltSpeed(4);
			    l.setZoomSpeed(5);
			    l.setFocusSpeed(6);
			    l.setMemory1_Index(7);
		    },
		    {});
		addLimitRows();
	}

	void payloads()
	{
		QFETCH(QString, model);
		QFETCH(LinkOp, op);
		QFETCH(QStringList, expected);

		CameraSimulator &sim = *sims.at(model);
		auto link = linkTo(model, sim.address().toString(), sim.port());
		sim.clearReceived();
		op(*link);
		if (!expected.isEmpty()) {
			// Completed at the first try, commands that await their completion included: nothing goes out
			// twice.
			QVERIFY(link->lastExchangeOk());
			QVERIFY(sim.waitForReceived(expected.size(), 2000));
		}

		QStringList sent;
		QString problem;
		QVERIFY2(sentPayloads(sim.received(), &sent, &problem), qPrintable(problem));
		QCOMPARE(sent, expected);
	}

	void lostCompletionIsResentOnce_data()
	{
		QTest::addColumn<QString>("model");
		QTest::addColumn<LinkOp>("op");
		QTest::addColumn<int>("sends");
		QTest::addColumn<bool>("completed");

		QTest::newRow("zoom direct")
			<< kBase << LinkOp([](viscaIpModule &l) { l.setZoomDirect(0x2345); }) << 2 << true;
		QTest::newRow("image mode")
			<< kBase << LinkOp([](viscaIpModule &l) { l.setImageMode(3); }) << 2 << true;
		QTest::newRow("HX7 zoom direct, first reply checked")
			<< kHX7 << LinkOp([](viscaIpModule &l) { l.setZoomDirect(0x1234); }) << 2 << true;
		// A recall is never repeated: a second one would start the move again.
		QTest::newRow("recall, one try") << kBase << LinkOp([](viscaIpModule &l) {
			l.setMemory1_Index(1);
			l.setMemory1_Recall();
		}) << 1 << false;
	}

	void lostCompletionIsResentOnce()
	{
		QFETCH(QString, model);
		QFETCH(LinkOp, op);
		QFETCH(int, sends);
		QFETCH(bool, completed);

		CameraSimulator &sim = *sims.at(model);
		auto link = linkTo(model, sim.address().toString(), sim.port());
		sim.clearReceived();
		sim.dropNextCompletions(1);
		op(*link);
		QCOMPARE(link->lastExchangeOk(), completed);
		QVERIFY(sim.waitForReceived(sends, 2000));
		const QList<QByteArray> received = sim.received();
		QCOMPARE(received.size(), sends);
		// The resend is the identical packet, serial number included.
		QCOMPARE(received.constLast(), received.constFirst());
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
		// The limit's maximum is the value; the step reaches it.
		const auto limit = [](void (viscaIpModule::*command)(int, uint32_t, uint32_t), int step) {
			return LinkSetter([=](viscaIpModule &l, int v) { (l.*command)(step, uint32_t(v), 0); });
		};
		const char *limitUpRight = "81 01 06 07 00 01 0n 0n 0n 0n 0n 0n 0n 0n FF";
		const char *limitDownLeft = "81 01 06 07 00 00 0n 0n 0n 0n 0n 0n 0n 0n FF";
		const QList<Command> commands = {
			// Motion
			{"pan speed", kBase, storeAndSend(&viscaIpModule::setPanSpeed, &viscaIpModule::setMotorUP),
			 "81 01 06 01 01-18 01-17 03 01 FF"},
			{"tilt speed", kBase,
			 storeAndSend(&viscaIpModule::setTiltSpeed, &viscaIpModule::setMotorDownLeft),
			 "81 01 06 01 01-18 01-17 01 02 FF"},
			{"preset speed", kBase, set(&viscaIpModule::setPresetSpeed), "81 01 06 20 01-18 FF"},
			{"D26G preset speed", kD26G, set(&viscaIpModule::setPresetSpeed), "81 01 7E 03 02 01-18 FF"},
			{"ZQ418 preset speed", kZQ418, set(&viscaIpModule::setPresetSpeed), "81 01 01 01-18 FF"},
			{"speed compensation", kBase, set(&viscaIpModule::setPTZspeedComp), "81 01 06 1F 01 vv FF"},
			{"D26G speed compensation", kD26G, set(&viscaIpModule::setPTZspeedComp),
			 "81 01 7E 03 03 vv FF"},
			{"pan right limit", kBase, limit(&viscaIpModule::setPanRightLimit, 170), limitUpRight},
			{"pan left limit", kBase, limit(&viscaIpModule::setPanLeftLimit, 0), limitDownLeft},
			// Lens
			{"zoom speed, tele", kBase,
			 storeAndSend(&viscaIpModule::setZoomSpeed, &viscaIpModule::setZoomIn), "81 01 04 07 20-27 FF"},
			{"zoom speed, wide", kBase,
			 storeAndSend(&viscaIpModule::setZoomSpeed, &viscaIpModule::setZoomOut),
			 "81 01 04 07 30-37 FF"},
			{"zoom speed, direct", kBase,
			 [](viscaIpModule &l, int v) {
				 l.setZoomSpeed(v);
				 l.setZoomDirect(0x1000);
			 },
			 "81 01 04 47 01 00 00 00 00-07 FF"},
			{"zoom position", kBase, set(&viscaIpModule::setZoomDirect),
			 "81 01 04 47 0n 0n 0n 0n 00-07 FF"},
			{"HX7 zoom position", kHX7, set(&viscaIpModule::setZoomDirect), "81 01 04 47 0n 0n 0n 0n FF"},
			{"ZQ418 zoom position", kZQ418, set(&viscaIpModule::setZoomDirect),
			 "81 01 04 47 0n 0n 0n 0n FF"},
			{"focus speed, near", kBase,
			 storeAndSend(&viscaIpModule::setFocusSpeed, &viscaIpModule::setFocusNearWithSpeed),
			 "81 01 04 08 30-37 FF"},
			{"focus speed, far", kBase,
			 storeAndSend(&viscaIpModule::setFocusSpeed, &viscaIpModule::setFocusfarWithSpeed),
			 "81 01 04 08 20-27 FF"},
			{"focus position", kBase, set(&viscaIpModule::setFocusDirect), "81 01 04 48 0n 0n 0n 0n FF"},
			// Memories
			{"memory recall", kBase,
			 storeAndSend(&viscaIpModule::setMemory1_Index, &viscaIpModule::setMemory1_Recall),
			 "81 01 04 3F 02 00-7F FF"},
			// Exposure and white balance
			{"AE mode", kBase, set(&viscaIpModule::setAeMode), "81 01 04 39 0n FF"},
			{"shutter", kBase, set(&viscaIpModule::setShutterDirect), "81 01 04 4A 00 00 0n 0n FF"},
			{"iris", kBase, set(&viscaIpModule::setIrisDirect), "81 01 04 4B 00 00 00 vv FF"},
			{"gain", kBase, set(&viscaIpModule::setAeGain), "81 01 04 4C 00 00 0n 0n FF"},
			// Image
			{"saturation", kBase, set(&viscaIpModule::setSaturation), "81 01 04 49 00 00 00 vv FF"},
			{"sharpness", kBase, set(&viscaIpModule::setSharpness), "81 01 04 42 00 00 0n 0n FF"},
			{"HX7 hue", kHX7, set(&viscaIpModule::setHue), "81 01 0E 24 44 0n 0n FF"},
			{"image mode", kBase, set(&viscaIpModule::setImageMode), "81 01 04 3F 04 0n FF"},
			{"digital effect", kBase, set(&viscaIpModule::setDigEffect), ""},
		};
		// Each outside every field, or inside some and outside others; 16 is one past a nibble, 0x10000 past a
		// position.
		const QList<QPair<const char *, int>> values = {
			{"INT_MIN", std::numeric_limits<int>::min()},
			{"-1", -1},
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

	void clampingIsLogged_data()
	{
		QTest::addColumn<LinkOp>("op");
		QTest::addColumn<QString>("line"); // empty: nothing was clamped

		QTest::newRow("pan speed inside") << LinkOp([](viscaIpModule &l) { l.setPanSpeed(0x18); }) << QString();
		QTest::newRow("pan speed above") << LinkOp([](viscaIpModule &l) { l.setPanSpeed(0x19); })
						 << "setPanSpeed: pan speed 25 is outside 1..24, sent as 24";
		QTest::newRow("zoom position below") << LinkOp([](viscaIpModule &l) { l.setZoomDirect(-1); })
						     << "setZoomDirect: position -1 is outside 0..65535, sent as 0";
		QTest::newRow("AE mode above a nibble") << LinkOp([](viscaIpModule &l) { l.setAeMode(16); })
							<< "setAeMode: value 16 is outside 0..15, sent as 15";
		QTest::newRow("iris at the terminator") << LinkOp([](viscaIpModule &l) { l.setIrisDirect(0xFF); })
							<< "setIrisDirect: value 255 is outside 0..254, sent as 254";
		QTest::newRow("iris inside") << LinkOp([](viscaIpModule &l) { l.setIrisDirect(0x1C); }) << QString();
	}

	void clampingIsLogged()
	{
		QFETCH(LinkOp, op);
		QFETCH(QString, line);

		CameraSimulator &sim = *sims.at(kBase);
		auto link = linkTo(kBase, sim.address().toString(), sim.port());
		CapturedLog::clear();
		op(*link);
		const QStringList clamped = CapturedLog::all().filter(QStringLiteral(" is outside "));
		QCOMPARE(clamped, line.isEmpty() ? QStringList() : QStringList{line});
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
		stray("zoom direct waits for the second reply", kBase, callWith(&V::setZoomDirect, 0x100), 1, true);
		stray("focus direct waits for the second reply", kBase, callWith(&V::setFocusDirect, 0x100), 1, true);
		stray("image mode waits for the second reply", kBase, callWith(&V::setImageMode, 2), 1, true);
		stray("recall waits for the second reply", kBase, call(&V::setMemory1_Recall), 1, true);
		stray("zoom in checks the first reply", kBase, call(&V::setZoomIn), 2, false);
		stray("focus stop checks the first reply", kBase, call(&V::setFocusStop), 2, false);
		stray("memory save checks the first reply", kBase, call(&V::setMemory1_Save), 2, false);
		stray("mirror checks the first reply", kBase, callWith(&V::setMirror, 2), 2, false);
		stray("HX7 zoom direct checks the first reply", kHX7, callWith(&V::setZoomDirect, 0x100), 2, false);
		stray("ZQ418 zoom direct checks the first reply", kZQ418, callWith(&V::setZoomDirect, 0x100), 2, false);
		stray("HX7 hue checks the first reply", kHX7, callWith(&V::setHue, 3), 1, false);

		refused("home: two tries", kBase, call(&V::setHome), 2);
		refused("preset speed: two tries", kBase, callWith(&V::setPresetSpeed, 4), 2);
		refused("limit: two tries", kBase, [](viscaIpModule &l) { l.setPanRightLimit(1, 0x990, 0); }, 2);
		refused("zoom stop: two tries", kBase, call(&V::setZoomStop), 2);
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

		peer->reset();
		if (refused)
			peer->scriptOthers({{QByteArray::fromHex("90 61 41 FF"), true}});
		else
			peer->scriptOthers({{QByteArray::fromHex("90 41 FF"), false},
					    {QByteArray::fromHex("90 51 FF"), true},
					    {QByteArray::fromHex("90 51 FF"), true}});
		auto link = linkTo(model, peer->host(), peer->port());
		peer->clearReceived();
		op(*link);

		// A resend may still be on its way when a stray completion already satisfied the exchange.
		QTRY_COMPARE_WITH_TIMEOUT(peer->received().size(), sends, 2000);
		const QList<QByteArray> received = peer->received();
		for (const QByteArray &datagram : received)
			QCOMPARE(hexText(datagram), hexText(received.first()));
		if (refused || sends == 1)
			QCOMPARE(link->lastExchangeOk(), completed);
	}

	void inquiryDecoding_data()
	{
		QTest::addColumn<QString>("model");
		QTest::addColumn<LinkQuery>("query");
		QTest::addColumn<QByteArray>("request");
		QTest::addColumn<QStringList>("replies"); // empty: the camera stays silent
		QTest::addColumn<int>("expected");

		const auto row = [](const char *name, const QString &model, LinkQuery query, const char *request,
				    const QStringList &replies, int expected) {
			QTest::newRow(name) << model << query << QByteArray::fromHex(request) << replies << expected;
		};
		using V = viscaIpModule;
		const LinkQuery zoomHX7 = hx7Zoom, focus = number(&V::getFocusDirect), afMode = flag(&V::getAfMode);

		// Lens positions: four nibbles of bytes 10..13.
		row("zoom position", kBase, number(&V::getZoomDirect), "81 09 04 47 FF", {"90 50 01 02 03 04 FF"},
		    0x1234);
		row("zoom position 0 is the wide end", kHX7, zoomHX7, "81 09 04 47 FF", {"90 50 00 00 00 00 FF"}, 0);
		row("HX7 zoom position", kHX7, zoomHX7, "81 09 04 47 FF", {"90 50 0A 0B 0C 0D FF"}, 0xABCD);
		row("HX7 zoom position, high nibbles ignored", kHX7, zoomHX7, "81 09 04 47 FF",
		    {"90 50 1A 2B 3C 4D FF"}, 0xABCD);
		row("focus position", kBase, focus, "81 09 04 48 FF", {"90 50 0F 0E 0D 0C FF"}, 0xFEDC);
		row("focus position, truncated", kBase, focus, "81 09 04 48 FF", {"90 50 01 02"}, -1);
		row("focus position, answer too short", kBase, focus, "81 09 04 48 FF", {"90 50 01 02 FF"}, -1);
		row("focus position, header only", kBase, focus, "81 09 04 48 FF", {""}, -1);
		row("focus position, no answer", kBase, focus, "81 09 04 48 FF", {}, -1);
		row("auto focus", kBase, afMode, "81 09 04 38 FF", {"90 50 02 FF"}, 1);
		row("manual focus", kBase, afMode, "81 09 04 38 FF", {"90 50 03 FF"}, 0);
		row("auto focus, low nibble only", kBase, afMode, "81 09 04 38 FF", {"90 50 12 FF"}, 1);
		row("focus mode, no answer", kBase, afMode, "81 09 04 38 FF", {}, 0);

		// Exposure: settings written as two nibbles or a whole byte are read back as two nibbles.
		row("AE mode", kBase, number(&V::getAeMode), "81 09 04 39 FF", {"90 50 0E FF"}, 14);
		row("shutter", kBase, number(&V::getShutterDirect), "81 09 04 4A FF", {"90 50 00 00 0A 05 FF"}, 0xA5);
		row("shutter, high nibbles ignored", kBase, number(&V::getShutterDirect), "81 09 04 4A FF",
		    {"90 50 77 77 1F 2F FF"}, 0xFF);
		row("iris, two nibbles", kBase, number(&V::getIrisDirect), "81 09 04 4B FF", {"90 50 00 00 01 0C FF"},
		    0x1C);
		row("ZQ418 gain is the whole byte 10", kZQ418, number(&V::getAeGain), "81 09 04 0C FF", {"90 50 A7 FF"},
		    0xA7);

		// Image
		row("brightness, two nibbles", kBase, number(&V::getBrightness), "81 09 04 4D FF",
		    {"90 50 00 00 01 0E FF"}, 0x1E);
		row("saturation from nibbles 11 and 13", kBase, number(&V::getSaturation), "81 09 04 49 FF",
		    {"90 50 00 03 00 0C FF"}, 0x3C);
		row("saturation ignores byte 13's high nibble", kBase, number(&V::getSaturation), "81 09 04 49 FF",
		    {"90 50 00 00 00 C4 FF"}, 4);
		row("D26G saturation is the whole byte 13", kD26G, number(&V::getSaturation), "81 09 04 49 FF",
		    {"90 50 00 00 00 C4 FF"}, 0xC4);
		row("D26G saturation, truncated", kD26G, number(&V::getSaturation), "81 09 04 49 FF", {"90 50 00 00"},
		    -1);
		row("ZQ418 saturation is the whole byte 13", kZQ418, number(&V::getSaturation), "81 09 04 49 FF",
		    {"90 50 00 00 00 C4 FF"}, 0xC4);
		row("HX7 hue", kHX7, number(&V::getHue), "81 09 0E 24 44 FF", {"90 50 00 00 02 0A FF"}, 0x2A);
		row("gamma", kBase, number(&V::getGamma), "81 09 04 5B FF", {"90 50 02 FF"}, 2);
		row("image mode", kBase, number(&V::getImageMode), "81 09 04 3F 04 FF", {"90 50 05 FF"}, 5);
		row("image mode, empty datagram", kBase, number(&V::getImageMode), "81 09 04 3F 04 FF", {""}, -1);
	}

	void inquiryDecoding()
	{
		QFETCH(QString, model);
		QFETCH(LinkQuery, query);
		QFETCH(QByteArray, request);
		QFETCH(QStringList, replies);
		QFETCH(int, expected);

		peer->reset();
		QList<ScriptedCamera::Reply> script;
		for (const QString &reply : replies)
			script.append({QByteArray::fromHex(reply.toLatin1()), true});
		peer->script(request, script);
		auto link = linkTo(model, peer->host(), peer->port());
		peer->clearReceived();

		QCOMPARE(query(*link), expected);
		const QList<QByteArray> received = peer->received();
		QCOMPARE(received.size(), 1);
		QCOMPARE(hexText(received.first().mid(8)), hexText(request));
	}

	void refusalsAreNoAnswer_data()
	{
		QTest::addColumn<QString>("model");
		QTest::addColumn<LinkQuery>("query");
		QTest::addColumn<int>("noAnswer");
		QTest::addColumn<QByteArray>("reply");
		QTest::addColumn<bool>("echoSerial");

		struct Getter {
			const char *name;
			QString model;
			LinkQuery query;
			int noAnswer; // what the getter returns without an answer
		};
		const QList<Getter> getters = {
			{"power", kBase, flag(&viscaIpModule::isPowerOK), 0},
			{"zoom position", kBase, number(&viscaIpModule::getZoomDirect), -1},
			{"focus mode", kBase, flag(&viscaIpModule::getAfMode), 0},
			{"AE mode", kBase, number(&viscaIpModule::getAeMode), -1},
			{"shutter", kBase, number(&viscaIpModule::getShutterDirect), -1},
			{"saturation", kBase, number(&viscaIpModule::getSaturation), -1},
			{"image mode", kBase, number(&viscaIpModule::getImageMode), -1},
			{"digital effect", kBase, number(&viscaIpModule::getDigEffect), -1},
			{"D26G saturation", kD26G, number(&viscaIpModule::getSaturation), -1},
			{"HX7 hue", kHX7, number(&viscaIpModule::getHue), -1},
			{"HX7 zoom position", kHX7, hx7Zoom, -1},
			{"ZQ418 saturation", kZQ418, number(&viscaIpModule::getSaturation), -1},
			{"ZQ418 gain", kZQ418, number(&viscaIpModule::getAeGain), -1},
		};
		// What comes instead of an answer. Every one of them carries data that decodes to a plausible value
		// when taken for an answer (the syntax error's 02 reads as "on" and "auto focus").
		const QList<QPair<const char *, QPair<const char *, bool>>> replies = {
			{"syntax error", {"90 60 02 FF", true}},
			{"not executable", {"90 61 41 FF", true}},
			{"acknowledge", {"90 41 FF", true}},
			{"answer to another request", {"90 50 02 02 02 02 FF", false}},
		};
		for (const Getter &getter : getters) {
			for (const auto &reply : replies) {
				QTest::addRow("%s, %s", getter.name, reply.first)
					<< getter.model << getter.query << getter.noAnswer
					<< QByteArray::fromHex(reply.second.first) << reply.second.second;
			}
		}
	}

	void refusalsAreNoAnswer()
	{
		QFETCH(QString, model);
		QFETCH(LinkQuery, query);
		QFETCH(int, noAnswer);
		QFETCH(QByteArray, reply);
		QFETCH(bool, echoSerial);

		peer->reset();
		peer->scriptOthers({{reply, echoSerial}});
		auto link = linkTo(model, peer->host(), peer->port());
		peer->clearReceived();

		CapturedLog::clear();
		QCOMPARE(query(*link), noAnswer);
		QVERIFY(!link->lastExchangeOk());
		// One line for each inquiry that went unanswered, and nothing else about it.
		const int failures = CapturedLog::all().filter(QStringLiteral("no answer to inquiry")).size() +
				     CapturedLog::all().filter(QStringLiteral("check count number Error!!")).size();
		QCOMPARE(failures, peer->received().size());
		QCOMPARE(CapturedLog::all().filter(QStringLiteral(": -1")), QStringList());
		// The camera did answer this request, if only to refuse it; a reply to another one is as good as
		// silence.
		QCOMPARE(link->lastExchangeAnswered(), echoSerial);
	}

	void readBackAtWrittenWidth_data()
	{
		QTest::addColumn<QString>("model");
		QTest::addColumn<LinkSetter>("set");
		QTest::addColumn<LinkQuery>("get");

		const auto row = [](const char *name, const QString &model, Setter set, int (viscaIpModule::*get)()) {
			QTest::newRow(name)
				<< model << LinkSetter([set](viscaIpModule &l, int v) { (l.*set)(v); }) << number(get);
		};
		row("iris", kBase, &viscaIpModule::setIrisDirect, &viscaIpModule::getIrisDirect);
		row("gain", kBase, &viscaIpModule::setAeGain, &viscaIpModule::getAeGain);
		row("saturation", kBase, &viscaIpModule::setSaturation, &viscaIpModule::getSaturation);
		row("D26G saturation", kD26G, &viscaIpModule::setSaturation, &viscaIpModule::getSaturation);
		row("ZQ418 gain", kZQ418, &viscaIpModule::setAeGain, &viscaIpModule::getAeGain);
		row("HX7 hue", kHX7, &viscaIpModule::setHue, &viscaIpModule::getHue);
	}

	void readBackAtWrittenWidth()
	{
		// Values above 0F, as the profiles hold them (iris F2.2 is 12, gain 36 dB is 24), come back whole.
		QFETCH(QString, model);
		QFETCH(LinkSetter, set);
		QFETCH(LinkQuery, get);

		CameraSimulator &sim = *sims.at(model);
		auto link = linkTo(model, sim.address().toString(), sim.port());
		for (int value : {0x12, 0x24, 0x05}) {
			set(*link, value);
			QVERIFY(link->lastExchangeOk());
			QCOMPARE(get(*link), value);
		}
	}

	void digEffectFromMirrorAndFlip_data()
	{
		QTest::addColumn<QString>("mirror"); // the answers, or the refusals, as hex
		QTest::addColumn<QString>("flip");
		QTest::addColumn<int>("expected");

		const auto row = [](const char *name, const char *mirror, const char *flip, int expected) {
			QTest::newRow(name) << QString::fromLatin1(mirror) << QString::fromLatin1(flip) << expected;
		};
		row("mirror on, flip on", "90 50 02 FF", "90 50 02 FF", 3);
		row("mirror off, flip on", "90 50 03 FF", "90 50 02 FF", 2);
		row("mirror on, flip off", "90 50 02 FF", "90 50 03 FF", 1);
		row("mirror off, flip off", "90 50 03 FF", "90 50 03 FF", 0);
		row("unexpected values", "90 50 00 FF", "90 50 00 FF", 0);
		row("mirror on, flip unknown", "90 50 02 FF", "90 50 00 FF", 0);
		row("mirror unknown, flip on", "90 50 00 FF", "90 50 02 FF", 0);
		row("mirror refused", "90 60 02 FF", "90 50 02 FF", -1);
		row("flip refused", "90 50 02 FF", "90 61 41 FF", -1);
	}

	void digEffectFromMirrorAndFlip()
	{
		QFETCH(QString, mirror);
		QFETCH(QString, flip);
		QFETCH(int, expected);

		peer->reset();
		peer->script(QByteArray::fromHex("81 09 04 61 FF"), {{QByteArray::fromHex(mirror.toLatin1()), true}});
		peer->script(QByteArray::fromHex("81 09 04 66 FF"), {{QByteArray::fromHex(flip.toLatin1()), true}});
		auto link = linkTo(kBase, peer->host(), peer->port());

		QCOMPARE(link->getDigEffect(), expected);
		QCOMPARE(link->lastExchangeOk(), expected >= 0);
	}

	void hx7ConnectAndReachability_data()
	{
		QTest::addColumn<QStringList>("replies");
		QTest::addColumn<bool>("reachable");

		QTest::newRow("acknowledged") << QStringList{"90 41 FF", "90 51 FF"} << true;
		QTest::newRow("refused with an error") << QStringList{"90 60 02 FF"} << true;
		QTest::newRow("silent") << QStringList{} << false;
	}

	void hx7ConnectAndReachability()
	{
		QFETCH(QStringList, replies);
		QFETCH(bool, reachable);

		peer->reset();
		QList<ScriptedCamera::Reply> script;
		for (const QString &reply : replies)
			script.append({QByteArray::fromHex(reply.toLatin1()), true});
		peer->scriptOthers(script);

		std::unique_ptr<viscaIpModule> link(ViscaIPFactory::viscaIPModule(kHX7));
		peer->clearReceived();
		// Connecting succeeds without a probe, whether or not anything answers.
		QVERIFY(link->onConnectToCamera(peer->host(), peer->port()));
		QCOMPARE(link->cameraAddress(), QHostAddress(peer->host()));
		QCOMPARE(link->cameraPort(), peer->port());

		QCOMPARE(link->isUdpSocketOK(), reachable);
		const QList<QByteArray> received = peer->received();
		QCOMPARE(received.size(), 1);
		QCOMPARE(hexText(received.first().left(4)), QStringLiteral("01 00 00 06"));
		QCOMPARE(hexText(received.first().mid(8)), QStringLiteral("81 01 04 00 12 FF"));
	}

	void factoryRules_data()
	{
		QTest::addColumn<QString>("model");
		QTest::addColumn<QString>("expectedClass");

		const QString base = QStringLiteral("viscaIpModule");
		const QString d26g = QStringLiteral("D26GViscaIPModule");
		const QString hx7 = QStringLiteral("HX7ViscaIPModule");
		const QString zq418 = QStringLiteral("ZQ418ViscaIPModule");

		// Every camera the simulator can play must get a link that speaks its dialect.
		for (const SimModel &model : SimModels::all())
			QTest::newRow(qPrintable(model.name))
				<< model.name << SimModels::linkClassName(model.linkClass);

		// A name, or a settings key that ends with one, case-sensitive; the longest listed name wins.
		QTest::newRow("lower-case HX7 name") << QStringLiteral("nx-hx7") << base;
		QTest::newRow("settings key ending with a D26G name") << QStringLiteral("127.0.0.5NX-D26G") << d26g;
		QTest::newRow("ZQ418S") << QStringLiteral("NX-ZQ418S") << zq418;
		QTest::newRow("name inside other text") << QStringLiteral("NX-HX7 copy") << base;
		QTest::newRow("empty name") << QString() << base;
		QTest::newRow("unknown name") << QStringLiteral("PTZ-9000") << base;
	}

	void factoryRules()
	{
		QFETCH(QString, model);
		QFETCH(QString, expectedClass);

		const bool d26g = expectedClass == QLatin1String("D26GViscaIPModule");
		CapturedLog::clear();
		std::unique_ptr<viscaIpModule> link(ViscaIPFactory::viscaIPModule(model));
		// Only the D26G choice is logged.
		QCOMPARE(CapturedLog::lines(QtDebugMsg).count(QStringLiteral("model ") + model), d26g ? 1 : 0);

		QVERIFY(link);
		QCOMPARE(QString::fromLatin1(link->metaObject()->className()), expectedClass);
	}
};

QTEST_GUILESS_MAIN(tst_viscaIpModule)
#include "tst_viscaIpModule.moc"
