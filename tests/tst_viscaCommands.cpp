// The camera command set and the model variants, checked on the wire: every operation is sent through a real
// link to a simulated camera (or to a scripted peer that answers fixed bytes), and what arrives is compared with
// the camera's command list.

#include <QtTest>

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QMutex>
#include <QScopeGuard>
#include <QThread>
#include <QUdpSocket>

#include "CameraSimulator.h"
#include "visca/D26GViscaIPModule.h"
#include "visca/HX7ViscaIPModule.h"
#include "visca/ViscaIPFactory.h"
#include "visca/ZQ418ViscaIPModule.h"
#include "visca/viscaIpModule.h"

#include <atomic>
#include <functional>
#include <limits>
#include <map>
#include <memory>

using LinkOp = std::function<void(viscaIpModule &)>;
using LinkQuery = std::function<int(viscaIpModule &)>;
using LinkSetter = std::function<void(viscaIpModule &, int value)>;
Q_DECLARE_METATYPE(LinkOp)
Q_DECLARE_METATYPE(LinkQuery)
Q_DECLARE_METATYPE(LinkSetter)

namespace {

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

HX7ViscaIPModule *asHX7(viscaIpModule &link)
{
	return qobject_cast<HX7ViscaIPModule *>(&link);
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

// Debug lines written while one is alive, on any thread.
class LogCapture {
public:
	LogCapture()
	{
		QLoggingCategory::setFilterRules(QStringLiteral("kavren.link.debug=true"));
		current = this;
		previous = qInstallMessageHandler(collect);
	}
	~LogCapture()
	{
		qInstallMessageHandler(previous);
		current = nullptr;
		if (qEnvironmentVariableIsEmpty("KAVREN_TEST_VERBOSE"))
			QLoggingCategory::setFilterRules(QStringLiteral("kavren.*.debug=false"));
	}
	QStringList linesContaining(const QString &text) const
	{
		QMutexLocker lock(&mutex);
		return lines.filter(text);
	}

private:
	static void collect(QtMsgType, const QMessageLogContext &, const QString &message)
	{
		QMutexLocker lock(&current->mutex);
		current->lines << message;
	}
	static inline LogCapture *current = nullptr;
	QtMessageHandler previous = nullptr;
	mutable QMutex mutex;
	QStringList lines;
};

} // namespace

class tst_viscaCommands : public QObject {
	Q_OBJECT

private slots:
	void initTestCase();
	void cleanupTestCase();

