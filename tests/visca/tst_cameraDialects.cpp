// Cameras of other dialects, each played by the simulator: VISCA over IP with a strict sequence (0F 01 until a
// RESET), with replies sent to one port of the controller, with one fixed echo; bare VISCA in UDP datagrams and on a
// TCP stream. Against each, a camera is identified and a link moves it, stops it, stores and recalls a preset.
#include "SettingsHome.h"
#include "camera/CameraParse.h"
#include "control/CameraCommand.h"
#include "control/CameraWorker.h"
#include "relay/ViscaTransfer.h"
#include "camera/viscaGeneralOps.h"
#include "visca/ViscaReplyPort.h"
#include "visca/viscaIpModule.h"

#include "ReceivedCommands.h"

#include <QtTest>

#include <memory>

namespace {

using Carriage = SimViscaEndpoint::Carriage;

struct Behaviour {
	const char *name;
	CameraDialect dialect;
	Carriage carriage;
	SimViscaEndpoint::Quirks quirks;
};

// The port a camera with that quirk answers on: not the controller's own, which another process may share.
constexpr quint16 kReplyPort = 52389;

const Behaviour kBehaviours[] = {
	{"strict sequence", CameraDialect::ViscaOverIp, Carriage::Header, {true, 0, false}},
	{"replies to the controller's port", CameraDialect::ViscaOverIp, Carriage::Header, {false, kReplyPort, false}},
	{"fixed echo", CameraDialect::ViscaOverIp, Carriage::Header, {false, 0, true}},
	{"bare UDP", CameraDialect::BareUdp, Carriage::BareUdp, {}},
	{"bare TCP", CameraDialect::BareTcp, Carriage::Tcp, {}},
};

} // namespace

class tst_cameraDialects : public QObject {
	Q_OBJECT

	SettingsHome home;

	std::unique_ptr<CameraSimulator> start(const Behaviour &behaviour, int row)
	{
		CameraSimulator::Options options;
		options.address = QHostAddress(QStringLiteral("127.0.0.%1").arg(120 + row));
		options.port = 0;
		options.discovery = false;
		options.carriage = behaviour.carriage;
		options.quirks = behaviour.quirks;
		return startSimulatedCamera(options);
	}

private slots:
	void initTestCase()
	{
		QVERIFY(home.setUp());
		qputenv("KAVREN_PROFILE_DIR", KAVREN_SOURCE_DIR "/data/ini/");
		ViscaReplyPort::setPort(kReplyPort);
	}

	void eachDialect_data()
	{
		QTest::addColumn<int>("row");
		for (int row = 0; row < int(std::size(kBehaviours)); ++row)
			QTest::newRow(kBehaviours[row].name) << row;
	}
	void eachDialect()
	{
		QFETCH(int, row);
		const Behaviour &behaviour = kBehaviours[row];
		const std::unique_ptr<CameraSimulator> camera = start(behaviour, row);
		QVERIFY(camera);
		const QString address = camera->address().toString();

		// Identified: several links in a row, each starting its sequence numbers again.
		CameraParse parse(camera->port(), behaviour.dialect);
		CamParamMap found = parse.parseCamera(address);
		QCOMPARE(found.size(), size_t(1));
		QCOMPARE(found.begin()->second.first, std::string("NX-B93K"));
		delete found.begin()->second.second;

		viscaIpModule link;
		link.setDialect(behaviour.dialect);
		link.onConnectToCamera(address, camera->port());
		link.setMotorUP();
		QVERIFY(link.lastExchangeOk());
		QCOMPARE(camera->state().motion, SimCameraState::Motion::Up);
		link.setMotorStop();
		QVERIFY(link.lastExchangeOk());
		QCOMPARE(camera->state().motion, SimCameraState::Motion::Stop);

		link.setMemory1_Index(3);
		link.setMemory1_Save();
		QVERIFY(link.lastExchangeOk());
		link.setMemory1_Recall();
		QVERIFY(link.lastExchangeOk());
		QCOMPARE(camera->state().lastSavedPreset, 3);
		QCOMPARE(camera->state().lastRecalledPreset, 3);
		QVERIFY(link.getZoomDirect() >= 0);
	}

	void aSlotConnectsInItsDialect_data() { eachDialect_data(); }
	void aSlotConnectsInItsDialect()
	{
		// The slot's stored dialect and port are what its worker speaks: identified, then a move and its stop.
		QFETCH(int, row);
		const Behaviour &behaviour = kBehaviours[row];
		const std::unique_ptr<CameraSimulator> camera = start(behaviour, row);
		QVERIFY(camera);
		const QString address = camera->address().toString();
		QJsonObject settings{{QStringLiteral("Camera2IP"), address}};
		CameraEndpoint{address, behaviour.dialect, camera->port()}.storeDialect(settings, 2);
		SettingsHome::write(settings);

		CameraWorker::Options options;
		options.cameraPort = camera->port(); // the usual dialect on a test's own port
		options.watchdogIntervalMs = 3600 * 1000;
		CameraWorker worker(2, options);
		bool connected = false;
		worker.connectTo(address, [&](const CameraWorker::ConnectResult &result) {
			connected = result.outcome == CameraWorker::ConnectResult::Outcome::Connected;
		});
		QTRY_VERIFY_WITH_TIMEOUT(connected, 15000);
		QVERIFY(worker.submit(CameraCommands::move(CameraCommands::Direction::Left), 0));
		QTRY_COMPARE_WITH_TIMEOUT(camera->state().motion, SimCameraState::Motion::Left, 10000);
		QVERIFY(worker.submit(CameraCommands::motorStop(), 0));
		QTRY_COMPARE_WITH_TIMEOUT(camera->state().motion, SimCameraState::Motion::Stop, 10000);
	}

	void repliesOnTheRelaysPortReachTheLink()
	{
		// While the relay listens on the port, it hands over what no client of its waits for.
		ViscaTransfer::Options options;
		options.listenAddress = QHostAddress(QHostAddress::LocalHost);
		options.tcpPort = 0;
		options.udpPort = kReplyPort;
		ViscaTransfer relay(options);
		relay.start();
		QVERIFY(relay.isServing());
		QVERIFY(!ViscaReplyPort::isBound());
		const Behaviour &answersElsewhere = kBehaviours[1];
		const std::unique_ptr<CameraSimulator> camera = start(answersElsewhere, 9);
		QVERIFY(camera);
		viscaIpModule link;
		QVERIFY(link.onConnectToCamera(camera->address().toString(), camera->port()));
		QVERIFY(link.isPowerOK());
	}

	void bareStopsGoOutWithoutHeader()
	{
		// The stop a killed process sends is the bare message for a bare camera.
		viscaIpModule link;
		link.setDialect(CameraDialect::BareUdp);
		QCOMPARE(link.stopDatagram(viscaIpModule::Drive::PanTilt).toHex(), QByteArray("810106010b0b0303ff"));
	}
};

QTEST_MAIN(tst_cameraDialects)
#include "tst_cameraDialects.moc"
