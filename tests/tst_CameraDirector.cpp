// Driving any slot's camera by number, as scene presets and other programs' requests do: identification in the
// background with the camera's stored speeds, one order with the window's commands, and what listeners hear. What is
// refused is checked through other programs' requests (tst_CameraRequests), a slot without an address through a
// scene's (tst_ScenePresets).

#include "ReceivedCommands.h"
#include "SettingsHome.h"
#include "ShippedLocale.h"
#include "control/CameraDirector.h"
#include "control/CameraPool.h"
#include "settings/Utils.h"

#include <QJsonObject>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const char *const kCameraAddress = "127.0.0.170";
const char *const kSilentAddress = "127.0.0.171"; // nothing listens there

} // namespace

class tst_CameraDirector : public QObject {
	Q_OBJECT

	SettingsHome home;
	std::unique_ptr<CameraSimulator> camera;
	std::unique_ptr<CameraPool> pool;
	std::unique_ptr<CameraDirector> director;

private slots:
	void initTestCase()
	{
		qRegisterMetaType<CameraDirector::Source>();
		QVERIFY(loadLocale()); // the stored preset speed is a localized list entry
		QVERIFY(home.setUp());
		qputenv("KAVREN_PROFILE_DIR", KAVREN_SOURCE_DIR "/data/ini/");
		camera = startSimulatedCamera(QString::fromLatin1(kCameraAddress), QStringLiteral("NX-B93K"), 52381);
		QVERIFY(camera);
	}

	void init()
	{
		// Slot 2 has stored speeds for its camera; slot 3 has no camera; slot 4's camera is silent.
		SettingsHome::write(
			QJsonObject{{QStringLiteral("Camera2IP"), QString::fromLatin1(kCameraAddress)},
				    {QStringLiteral("Camera2NickName"), QStringLiteral("Pulpit")},
				    {QStringLiteral("127.0.0.170NX-B93KPanSpeed"), QStringLiteral("30")},
				    {QStringLiteral("127.0.0.170NX-B93KTiltSpeed"), QStringLiteral("9")},
				    {QStringLiteral("127.0.0.170NX-B93KPresetSpeed"), QStringLiteral("25 °/s")},
				    {QStringLiteral("Camera4IP"), QString::fromLatin1(kSilentAddress)}});
		pool = std::make_unique<CameraPool>(CameraWorker::Options());
		director = std::make_unique<CameraDirector>(pool.get(), [](int slot) {
			return slot == 2 ? QStringLiteral("Pulpit") : QStringLiteral("Camera %1").arg(slot);
		});
		// A stop the last test's workers sent as they ended may still be on its way.
		QVERIFY(clearWhenQuiet(*camera));
	}

	void cleanup()
	{
		director.reset();
		pool.reset();
	}

	void backgroundCameraGetsItsStoredSpeedsFirst()
	{
		QSignalSpy calls(director.get(), &CameraDirector::presetCalled);
		QSignalSpy status(director.get(), &CameraDirector::cameraStatusChanged);
		QVERIFY(director->callPreset(2, 7, CameraDirector::Source::Scene).ok);
		QVERIFY(director->move(2, QStringLiteral("left")).ok);
		QCOMPARE(calls.count(), 1);
		QCOMPARE(calls.first(), QVariantList({2, 7, QVariant::fromValue(CameraDirector::Source::Scene)}));

		// Identified once, then the preset speed stored for this camera (25 °/s is code 04), then what was
		// asked, in order; the move carries the stored pan speed clamped to the model (24 = 0x18) and tilt 9.
		QTRY_VERIFY_WITH_TIMEOUT(commandPayloads(*camera).contains(QStringLiteral("8101060118090103ff")),
					 10000);
		QStringList commands = commandPayloads(*camera);
		commands.removeAll(QStringLiteral("883001ff"));
		QCOMPARE(commands, QStringList({QStringLiteral("8101062004ff"), QStringLiteral("8101043f0207ff"),
						QStringLiteral("8101060118090103ff")}));
		QTRY_VERIFY(!status.isEmpty());
		QCOMPARE(status.last(), QVariantList({2, true, true}));
		const QList<CameraDirector::CameraInfo> cameras = director->cameras();
		QCOMPARE(cameras.size(), 8);
		QCOMPARE(cameras.at(1).name, QStringLiteral("Pulpit"));
		QCOMPARE(cameras.at(1).model, QStringLiteral("NX-B93K"));
		QVERIFY(cameras.at(1).connected);
		QVERIFY(!cameras.at(2).connected);
		QCOMPARE(cameras.at(2).address, QString());

		// The link is kept: the next command is not identified again.
		camera->clearReceived();
		QVERIFY(director->zoom(2, QStringLiteral("stop")).ok);
		QTRY_COMPARE(commandPayloads(*camera), QStringList{QStringLiteral("8101040700ff")});
		QVERIFY(camera->received().size() == 1);
	}

	void movesWithSpeedsLeaveTheStoredOnes()
	{
		QVERIFY(director->move(2, QStringLiteral("up"), 99, 1).ok);
		QVERIFY(director->move(2, QStringLiteral("down")).ok);
		QTRY_VERIFY_WITH_TIMEOUT(commandPayloads(*camera).contains(QStringLiteral("8101060118090302ff")),
					 10000);
		const QStringList moves =
			commandPayloads(*camera).filter(QRegularExpression(QStringLiteral("^81010601")));
		// 99 is clamped to the model's 24 (0x18); the next move has the stored speeds again.
		QCOMPARE(moves,
			 QStringList({QStringLiteral("8101060118010301ff"), QStringLiteral("8101060118090302ff")}));
	}

	void silentCameraIsSaidOnce()
	{
		QSignalSpy notices(director.get(), &CameraDirector::notice);
		QVERIFY(director->callPreset(4, 1, CameraDirector::Source::Scene).ok);
		QVERIFY(director->callPreset(4, 2, CameraDirector::Source::Scene).ok);
		QTRY_COMPARE_WITH_TIMEOUT(notices.count(), 1, 10000);
		QVERIFY(notices.first().first().toString().contains(QString::fromLatin1(kSilentAddress)));
		QVERIFY(!director->cameras().at(3).connected);
	}
};

QTEST_GUILESS_MAIN(tst_CameraDirector)
#include "tst_CameraDirector.moc"