	void recallBeforeAnyIndexStaysInField();
	void payloads_data();
	void payloads();
	void limitPositions_data();
	void limitPositions();
	void lostCompletionIsResentOnce_data();
	void lostCompletionIsResentOnce();
	void argumentsStayInTheirFields_data();
	void argumentsStayInTheirFields();
	void clampingIsLogged_data();
	void clampingIsLogged();
	void triesAndSecondReply_data();
	void triesAndSecondReply();
	void inquiryDecoding_data();
	void inquiryDecoding();
	void refusalsAreNoAnswer_data();
	void refusalsAreNoAnswer();
	void readBackAtWrittenWidth_data();
	void readBackAtWrittenWidth();
	void digEffectFromMirrorAndFlip_data();
	void digEffectFromMirrorAndFlip();
	void hx7ConnectAndReachability_data();
	void hx7ConnectAndReachability();
	void factoryRules_data();
	void factoryRules();

private:
	std::map<QString, std::unique_ptr<CameraSimulator>> sims;
	std::unique_ptr<ScriptedCamera> peer;
};

void tst_viscaCommands::initTestCase()
{
	// The exchanges log every datagram; keep the test output readable unless asked otherwise.
	if (qEnvironmentVariableIsEmpty("KAVREN_TEST_VERBOSE"))
		QLoggingCategory::setFilterRules(QStringLiteral("kavren.*.debug=false"));

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

void tst_viscaCommands::cleanupTestCase()
{
	peer.reset();
	for (auto &sim : sims)
		sim.second->stop();
	sims.clear();
}

void tst_viscaCommands::recallBeforeAnyIndexStaysInField()
{
	// Runs before anything sets the process-wide memory number: -1 would put a terminator inside the message.
	QCOMPARE(viscaIpModule::presetIdx, -1);
	CameraSimulator &sim = *sims.at(kBase);
	auto link = linkTo(kBase, sim.address().toString(), sim.port());
	sim.clearReceived();
	link->setMemory1_Recall();
	QVERIFY(sim.waitForReceived(1, 2000));
	QStringList sent;
	QString problem;
	QVERIFY2(sentPayloads(sim.received(), &sent, &problem), qPrintable(problem));
	QCOMPARE(sent, QStringList{QStringLiteral("81 01 04 3F 02 00 FF")});
}

void tst_viscaCommands::payloads_data()
{
	QTest::addColumn<QString>("model");
	QTest::addColumn<LinkOp>("op");
	QTest::addColumn<QStringList>("expected");

	const auto row = [](const char *name, const QString &model, LinkOp op, const QStringList &expected) {
		QTest::newRow(name) << model << op << expected;
	};
	// A drive command after setting the two speeds it carries.
	const auto drive = [](int pan, int tilt, void (viscaIpModule::*move)()) {
		return LinkOp([=](viscaIpModule &l) {
			l.setPanSpeed(pan);
			l.setTiltSpeed(tilt);
			(l.*move)();
		});
	};

	// Motion
	row("home", kBase, [](viscaIpModule &l) { l.setHome(); }, {"81 01 06 04 FF"});
	row("up, initial speeds", kBase, [](viscaIpModule &l) { l.setMotorUP(); }, {"81 01 06 01 0B 0B 03 01 FF"});
	row("down", kBase, drive(5, 7, &viscaIpModule::setMotorDown), {"81 01 06 01 05 07 03 02 FF"});
	row("left", kBase, drive(1, 2, &viscaIpModule::setMotorLeft), {"81 01 06 01 01 02 01 03 FF"});
	row("right", kBase, drive(0x18, 0x14, &viscaIpModule::setMotorRight), {"81 01 06 01 18 14 02 03 FF"});
	row("up-left", kBase, drive(3, 4, &viscaIpModule::setMotorUpLeft), {"81 01 06 01 03 04 01 01 FF"});
	row("up-right", kBase, drive(3, 4, &viscaIpModule::setMotorUpRight), {"81 01 06 01 03 04 02 01 FF"});
	row("down-left", kBase, drive(3, 4, &viscaIpModule::setMotorDownLeft), {"81 01 06 01 03 04 01 02 FF"});
	row("down-right", kBase, drive(3, 4, &viscaIpModule::setMotorDownRight), {"81 01 06 01 03 04 02 02 FF"});
	row("stop", kBase, drive(9, 6, &viscaIpModule::setMotorStop), {"81 01 06 01 09 06 03 03 FF"});
	row("preset speed", kBase, [](viscaIpModule &l) { l.setPresetSpeed(12); }, {"81 01 06 20 0C FF"});
	row("speed compensation on", kBase, [](viscaIpModule &l) { l.setPTZspeedComp(1); }, {"81 01 06 1F 01 01 FF"});
	row("speed compensation off", kBase, [](viscaIpModule &l) { l.setPTZspeedComp(0); }, {"81 01 06 1F 01 00 FF"});
	row("right-up limit clear", kBase, [](viscaIpModule &l) { l.setPanTilt_RightUpLimit_Clear(); },
	    {"81 01 06 07 01 01 07 0F 0F 0F 07 0F 0F 0F FF"});
	row("left-down limit clear", kBase, [](viscaIpModule &l) { l.setPanTilt_LeftDownLimit_Clear(); },
	    {"81 01 06 07 01 00 07 0F 0F 0F 07 0F 0F 0F FF"});
	row("D26G speed compensation", kD26G, [](viscaIpModule &l) { l.setPTZspeedComp(1); }, {"81 01 7E 03 03 01 FF"});
	row("D26G preset speed", kD26G, [](viscaIpModule &l) { l.setPresetSpeed(9); }, {"81 01 7E 03 02 09 FF"});
	row("ZQ418 preset speed", kZQ418, [](viscaIpModule &l) { l.setPresetSpeed(9); }, {"81 01 01 09 FF"});

	// Lens
	row("zoom in, initial speed", kBase, [](viscaIpModule &l) { l.setZoomIn(); }, {"81 01 04 07 22 FF"});
	row("zoom in, speed 5", kBase,
	    [](viscaIpModule &l) {
		    l.setZoomSpeed(5);
		    l.setZoomIn();
	    },
	    {"81 01 04 07 25 FF"});
	row("zoom out, speed 7", kBase,
	    [](viscaIpModule &l) {
		    l.setZoomSpeed(7);
		    l.setZoomOut();
	    },
	    {"81 01 04 07 37 FF"});
	row("zoom stop", kBase, [](viscaIpModule &l) { l.setZoomStop(); }, {"81 01 04 07 00 FF"});
	row("zoom direct, initial speed", kBase, [](viscaIpModule &l) { l.setZoomDirect(0x4000); },
	    {"81 01 04 47 04 00 00 00 02 FF"});
	row("zoom direct, speed 6", kBase,
	    [](viscaIpModule &l) {
		    l.setZoomSpeed(6);
		    l.setZoomDirect(0x1234);
	    },
	    {"81 01 04 47 01 02 03 04 06 FF"});
	row("zoom position", kBase, [](viscaIpModule &l) { l.getZoomDirect(); }, {"81 09 04 47 FF"});
	row("HX7 zoom direct", kHX7,
	    [](viscaIpModule &l) {
		    l.setZoomSpeed(6);
		    l.setZoomDirect(0x1234);
	    },
	    {"81 01 04 47 01 02 03 04 FF"});
	row("HX7 zoom position", kHX7,
	    [](viscaIpModule &l) {
		    if (HX7ViscaIPModule *hx7 = asHX7(l))
			    hx7->getZoomDirect();
	    },
	    {"81 09 04 47 FF"});
	row("D26G zoom direct", kD26G, [](viscaIpModule &l) { l.setZoomDirect(0x1234); },
	    {"81 01 04 47 01 02 03 04 02 FF"});
	row("ZQ418 zoom direct", kZQ418, [](viscaIpModule &l) { l.setZoomDirect(0x1234); },
	    {"81 01 04 47 01 02 03 04 FF"});
	row("focus near, initial speed", kBase, [](viscaIpModule &l) { l.setFocusNearWithSpeed(); },
	    {"81 01 04 08 33 FF"});
	row("focus far, speed 6", kBase,
	    [](viscaIpModule &l) {
		    l.setFocusSpeed(6);
		    l.setFocusfarWithSpeed();
	    },
	    {"81 01 04 08 26 FF"});
	row("focus stop", kBase, [](viscaIpModule &l) { l.setFocusStop(); }, {"81 01 04 08 00 FF"});
	row("focus direct", kBase, [](viscaIpModule &l) { l.setFocusDirect(0xABCD); }, {"81 01 04 48 0A 0B 0C 0D FF"});
	row("focus position", kBase, [](viscaIpModule &l) { l.getFocusDirect(); }, {"81 09 04 48 FF"});
	row("auto focus", kBase, [](viscaIpModule &l) { l.setAfMode(true); }, {"81 01 04 38 02 FF"});
	row("manual focus", kBase, [](viscaIpModule &l) { l.setAfMode(false); }, {"81 01 04 38 03 FF"});
	row("focus mode", kBase, [](viscaIpModule &l) { l.getAfMode(); }, {"81 09 04 38 FF"});

	// Memories
	row("memory reset", kBase,
	    [](viscaIpModule &l) {
		    l.setMemory1_Index(5);
		    l.setMemory1_Reset();
	    },
	    {"81 01 04 3F 00 05 FF"});
	row("memory save", kBase,
	    [](viscaIpModule &l) {
		    l.setMemory1_Index(7);
		    l.setMemory1_Save();
	    },
	    {"81 01 04 3F 01 07 FF"});
	row("memory recall", kBase,
	    [](viscaIpModule &l) {
		    l.setMemory1_Index(3);
		    l.setMemory1_Recall();
	    },
	    {"81 01 04 3F 02 03 FF"});

	// Exposure
	row("AE mode", kBase, [](viscaIpModule &l) { l.setAeMode(3); }, {"81 01 04 39 03 FF"});
	row("AE mode inquiry", kBase, [](viscaIpModule &l) { l.getAeMode(); }, {"81 09 04 39 FF"});
	row("shutter", kBase, [](viscaIpModule &l) { l.setShutterDirect(0x15); }, {"81 01 04 4A 00 00 01 05 FF"});
	row("shutter inquiry", kBase, [](viscaIpModule &l) { l.getShutterDirect(); }, {"81 09 04 4A FF"});
	row("iris", kBase, [](viscaIpModule &l) { l.setIrisDirect(0x0C); }, {"81 01 04 4B 00 00 00 0C FF"});
	row("iris inquiry", kBase, [](viscaIpModule &l) { l.getIrisDirect(); }, {"81 09 04 4B FF"});
	row("gain", kBase, [](viscaIpModule &l) { l.setAeGain(0x0D); }, {"81 01 04 4C 00 00 00 0D FF"});
	row("gain inquiry", kBase, [](viscaIpModule &l) { l.getAeGain(); }, {"81 09 04 4C FF"});
	row("ZQ418 gain inquiry", kZQ418, [](viscaIpModule &l) { l.getAeGain(); }, {"81 09 04 0C FF"});

	// White balance
	row("WB mode", kBase, [](viscaIpModule &l) { l.setWBmode(4); }, {"81 01 04 35 04 FF"});
	row("WB mode inquiry", kBase, [](viscaIpModule &l) { l.getWBmode(); }, {"81 09 04 35 FF"});
	row("red gain", kBase, [](viscaIpModule &l) { l.setRGain(0xC8); }, {"81 01 04 43 00 00 0C 08 FF"});
	row("red gain inquiry", kBase, [](viscaIpModule &l) { l.getRGain(); }, {"81 09 04 43 FF"});
	row("blue gain", kBase, [](viscaIpModule &l) { l.setBGain(0x7F); }, {"81 01 04 44 00 00 07 0F FF"});
	row("blue gain inquiry", kBase, [](viscaIpModule &l) { l.getBGain(); }, {"81 09 04 44 FF"});
	row("one-push trigger", kBase, [](viscaIpModule &l) { l.setOnePushTrigger(); }, {"81 01 04 10 05 FF"});

	// Image
	row("brightness", kBase, [](viscaIpModule &l) { l.setBrightness(9); }, {"81 01 04 4D 00 00 00 09 FF"});
	row("brightness inquiry", kBase, [](viscaIpModule &l) { l.getBrightness(); }, {"81 09 04 4D FF"});
	row("hue", kBase, [](viscaIpModule &l) { l.setHue(6); }, {"81 01 04 4F 00 00 00 06 FF"});
	row("hue inquiry", kBase, [](viscaIpModule &l) { l.getHue(); }, {"81 09 04 4F FF"});
	row("saturation", kBase, [](viscaIpModule &l) { l.setSaturation(0x0B); }, {"81 01 04 49 00 00 00 0B FF"});
	row("saturation inquiry", kBase, [](viscaIpModule &l) { l.getSaturation(); }, {"81 09 04 49 FF"});
	row("sharpness", kBase, [](viscaIpModule &l) { l.setSharpness(18); }, {"81 01 04 42 00 00 01 02 FF"});
	row("sharpness inquiry", kBase, [](viscaIpModule &l) { l.getSharpness(); }, {"81 09 04 42 FF"});
	row("HX7 hue", kHX7, [](viscaIpModule &l) { l.setHue(0x2A); }, {"81 01 0E 24 44 02 0A FF"});
	row("HX7 hue inquiry", kHX7, [](viscaIpModule &l) { l.getHue(); }, {"81 09 0E 24 44 FF"});
	row("HX7 saturation", kHX7, [](viscaIpModule &l) { l.setSaturation(0x64); }, {"81 01 0E 24 43 06 04 FF"});
	row("HX7 saturation inquiry", kHX7, [](viscaIpModule &l) { l.getSaturation(); }, {"81 09 0E 24 43 FF"});
	row("HX7 sharpness", kHX7, [](viscaIpModule &l) { l.setSharpness(7); }, {"81 01 0E 24 40 00 07 FF"});
	row("HX7 sharpness inquiry", kHX7, [](viscaIpModule &l) { l.getSharpness(); }, {"81 09 0E 24 40 FF"});
	row("HX7 reachability", kHX7, [](viscaIpModule &l) { l.isUdpSocketOK(); }, {"81 01 04 00 12 FF"});
	row("D26G saturation inquiry", kD26G, [](viscaIpModule &l) { l.getSaturation(); }, {"81 09 04 49 FF"});
	row("ZQ418 saturation inquiry", kZQ418, [](viscaIpModule &l) { l.getSaturation(); }, {"81 09 04 49 FF"});
	row("gamma", kBase, [](viscaIpModule &l) { l.setGamma(2); }, {"81 01 04 5B 02 FF"});
	row("gamma inquiry", kBase, [](viscaIpModule &l) { l.getGamma(); }, {"81 09 04 5B FF"});
	row("flip on", kBase, [](viscaIpModule &l) { l.setFlip(2); }, {"81 01 04 66 02 FF"});
	row("flip inquiry", kBase, [](viscaIpModule &l) { l.getFlip(); }, {"81 09 04 66 FF"});
	row("mirror off", kBase, [](viscaIpModule &l) { l.setMirror(3); }, {"81 01 04 61 03 FF"});
	row("mirror inquiry", kBase, [](viscaIpModule &l) { l.getMirror(); }, {"81 09 04 61 FF"});
	row("image mode", kBase, [](viscaIpModule &l) { l.setImageMode(1); }, {"81 01 04 3F 04 01 FF"});
	row("image mode inquiry", kBase, [](viscaIpModule &l) { l.getImageMode(); }, {"81 09 04 3F 04 FF"});

	// Digital effect: two commands, the one switched off first.
	row("effect 0: neither", kBase, [](viscaIpModule &l) { l.setDigEffect(0); },
	    {"81 01 04 61 03 FF", "81 01 04 66 03 FF"});
	row("effect 1: mirror", kBase, [](viscaIpModule &l) { l.setDigEffect(1); },
	    {"81 01 04 66 03 FF", "81 01 04 61 02 FF"});
	row("effect 2: flip", kBase, [](viscaIpModule &l) { l.setDigEffect(2); },
	    {"81 01 04 61 03 FF", "81 01 04 66 02 FF"});
	row("effect 3: mirror and flip", kBase, [](viscaIpModule &l) { l.setDigEffect(3); },
	    {"81 01 04 61 02 FF", "81 01 04 66 02 FF"});
	row("effect 4 sends nothing", kBase, [](viscaIpModule &l) { l.setDigEffect(4); }, {});
	row("effect -1 sends nothing", kBase, [](viscaIpModule &l) { l.setDigEffect(-1); }, {});
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
}

void tst_viscaCommands::payloads()
{
	QFETCH(QString, model);
	QFETCH(LinkOp, op);
	QFETCH(QStringList, expected);

	CameraSimulator &sim = *sims.at(model);
	auto link = linkTo(model, sim.address().toString(), sim.port());
	sim.clearReceived();
	op(*link);
	if (!expected.isEmpty()) {
		// Completed at the first try, commands that await their completion included: nothing goes out twice.
		QVERIFY(link->lastExchangeOk());
		QVERIFY(sim.waitForReceived(expected.size(), 2000));
	}

	QStringList sent;
	QString problem;
	QVERIFY2(sentPayloads(sim.received(), &sent, &problem), qPrintable(problem));
	QCOMPARE(sent, expected);
}

void tst_viscaCommands::limitPositions_data()
{
	QTest::addColumn<LinkOp>("op");
	QTest::addColumn<QStringList>("expected");
	QTest::addColumn<uint>("panRight");
	QTest::addColumn<uint>("panLeft");
	QTest::addColumn<uint>("tiltUp");
	QTest::addColumn<uint>("tiltDown");

	// Limit payload: 81 01 06 07 00 W, pan as four nibbles, tilt as four nibbles, FF (W 01 up-right, 00 down-left).
	QTest::newRow("right 10 of 0..0x0990 is 145")
		<< LinkOp([](viscaIpModule &l) { l.setPanRightLimit(10, 0x0990, 0); })
		<< QStringList{"81 01 06 07 00 01 00 00 09 01 00 00 00 00 FF"} << 145u << 0xFFFFu << 0u << 0xFFFFu;
	QTest::newRow("right step 0 is min 0")
		<< LinkOp([](viscaIpModule &l) { l.setPanRightLimit(0, 0x0990, 0); })
		<< QStringList{"81 01 06 07 00 01 00 00 00 00 00 00 00 00 FF"} << 0u << 0xFFFFu << 0u << 0xFFFFu;
	QTest::newRow("right full step clamps to max")
		<< LinkOp([](viscaIpModule &l) { l.setPanRightLimit(170, 0x0990, 0); })
		<< QStringList{"81 01 06 07 00 01 00 09 09 00 00 00 00 00 FF"} << 0x0990u << 0xFFFFu << 0u << 0xFFFFu;
	QTest::newRow("right one below full")
		<< LinkOp([](viscaIpModule &l) { l.setPanRightLimit(169, 0x0990, 0); })
		<< QStringList{"81 01 06 07 00 01 00 09 08 03 00 00 00 00 FF"} << 0x0983u << 0xFFFFu << 0u << 0xFFFFu;
	QTest::newRow("right negative clamps to min")
		<< LinkOp([](viscaIpModule &l) { l.setPanRightLimit(-5, 0x0990, 0x10); })
		<< QStringList{"81 01 06 07 00 01 00 00 01 00 00 00 00 00 FF"} << 0x10u << 0xFFFFu << 0u << 0xFFFFu;
	QTest::newRow("right step 0 gives a non-zero min")
		<< LinkOp([](viscaIpModule &l) { l.setPanRightLimit(0, 100, 5); })
		<< QStringList{"81 01 06 07 00 01 00 00 00 05 00 00 00 00 FF"} << 5u << 0xFFFFu << 0u << 0xFFFFu;
	// 114 / 170.0 rounded to single precision makes 85 steps exactly 57.0, hence 58; in double it stays below 57.
	QTest::newRow("right single-precision ratio")
		<< LinkOp([](viscaIpModule &l) { l.setPanRightLimit(85, 0x71, 0); })
		<< QStringList{"81 01 06 07 00 01 00 00 03 0A 00 00 00 00 FF"} << 58u << 0xFFFFu << 0u << 0xFFFFu;
	QTest::newRow("up 45 of 0..0x0510")
		<< LinkOp([](viscaIpModule &l) { l.setTiltUpLimit(45, 0x0510, 0); })
		<< QStringList{"81 01 06 07 00 01 00 00 00 00 00 02 08 09 FF"} << 0u << 0xFFFFu << 649u << 0xFFFFu;
	QTest::newRow("up full step clamps to max")
		<< LinkOp([](viscaIpModule &l) { l.setTiltUpLimit(90, 0x0510, 0); })
		<< QStringList{"81 01 06 07 00 01 00 00 00 00 00 05 01 00 FF"} << 0u << 0xFFFFu << 0x0510u << 0xFFFFu;
	// 105 / 90.0 in single precision makes 54 steps fall just below 63.
	QTest::newRow("up single-precision ratio")
		<< LinkOp([](viscaIpModule &l) { l.setTiltUpLimit(54, 0x68, 0); })
		<< QStringList{"81 01 06 07 00 01 00 00 00 00 00 00 03 0F FF"} << 0u << 0xFFFFu << 63u << 0xFFFFu;
	QTest::newRow("up keeps the right limit") << LinkOp([](viscaIpModule &l) {
		l.setPanRightLimit(10, 0x0990, 0);
		l.setTiltUpLimit(45, 0x0510, 0);
	})
						  << QStringList{"81 01 06 07 00 01 00 00 09 01 00 00 00 00 FF",
								 "81 01 06 07 00 01 00 00 09 01 00 02 08 09 FF"}
						  << 145u << 0xFFFFu << 649u << 0xFFFFu;
	QTest::newRow("left -10 counts back from 0xFFFF")
		<< LinkOp([](viscaIpModule &l) { l.setPanLeftLimit(-10, 0xFFFF, 0xF670); })
		<< QStringList{"81 01 06 07 00 00 0F 0F 07 00 0F 0F 0F 0F FF"} << 0u << 0xFF70u << 0u << 0xFFFFu;
	QTest::newRow("left step 0 clamps to max")
		<< LinkOp([](viscaIpModule &l) { l.setPanLeftLimit(0, 0xFFFF, 0xF670); })
		<< QStringList{"81 01 06 07 00 00 0F 0F 0F 0F 0F 0F 0F 0F FF"} << 0u << 0xFFFFu << 0u << 0xFFFFu;
	QTest::newRow("left -169") << LinkOp([](viscaIpModule &l) { l.setPanLeftLimit(-169, 0xFFFF, 0xF670); })
				   << QStringList{"81 01 06 07 00 00 0F 06 07 0E 0F 0F 0F 0F FF"} << 0u << 0xF67Eu << 0u
				   << 0xFFFFu;
	QTest::newRow("left full step clamps to min")
		<< LinkOp([](viscaIpModule &l) { l.setPanLeftLimit(-170, 0xFFFF, 0xF670); })
		<< QStringList{"81 01 06 07 00 00 0F 06 07 00 0F 0F 0F 0F FF"} << 0u << 0xF670u << 0u << 0xFFFFu;
	// 432 / 30 is 14 in whole numbers (14.4 otherwise, which would give 0xFF70).
	QTest::newRow("down -10 uses a whole-number ratio")
		<< LinkOp([](viscaIpModule &l) { l.setTiltDownLimit(-10, 0xFFFF, 0xFE50); })
		<< QStringList{"81 01 06 07 00 00 0F 0F 0F 0F 0F 0F 07 04 FF"} << 0u << 0xFFFFu << 0u << 0xFF74u;
	QTest::newRow("down step 0 clamps to max")
		<< LinkOp([](viscaIpModule &l) { l.setTiltDownLimit(0, 0xFFFF, 0xFE50); })
		<< QStringList{"81 01 06 07 00 00 0F 0F 0F 0F 0F 0F 0F 0F FF"} << 0u << 0xFFFFu << 0u << 0xFFFFu;
	QTest::newRow("down -31 clamps to min")
		<< LinkOp([](viscaIpModule &l) { l.setTiltDownLimit(-31, 0xFFFF, 0xFE50); })
		<< QStringList{"81 01 06 07 00 00 0F 0F 0F 0F 0F 0E 05 00 FF"} << 0u << 0xFFFFu << 0u << 0xFE50u;
	QTest::newRow("down keeps the left limit") << LinkOp([](viscaIpModule &l) {
		l.setPanLeftLimit(-10, 0xFFFF, 0xF670);
		l.setTiltDownLimit(-10, 0xFFFF, 0xFE50);
	})
						   << QStringList{"81 01 06 07 00 00 0F 0F 07 00 0F 0F 0F 0F FF",
								  "81 01 06 07 00 00 0F 0F 07 00 0F 0F 07 04 FF"}
						   << 0u << 0xFF70u << 0u << 0xFF74u;
	QTest::newRow("clearing keeps the stored limits") << LinkOp([](viscaIpModule &l) {
		l.setPanRightLimit(10, 0x0990, 0);
		l.setPanTilt_RightUpLimit_Clear();
		l.setPanTilt_LeftDownLimit_Clear();
		l.setTiltUpLimit(45, 0x0510, 0);
	})
							  << QStringList{"81 01 06 07 00 01 00 00 09 01 00 00 00 00 FF",
									 "81 01 06 07 01 01 07 0F 0F 0F 07 0F 0F 0F FF",
									 "81 01 06 07 01 00 07 0F 0F 0F 07 0F 0F 0F FF",
									 "81 01 06 07 00 01 00 00 09 01 00 02 08 09 FF"}
							  << 145u << 0xFFFFu << 649u << 0xFFFFu;
}

void tst_viscaCommands::limitPositions()
{
	QFETCH(LinkOp, op);
	QFETCH(QStringList, expected);
	QFETCH(uint, panRight);
	QFETCH(uint, panLeft);
	QFETCH(uint, tiltUp);
	QFETCH(uint, tiltDown);

	CameraSimulator &sim = *sims.at(kBase);
	auto link = linkTo(kBase, sim.address().toString(), sim.port());
	sim.clearReceived();
	op(*link);
	QVERIFY(sim.waitForReceived(expected.size(), 2000));

	QStringList sent;
	QString problem;
	QVERIFY2(sentPayloads(sim.received(), &sent, &problem), qPrintable(problem));
	QCOMPARE(sent, expected);
	QCOMPARE(link->getPanRightLimit(), panRight);
	QCOMPARE(link->getPanLeftLimit(), panLeft);
	QCOMPARE(link->getTiltUpLimit(), tiltUp);
	QCOMPARE(link->getTiltDownLimit(), tiltDown);
}

void tst_viscaCommands::lostCompletionIsResentOnce_data()
{
	QTest::addColumn<QString>("model");
	QTest::addColumn<LinkOp>("op");
	QTest::addColumn<int>("sends");
	QTest::addColumn<bool>("completed");

	QTest::newRow("zoom direct") << kBase << LinkOp([](viscaIpModule &l) { l.setZoomDirect(0x2345); }) << 2 << true;
	QTest::newRow("image mode") << kBase << LinkOp([](viscaIpModule &l) { l.setImageMode(3); }) << 2 << true;
	QTest::newRow("HX7 zoom direct, first reply checked")
		<< kHX7 << LinkOp([](viscaIpModule &l) { l.setZoomDirect(0x1234); }) << 2 << true;
	// A recall is never repeated: a second one would start the move again.
	QTest::newRow("recall, one try") << kBase << LinkOp([](viscaIpModule &l) {
		l.setMemory1_Index(1);
		l.setMemory1_Recall();
	}) << 1 << false;
}

void tst_viscaCommands::lostCompletionIsResentOnce()
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

void tst_viscaCommands::argumentsStayInTheirFields_data()
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
	const auto storeThen = [](void (viscaIpModule::*store)(int), void (viscaIpModule::*send)()) {
		return LinkSetter([=](viscaIpModule &l, int v) {
			(l.*store)(v);
			(l.*send)();
		});
	};
	const auto set = [](void (viscaIpModule::*command)(int)) {
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
		{"pan speed", kBase, storeThen(&viscaIpModule::setPanSpeed, &viscaIpModule::setMotorUP),
		 "81 01 06 01 01-18 01-17 03 01 FF"},
		{"tilt speed", kBase, storeThen(&viscaIpModule::setTiltSpeed, &viscaIpModule::setMotorDownLeft),
		 "81 01 06 01 01-18 01-17 01 02 FF"},
		{"preset speed", kBase, set(&viscaIpModule::setPresetSpeed), "81 01 06 20 01-18 FF"},
		{"D26G preset speed", kD26G, set(&viscaIpModule::setPresetSpeed), "81 01 7E 03 02 01-18 FF"},
		{"ZQ418 preset speed", kZQ418, set(&viscaIpModule::setPresetSpeed), "81 01 01 01-18 FF"},
		{"speed compensation", kBase, set(&viscaIpModule::setPTZspeedComp), "81 01 06 1F 01 vv FF"},
		{"D26G speed compensation", kD26G, set(&viscaIpModule::setPTZspeedComp), "81 01 7E 03 03 vv FF"},
		{"pan right limit", kBase, limit(&viscaIpModule::setPanRightLimit, 170), limitUpRight},
		{"tilt up limit", kBase, limit(&viscaIpModule::setTiltUpLimit, 90), limitUpRight},
		{"pan left limit", kBase, limit(&viscaIpModule::setPanLeftLimit, 0), limitDownLeft},
		{"tilt down limit", kBase, limit(&viscaIpModule::setTiltDownLimit, 0), limitDownLeft},
		// Lens
		{"zoom speed, tele", kBase, storeThen(&viscaIpModule::setZoomSpeed, &viscaIpModule::setZoomIn),
		 "81 01 04 07 20-27 FF"},
		{"zoom speed, wide", kBase, storeThen(&viscaIpModule::setZoomSpeed, &viscaIpModule::setZoomOut),
		 "81 01 04 07 30-37 FF"},
		{"zoom speed, direct", kBase,
		 [](viscaIpModule &l, int v) {
			 l.setZoomSpeed(v);
			 l.setZoomDirect(0x1000);
		 },
		 "81 01 04 47 01 00 00 00 00-07 FF"},
		{"zoom position", kBase, set(&viscaIpModule::setZoomDirect), "81 01 04 47 0n 0n 0n 0n 00-07 FF"},
		{"HX7 zoom position", kHX7, set(&viscaIpModule::setZoomDirect), "81 01 04 47 0n 0n 0n 0n FF"},
		{"ZQ418 zoom position", kZQ418, set(&viscaIpModule::setZoomDirect), "81 01 04 47 0n 0n 0n 0n FF"},
		{"focus speed, near", kBase,
		 storeThen(&viscaIpModule::setFocusSpeed, &viscaIpModule::setFocusNearWithSpeed),
		 "81 01 04 08 30-37 FF"},
		{"focus speed, far", kBase,
		 storeThen(&viscaIpModule::setFocusSpeed, &viscaIpModule::setFocusfarWithSpeed),
		 "81 01 04 08 20-27 FF"},
		{"focus position", kBase, set(&viscaIpModule::setFocusDirect), "81 01 04 48 0n 0n 0n 0n FF"},
		// Memories
		{"memory reset", kBase, storeThen(&viscaIpModule::setMemory1_Index, &viscaIpModule::setMemory1_Reset),
		 "81 01 04 3F 00 00-7F FF"},
		{"memory save", kBase, storeThen(&viscaIpModule::setMemory1_Index, &viscaIpModule::setMemory1_Save),
		 "81 01 04 3F 01 00-7F FF"},
		{"memory recall", kBase, storeThen(&viscaIpModule::setMemory1_Index, &viscaIpModule::setMemory1_Recall),
		 "81 01 04 3F 02 00-7F FF"},
		// Exposure and white balance
		{"AE mode", kBase, set(&viscaIpModule::setAeMode), "81 01 04 39 0n FF"},
		{"shutter", kBase, set(&viscaIpModule::setShutterDirect), "81 01 04 4A 00 00 0n 0n FF"},
		{"iris", kBase, set(&viscaIpModule::setIrisDirect), "81 01 04 4B 00 00 00 vv FF"},
		{"gain", kBase, set(&viscaIpModule::setAeGain), "81 01 04 4C 00 00 0n 0n FF"},
		{"WB mode", kBase, set(&viscaIpModule::setWBmode), "81 01 04 35 0n FF"},
		{"red gain", kBase, set(&viscaIpModule::setRGain), "81 01 04 43 00 00 0n 0n FF"},
		{"blue gain", kBase, set(&viscaIpModule::setBGain), "81 01 04 44 00 00 0n 0n FF"},
		// Image
		{"brightness", kBase, set(&viscaIpModule::setBrightness), "81 01 04 4D 00 00 00 vv FF"},
		{"hue", kBase, set(&viscaIpModule::setHue), "81 01 04 4F 00 00 00 vv FF"},
		{"saturation", kBase, set(&viscaIpModule::setSaturation), "81 01 04 49 00 00 00 vv FF"},
		{"sharpness", kBase, set(&viscaIpModule::setSharpness), "81 01 04 42 00 00 0n 0n FF"},
		{"HX7 hue", kHX7, set(&viscaIpModule::setHue), "81 01 0E 24 44 0n 0n FF"},
		{"HX7 saturation", kHX7, set(&viscaIpModule::setSaturation), "81 01 0E 24 43 0n 0n FF"},
		{"HX7 sharpness", kHX7, set(&viscaIpModule::setSharpness), "81 01 0E 24 40 0n 0n FF"},
		{"gamma", kBase, set(&viscaIpModule::setGamma), "81 01 04 5B 0n FF"},
		{"flip", kBase, set(&viscaIpModule::setFlip), "81 01 04 66 0n FF"},
		{"mirror", kBase, set(&viscaIpModule::setMirror), "81 01 04 61 0n FF"},
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
				<< command.model << command.op << value.second << QString::fromLatin1(command.layout);
	}
}

void tst_viscaCommands::argumentsStayInTheirFields()
{
	QFETCH(QString, model);
	QFETCH(LinkSetter, op);
	QFETCH(int, value);
	QFETCH(QString, layout);

	CameraSimulator &sim = *sims.at(model);
	// Only what leaves matters here: nothing waits for the camera (not for the ZQ418's unanswered address-set
	// probe, not for a recall's settling pause), and no move is left holding the camera's sockets.
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

void tst_viscaCommands::clampingIsLogged_data()
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

void tst_viscaCommands::clampingIsLogged()
{
	QFETCH(LinkOp, op);
	QFETCH(QString, line);

	CameraSimulator &sim = *sims.at(kBase);
	auto link = linkTo(kBase, sim.address().toString(), sim.port());
	const LogCapture log;
	op(*link);
	const QStringList clamped = log.linesContaining(QStringLiteral(" is outside "));
	QCOMPARE(clamped, line.isEmpty() ? QStringList() : QStringList{line});
}

void tst_viscaCommands::triesAndSecondReply_data()
{
	QTest::addColumn<QString>("model");
	QTest::addColumn<LinkOp>("op");
	QTest::addColumn<bool>("refused");
	QTest::addColumn<int>("sends");
	QTest::addColumn<bool>("completed");

	// Stray acknowledge: every request is answered with an acknowledge carrying another serial number, then two
	// completions. A command that waits for the second reply skips the stray acknowledge and completes after one
	// send; one that checks the first reply fails and, with two tries, sends the identical packet again (how that
	// resend ends depends on how the stray replies interleave, so it is not checked).
	const auto stray = [](const char *name, const QString &model, LinkOp op, int sends, bool completed) {
		QTest::newRow(name) << model << op << false << sends << completed;
	};
	// Refused: every request gets one error reply, so each command uses up all of its tries.
	const auto refused = [](const char *name, const QString &model, LinkOp op, int sends) {
		QTest::newRow(name) << model << op << true << sends << false;
	};
	stray(
		"zoom stop waits for the second reply", kBase, [](viscaIpModule &l) { l.setZoomStop(); }, 1, true);
	stray(
		"zoom direct waits for the second reply", kBase, [](viscaIpModule &l) { l.setZoomDirect(0x100); }, 1,
		true);
	stray(
		"focus direct waits for the second reply", kBase, [](viscaIpModule &l) { l.setFocusDirect(0x100); }, 1,
		true);
	stray(
		"image mode waits for the second reply", kBase, [](viscaIpModule &l) { l.setImageMode(2); }, 1, true);
	stray(
		"recall waits for the second reply", kBase, [](viscaIpModule &l) { l.setMemory1_Recall(); }, 1, true);
	stray(
		"zoom in checks the first reply", kBase, [](viscaIpModule &l) { l.setZoomIn(); }, 2, false);
	stray(
		"focus stop checks the first reply", kBase, [](viscaIpModule &l) { l.setFocusStop(); }, 2, false);
	stray(
		"memory save checks the first reply", kBase, [](viscaIpModule &l) { l.setMemory1_Save(); }, 2, false);
	stray(
		"mirror checks the first reply", kBase, [](viscaIpModule &l) { l.setMirror(2); }, 2, false);
	stray(
		"HX7 zoom direct checks the first reply", kHX7, [](viscaIpModule &l) { l.setZoomDirect(0x100); }, 2,
		false);
	stray(
		"ZQ418 zoom direct checks the first reply", kZQ418, [](viscaIpModule &l) { l.setZoomDirect(0x100); }, 2,
		false);
	stray(
		"HX7 hue checks the first reply", kHX7, [](viscaIpModule &l) { l.setHue(3); }, 1, false);

	refused(
		"home: two tries", kBase, [](viscaIpModule &l) { l.setHome(); }, 2);
	refused(
		"preset speed: two tries", kBase, [](viscaIpModule &l) { l.setPresetSpeed(4); }, 2);
	refused(
		"limit: two tries", kBase, [](viscaIpModule &l) { l.setPanRightLimit(1, 0x990, 0); }, 2);
	refused(
		"zoom stop: two tries", kBase, [](viscaIpModule &l) { l.setZoomStop(); }, 2);
	refused(
		"recall: one try", kBase, [](viscaIpModule &l) { l.setMemory1_Recall(); }, 1);
	refused(
		"D26G preset speed: one try", kD26G, [](viscaIpModule &l) { l.setPresetSpeed(4); }, 1);
	refused(
		"D26G speed compensation: two tries", kD26G, [](viscaIpModule &l) { l.setPTZspeedComp(1); }, 2);
	refused(
		"HX7 hue: one try", kHX7, [](viscaIpModule &l) { l.setHue(3); }, 1);
	refused(
		"HX7 saturation: one try", kHX7, [](viscaIpModule &l) { l.setSaturation(3); }, 1);
	refused(
		"HX7 sharpness: one try", kHX7, [](viscaIpModule &l) { l.setSharpness(3); }, 1);
	refused(
		"HX7 zoom direct: two tries", kHX7, [](viscaIpModule &l) { l.setZoomDirect(0x100); }, 2);
	refused(
		"ZQ418 zoom direct: two tries", kZQ418, [](viscaIpModule &l) { l.setZoomDirect(0x100); }, 2);
	refused(
		"ZQ418 preset speed: two tries", kZQ418, [](viscaIpModule &l) { l.setPresetSpeed(4); }, 2);
}

void tst_viscaCommands::triesAndSecondReply()
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

void tst_viscaCommands::inquiryDecoding_data()
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
	const LinkQuery hx7Zoom = [](viscaIpModule &l) {
		HX7ViscaIPModule *hx7 = asHX7(l);
		return hx7 ? hx7->getZoomDirect() : -2;
	};
	const LinkQuery focus = [](viscaIpModule &l) { return l.getFocusDirect(); };
	const LinkQuery afMode = [](viscaIpModule &l) { return int(l.getAfMode()); };

	// Lens positions: four nibbles of bytes 10..13.
	row(
		"zoom position", kBase, [](viscaIpModule &l) { return l.getZoomDirect(); }, "81 09 04 47 FF",
		{"90 50 01 02 03 04 FF"}, 0x1234);
	row("zoom position 0 is the wide end", kHX7, hx7Zoom, "81 09 04 47 FF", {"90 50 00 00 00 00 FF"}, 0);
	row("HX7 zoom position", kHX7, hx7Zoom, "81 09 04 47 FF", {"90 50 0A 0B 0C 0D FF"}, 0xABCD);
	row("HX7 zoom position, high nibbles ignored", kHX7, hx7Zoom, "81 09 04 47 FF", {"90 50 1A 2B 3C 4D FF"},
	    0xABCD);
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
	row(
		"AE mode", kBase, [](viscaIpModule &l) { return l.getAeMode(); }, "81 09 04 39 FF", {"90 50 0E FF"},
		14);
	row(
		"shutter", kBase, [](viscaIpModule &l) { return l.getShutterDirect(); }, "81 09 04 4A FF",
		{"90 50 00 00 0A 05 FF"}, 0xA5);
	row(
		"shutter, high nibbles ignored", kBase, [](viscaIpModule &l) { return l.getShutterDirect(); },
		"81 09 04 4A FF", {"90 50 77 77 1F 2F FF"}, 0xFF);
	row(
		"iris, two nibbles", kBase, [](viscaIpModule &l) { return l.getIrisDirect(); }, "81 09 04 4B FF",
		{"90 50 00 00 01 0C FF"}, 0x1C);
	row(
		"gain, two nibbles", kBase, [](viscaIpModule &l) { return l.getAeGain(); }, "81 09 04 4C FF",
		{"90 50 00 00 01 05 FF"}, 0x15);
	row(
		"ZQ418 gain is the whole byte 10", kZQ418, [](viscaIpModule &l) { return l.getAeGain(); },
		"81 09 04 0C FF", {"90 50 A7 FF"}, 0xA7);

	// White balance
	row(
		"WB mode", kBase, [](viscaIpModule &l) { return l.getWBmode(); }, "81 09 04 35 FF", {"90 50 04 FF"}, 4);
	row(
		"red gain", kBase, [](viscaIpModule &l) { return l.getRGain(); }, "81 09 04 43 FF",
		{"90 50 00 00 0C 08 FF"}, 200);
	row(
		"blue gain", kBase, [](viscaIpModule &l) { return l.getBGain(); }, "81 09 04 44 FF",
		{"90 50 00 00 07 0F FF"}, 127);

	// Image
	row(
		"brightness, two nibbles", kBase, [](viscaIpModule &l) { return l.getBrightness(); }, "81 09 04 4D FF",
		{"90 50 00 00 01 0E FF"}, 0x1E);
	row(
		"hue, two nibbles", kBase, [](viscaIpModule &l) { return l.getHue(); }, "81 09 04 4F FF",
		{"90 50 00 00 01 06 FF"}, 0x16);
	row(
		"saturation from nibbles 11 and 13", kBase, [](viscaIpModule &l) { return l.getSaturation(); },
		"81 09 04 49 FF", {"90 50 00 03 00 0C FF"}, 0x3C);
	row(
		"saturation ignores byte 13's high nibble", kBase, [](viscaIpModule &l) { return l.getSaturation(); },
		"81 09 04 49 FF", {"90 50 00 00 00 C4 FF"}, 4);
	row(
		"D26G saturation is the whole byte 13", kD26G, [](viscaIpModule &l) { return l.getSaturation(); },
		"81 09 04 49 FF", {"90 50 00 00 00 C4 FF"}, 0xC4);
	row(
		"D26G saturation, truncated", kD26G, [](viscaIpModule &l) { return l.getSaturation(); },
		"81 09 04 49 FF", {"90 50 00 00"}, -1);
	row(
		"ZQ418 saturation is the whole byte 13", kZQ418, [](viscaIpModule &l) { return l.getSaturation(); },
		"81 09 04 49 FF", {"90 50 00 00 00 C4 FF"}, 0xC4);
	row(
		"sharpness, two nibbles", kBase, [](viscaIpModule &l) { return l.getSharpness(); }, "81 09 04 42 FF",
		{"90 50 00 00 01 02 FF"}, 0x12);
	row(
		"HX7 hue", kHX7, [](viscaIpModule &l) { return l.getHue(); }, "81 09 0E 24 44 FF",
		{"90 50 00 00 02 0A FF"}, 0x2A);
	row(
		"HX7 saturation", kHX7, [](viscaIpModule &l) { return l.getSaturation(); }, "81 09 0E 24 43 FF",
		{"90 50 00 00 06 04 FF"}, 0x64);
	row(
		"HX7 sharpness", kHX7, [](viscaIpModule &l) { return l.getSharpness(); }, "81 09 0E 24 40 FF",
		{"90 50 00 00 01 07 FF"}, 0x17);
	row(
		"gamma", kBase, [](viscaIpModule &l) { return l.getGamma(); }, "81 09 04 5B FF", {"90 50 02 FF"}, 2);
	row(
		"flip", kBase, [](viscaIpModule &l) { return l.getFlip(); }, "81 09 04 66 FF", {"90 50 02 FF"}, 2);
	row(
		"mirror", kBase, [](viscaIpModule &l) { return l.getMirror(); }, "81 09 04 61 FF", {"90 50 03 FF"}, 3);
	row(
		"image mode", kBase, [](viscaIpModule &l) { return l.getImageMode(); }, "81 09 04 3F 04 FF",
		{"90 50 05 FF"}, 5);
	row(
		"image mode, empty datagram", kBase, [](viscaIpModule &l) { return l.getImageMode(); },
		"81 09 04 3F 04 FF", {""}, -1);
}

void tst_viscaCommands::inquiryDecoding()
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

void tst_viscaCommands::refusalsAreNoAnswer_data()
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
	const auto number = [](int (viscaIpModule::*get)()) {
		return LinkQuery([get](viscaIpModule &l) { return (l.*get)(); });
	};
	const auto flag = [](bool (viscaIpModule::*get)()) {
		return LinkQuery([get](viscaIpModule &l) { return int((l.*get)()); });
	};
	const QList<Getter> getters = {
		{"power", kBase, flag(&viscaIpModule::isPowerOK), 0},
		{"zoom position", kBase, number(&viscaIpModule::getZoomDirect), -1},
		{"focus position", kBase, number(&viscaIpModule::getFocusDirect), -1},
		{"focus mode", kBase, flag(&viscaIpModule::getAfMode), 0},
		{"AE mode", kBase, number(&viscaIpModule::getAeMode), -1},
		{"shutter", kBase, number(&viscaIpModule::getShutterDirect), -1},
		{"iris", kBase, number(&viscaIpModule::getIrisDirect), -1},
		{"gain", kBase, number(&viscaIpModule::getAeGain), -1},
		{"WB mode", kBase, number(&viscaIpModule::getWBmode), -1},
		{"red gain", kBase, number(&viscaIpModule::getRGain), -1},
		{"blue gain", kBase, number(&viscaIpModule::getBGain), -1},
		{"brightness", kBase, number(&viscaIpModule::getBrightness), -1},
		{"hue", kBase, number(&viscaIpModule::getHue), -1},
		{"saturation", kBase, number(&viscaIpModule::getSaturation), -1},
		{"sharpness", kBase, number(&viscaIpModule::getSharpness), -1},
		{"gamma", kBase, number(&viscaIpModule::getGamma), -1},
		{"flip", kBase, number(&viscaIpModule::getFlip), -1},
		{"mirror", kBase, number(&viscaIpModule::getMirror), -1},
		{"image mode", kBase, number(&viscaIpModule::getImageMode), -1},
		{"digital effect", kBase, number(&viscaIpModule::getDigEffect), -1},
		{"D26G saturation", kD26G, number(&viscaIpModule::getSaturation), -1},
		{"HX7 hue", kHX7, number(&viscaIpModule::getHue), -1},
		{"HX7 saturation", kHX7, number(&viscaIpModule::getSaturation), -1},
		{"HX7 sharpness", kHX7, number(&viscaIpModule::getSharpness), -1},
		{"HX7 zoom position", kHX7,
		 [](viscaIpModule &l) {
			 HX7ViscaIPModule *hx7 = asHX7(l);
			 return hx7 ? hx7->getZoomDirect() : -2;
		 },
		 -1},
		{"ZQ418 saturation", kZQ418, number(&viscaIpModule::getSaturation), -1},
		{"ZQ418 gain", kZQ418, number(&viscaIpModule::getAeGain), -1},
	};
	// What comes instead of an answer. Every one of them carries data that decodes to a plausible value when
	// taken for an answer (the syntax error's 02 reads as "on" and "auto focus").
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

void tst_viscaCommands::refusalsAreNoAnswer()
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

	const LogCapture log;
	QCOMPARE(query(*link), noAnswer);
	QVERIFY(!link->lastExchangeOk());
	// One line for each inquiry that went unanswered, and nothing else about it.
	const int failures = log.linesContaining(QStringLiteral("no answer to inquiry")).size() +
			     log.linesContaining(QStringLiteral("check count number Error!!")).size();
	QCOMPARE(failures, peer->received().size());
	QCOMPARE(log.linesContaining(QStringLiteral(": -1")), QStringList());
	// The camera did answer this request, if only to refuse it; a reply to another one is as good as silence.
	QCOMPARE(link->lastExchangeAnswered(), echoSerial);
}

void tst_viscaCommands::readBackAtWrittenWidth_data()
{
	QTest::addColumn<QString>("model");
	QTest::addColumn<LinkSetter>("set");
	QTest::addColumn<LinkQuery>("get");

	const auto row = [](const char *name, const QString &model, void (viscaIpModule::*set)(int),
			    int (viscaIpModule::*get)()) {
		QTest::newRow(name) << model << LinkSetter([set](viscaIpModule &l, int v) { (l.*set)(v); })
				    << LinkQuery([get](viscaIpModule &l) { return (l.*get)(); });
	};
	row("iris", kBase, &viscaIpModule::setIrisDirect, &viscaIpModule::getIrisDirect);
	row("brightness", kBase, &viscaIpModule::setBrightness, &viscaIpModule::getBrightness);
	row("hue", kBase, &viscaIpModule::setHue, &viscaIpModule::getHue);
	row("gain", kBase, &viscaIpModule::setAeGain, &viscaIpModule::getAeGain);
	row("sharpness", kBase, &viscaIpModule::setSharpness, &viscaIpModule::getSharpness);
	row("saturation", kBase, &viscaIpModule::setSaturation, &viscaIpModule::getSaturation);
	row("D26G saturation", kD26G, &viscaIpModule::setSaturation, &viscaIpModule::getSaturation);
	row("ZQ418 gain", kZQ418, &viscaIpModule::setAeGain, &viscaIpModule::getAeGain);
	row("HX7 hue", kHX7, &viscaIpModule::setHue, &viscaIpModule::getHue);
	row("HX7 saturation", kHX7, &viscaIpModule::setSaturation, &viscaIpModule::getSaturation);
	row("HX7 sharpness", kHX7, &viscaIpModule::setSharpness, &viscaIpModule::getSharpness);
}

void tst_viscaCommands::readBackAtWrittenWidth()
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

void tst_viscaCommands::digEffectFromMirrorAndFlip_data()
{
	QTest::addColumn<QString>("mirror"); // the answers, or the refusals, as hex
	QTest::addColumn<QString>("flip");
	QTest::addColumn<int>("expected");

	QTest::newRow("mirror on, flip on") << "90 50 02 FF"
					    << "90 50 02 FF" << 3;
	QTest::newRow("mirror off, flip on") << "90 50 03 FF"
					     << "90 50 02 FF" << 2;
	QTest::newRow("mirror on, flip off") << "90 50 02 FF"
					     << "90 50 03 FF" << 1;
	QTest::newRow("mirror off, flip off") << "90 50 03 FF"
					      << "90 50 03 FF" << 0;
	QTest::newRow("unexpected values") << "90 50 00 FF"
					   << "90 50 00 FF" << 0;
	QTest::newRow("mirror on, flip unknown") << "90 50 02 FF"
						 << "90 50 00 FF" << 0;
	QTest::newRow("mirror unknown, flip on") << "90 50 00 FF"
						 << "90 50 02 FF" << 0;
	QTest::newRow("mirror refused") << "90 60 02 FF"
					<< "90 50 02 FF" << -1;
	QTest::newRow("flip refused") << "90 50 02 FF"
				      << "90 61 41 FF" << -1;
}

void tst_viscaCommands::digEffectFromMirrorAndFlip()
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

void tst_viscaCommands::hx7ConnectAndReachability_data()
{
	QTest::addColumn<QStringList>("replies");
	QTest::addColumn<bool>("reachable");

	QTest::newRow("acknowledged") << QStringList{"90 41 FF", "90 51 FF"} << true;
	QTest::newRow("refused with an error") << QStringList{"90 60 02 FF"} << true;
	QTest::newRow("silent") << QStringList{} << false;
}

void tst_viscaCommands::hx7ConnectAndReachability()
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

void tst_viscaCommands::factoryRules_data()
{
	QTest::addColumn<QString>("model");
	QTest::addColumn<QString>("expectedClass");

	const QString base = QStringLiteral("viscaIpModule");
	const QString d26g = QStringLiteral("D26GViscaIPModule");
	const QString hx7 = QStringLiteral("HX7ViscaIPModule");
	const QString zq418 = QStringLiteral("ZQ418ViscaIPModule");

	// Every camera the simulator can play must get a link that speaks its dialect.
	for (const SimModel &model : SimModels::all())
		QTest::newRow(qPrintable(model.name)) << model.name << SimModels::linkClassName(model.linkClass);

	// The rules themselves: case-sensitive substrings, first rule first.
	QTest::newRow("lower-case HX7 name") << QStringLiteral("nx-hx7") << base;
	QTest::newRow("lower-case D26G name") << QStringLiteral("nx-d26g") << base;
	QTest::newRow("HX7 without the prefix") << QStringLiteral("HX7") << base;
	QTest::newRow("26G anywhere") << QStringLiteral("X26GY") << d26g;
	QTest::newRow("HX9 anywhere") << QStringLiteral("HX9") << d26g;
	QTest::newRow("26G wins over ZQ418") << QStringLiteral("NX-ZQ418-26G") << d26g;
	QTest::newRow("28G wins over HX7") << QStringLiteral("NX-HX7 28G") << d26g;
	QTest::newRow("HX7 wins over ZQ418") << QStringLiteral("NX-ZQ418 NX-HX7") << hx7;
	QTest::newRow("ZQ418 anywhere") << QStringLiteral("ZQ418") << zq418;
	QTest::newRow("empty name") << QString() << base;
	QTest::newRow("unknown name") << QStringLiteral("PTZ-9000") << base;
}

void tst_viscaCommands::factoryRules()
{
	QFETCH(QString, model);
	QFETCH(QString, expectedClass);

	const bool d26g = expectedClass == QLatin1String("D26GViscaIPModule");
	QLoggingCategory::setFilterRules(QStringLiteral("kavren.link.debug=true"));
	// Only the D26G choice is logged.
	if (d26g)
		QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("model ") + model));
	std::unique_ptr<viscaIpModule> link(ViscaIPFactory::viscaIPModule(model));
	if (qEnvironmentVariableIsEmpty("KAVREN_TEST_VERBOSE"))
		QLoggingCategory::setFilterRules(QStringLiteral("kavren.*.debug=false"));

	QVERIFY(link);
	QCOMPARE(QString::fromLatin1(link->metaObject()->className()), expectedClass);
	QVERIFY(link->parent() == nullptr);
	QCOMPARE(qobject_cast<D26GViscaIPModule *>(link.get()) != nullptr, d26g);
	QCOMPARE(dynamic_cast<HX7ViscaIPModule *>(link.get()) != nullptr,
		 expectedClass == QLatin1String("HX7ViscaIPModule"));
	QCOMPARE(qobject_cast<ZQ418ViscaIPModule *>(link.get()) != nullptr,
		 expectedClass == QLatin1String("ZQ418ViscaIPModule"));
}

QTEST_GUILESS_MAIN(tst_viscaCommands)
#include "tst_viscaCommands.moc"
