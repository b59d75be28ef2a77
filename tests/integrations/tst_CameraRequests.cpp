// Driving any slot's camera by number through its door, as scene presets and other programs' requests do:
// identification in the background with the camera's stored speeds, and what listeners hear. Other programs'
// requests through obs-websocket: each request and direction reaches the simulated camera, each malformed request is
// refused with its reason and sends nothing, an answer is ok only when the camera's queue took the work, stops that
// overtook their moves still stop them, and requests made on another thread are answered there. A slot without an
// address is said in the window through a scene's request (tst_ScenePresets). A preset stored by a request keeps a
// picture of its slot's source, which GetPresets returns.

#include "ReceivedCommands.h"
#include "SettingsHome.h"
#include "ShippedLocale.h"
#include "control/CameraPool.h"
#include "integrations/CameraRequests.h"
#include "integrations/PresetPictures.h"
#include "integrations/SourceCapture.h"
#include "settings/SettingsFile.h"
#include "settings/Utils.h"

#include <QDir>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <future>
#include <memory>
#include <thread>

namespace {

using json = nlohmann::json;

const char *const kCameraAddress = "127.0.0.170";
const char *const kSilentAddress = "127.0.0.171"; // nothing listens there

// What a camera is sent once it is identified, before anything asked of it: the address set and its stored
// preset speed.
QStringList commandsAfterIdentification(const CameraSimulator &camera)
{
	QStringList commands = commandPayloads(camera);
	commands.removeAll(QStringLiteral("883001ff"));
	return commands.filter(QRegularExpression(QStringLiteral("^(?!81010620)")));
}

// Answers each capture with the picture it is given, as the host does: later, on the UI thread.
class FakeCapture : public SourceCapture {
public:
	Picture next;
	QStringList asked;
	QStringList ready;
	void keepReady(const QStringList &sourceNames, const QSize &) override { ready = sourceNames; }
	void capture(const QString &sourceName, const QSize &box, Done done) override
	{
		asked << sourceName;
		Picture shot = next;
		if (!shot.image.isNull())
			shot.image = shot.image.scaled(box);
		QMetaObject::invokeMethod(this, [done, shot]() { done(shot); }, Qt::QueuedConnection);
	}
};

QImage filled(const QColor &colour)
{
	QImage image(16, 9, QImage::Format_RGB32);
	image.fill(colour);
	return image;
}

} // namespace

Q_DECLARE_METATYPE(SourceCapture::Picture)

class tst_CameraRequests : public QObject {
	Q_OBJECT

	SettingsHome home;
	std::unique_ptr<CameraSimulator> camera;
	std::unique_ptr<CameraPool> pool;
	std::unique_ptr<CameraRequests> requests;
	std::unique_ptr<PresetPictures> pictures;
	FakeCapture capture;

private slots:
	void initTestCase()
	{
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
		pool = std::make_unique<CameraPool>(CameraWorker::Options(), [](int slot) {
			return slot == 2 ? QStringLiteral("Pulpit") : QStringLiteral("Camera %1").arg(slot);
		});
		pictures = std::make_unique<PresetPictures>();
		pictures->setCapture(&capture);
		pictures->follow(pool.get());
		requests = std::make_unique<CameraRequests>(pool.get());
		// A stop the last test's workers sent as they ended may still be on its way.
		QVERIFY(clearWhenQuiet(*camera));
	}

	void cleanup()
	{
		requests.reset();
		pool.reset();
		pictures.reset();
		const QString folder = QFileInfo(PresetPictures::path(1, 1, Utils::getAppDataPath())).absolutePath();
		QDir(folder).removeRecursively();
		QFile::remove(folder);
	}

	void backgroundCameraGetsItsStoredSpeedsFirst()
	{
		QSignalSpy calls(pool.get(), &CameraPool::presetCalled);
		QSignalSpy status(pool.get(), &CameraPool::cameraStatusChanged);
		QVERIFY(pool->door(2)->callPreset(7, CameraCaller{CameraOrigin::Scene}).ok);
		QCOMPARE(requests->handle("Move", {{"slot", 2}, {"direction", "left"}}).dump(), R"({"ok":true})");
		QCOMPARE(calls.count(), 1);
		QCOMPARE(calls.first(), QVariantList({2, 7, QVariant::fromValue(CameraOrigin::Scene)}));

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

		// The link is kept: the next command is not identified again.
		camera->clearReceived();
		QCOMPARE(requests->handle("Zoom", {{"slot", 2}, {"direction", "stop"}}).dump(), R"({"ok":true})");
		QTRY_COMPARE(commandPayloads(*camera), QStringList{QStringLiteral("8101040700ff")});
		QVERIFY(camera->received().size() == 1);
	}

	void movesWithSpeedsLeaveTheStoredOnes()
	{
		QCOMPARE(
			requests->handle("Move", {{"slot", 2}, {"direction", "up"}, {"panSpeed", 99}, {"tiltSpeed", 1}})
				.dump(),
			R"({"ok":true})");
		// A program's moves one after the other: the lane's latest word waits, so the next one goes once the
		// first has reached the camera.
		QTRY_VERIFY_WITH_TIMEOUT(commandPayloads(*camera).contains(QStringLiteral("8101060118010301ff")),
					 10000);
		QCOMPARE(requests->handle("Move", {{"slot", 2}, {"direction", "down"}}).dump(), R"({"ok":true})");
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
		QSignalSpy notices(pool.get(), &CameraPool::notice);
		QVERIFY(pool->door(4)->callPreset(1, CameraCaller{CameraOrigin::Scene}).ok);
		QVERIFY(pool->door(4)->callPreset(2, CameraCaller{CameraOrigin::Scene}).ok);
		QTRY_COMPARE_WITH_TIMEOUT(notices.count(), 1, 10000);
		QVERIFY(notices.first().first().toString().contains(QString::fromLatin1(kSilentAddress)));
		QVERIFY(!pool->cameras().at(3).connected);
	}

	void requestReachesTheCamera_data()
	{
		QTest::addColumn<QString>("type");
		QTest::addColumn<QString>("data");
		QTest::addColumn<QString>("payload"); // a pattern of the command's hex bytes

		const auto row = [](const char *name, const char *type, const char *data, const char *payload) {
			QTest::newRow(name)
				<< QString::fromLatin1(type) << QString::fromUtf8(data) << QString::fromLatin1(payload);
		};

		row("call preset 19", "CallPreset", R"({"slot": 2, "preset": 19})", "8101043f0213ff");
		row("store preset 1", "StorePreset", R"({"slot": 2, "preset": 1})", "8101043f0101ff");
		const QString speeds = QStringLiteral("[0-9a-f]{4}");
		// One diagonal and the stop; the encoder's bytes for every direction are tst_viscaIpModule's.
		const QList<QPair<const char *, const char *>> moves{{"up-left", "0101"}, {"stop", "0303"}};
		for (const auto &[direction, code] : moves)
			QTest::addRow("move %s", direction)
				<< "Move" << QStringLiteral(R"({"slot": 2, "direction": "%1"})").arg(direction)
				<< QStringLiteral("81010601%1%2ff").arg(speeds, code);
		row("move with speeds", "Move", R"({"slot": 2, "direction": "up", "panSpeed": 5, "tiltSpeed": 6})",
		    "8101060105060301ff");
		row("zoom in", "Zoom", R"({"slot": 2, "direction": "in"})", "810104072[0-7]ff");
		row("focus far", "Focus", R"({"slot": 2, "direction": "far"})", "810104082[0-7]ff");
		row("focus stop", "Focus", R"({"slot": 2, "direction": "stop"})", "8101040800ff");
		row("focus auto", "Focus", R"({"slot": 2, "direction": "auto"})", "8101043802ff");
	}
	void requestReachesTheCamera()
	{
		QFETCH(QString, type);
		QFETCH(QString, data);
		QFETCH(QString, payload);

		const json answer = requests->handle(type.toStdString(), json::parse(data.toStdString()));
		QCOMPARE(answer.dump(), json({{"ok", true}}).dump());
		const QRegularExpression expected(QStringLiteral("^%1$").arg(payload));
		QTRY_VERIFY_WITH_TIMEOUT(!commandsAfterIdentification(*camera).isEmpty(), 10000);
		QVERIFY2(expected.match(commandsAfterIdentification(*camera).first()).hasMatch(),
			 qPrintable(commandsAfterIdentification(*camera).join(QLatin1Char(' '))));
	}

	void malformedRequestIsRefusedAndSendsNothing_data()
	{
		QTest::addColumn<QString>("type");
		QTest::addColumn<QString>("data");
		QTest::addColumn<QString>("error");

		const auto row = [](const char *name, const char *type, const char *data, const QString &error) {
			QTest::newRow(name) << QString::fromLatin1(type) << QString::fromUtf8(data) << error;
		};

		const QString slotNotInteger = QStringLiteral("\"slot\" must be an integer");
		row("slot as text", "CallPreset", R"({"slot": "2", "preset": 1})", slotNotInteger);
		row("slot as float", "CallPreset", R"({"slot": 2.0, "preset": 1})", slotNotInteger);
		// These would be slot 2 if they were cut to 32 bits.
		row("slot 2^32+2", "CallPreset", R"({"slot": 4294967298, "preset": 1})", slotNotInteger);
		row("slot 2^64-1", "CallPreset", R"({"slot": 18446744073709551615, "preset": 1})", slotNotInteger);
		row("slot missing", "CallPreset", R"({"preset": 1})", "\"slot\" is missing");
		row("slot 9", "CallPreset", R"({"slot": 9, "preset": 1})", "slot 9 is not 1 to 8");
		row("preset 20", "CallPreset", R"({"slot": 2, "preset": 20})", "preset 20 is not 1 to 19");
		row("no address", "CallPreset", R"({"slot": 3, "preset": 1})", "slot 3 has no camera address");
		row("direction unknown", "Move", R"({"slot": 2, "direction": "sideways"})",
		    "direction \"sideways\" is not one of");
		row("direction as number", "Move", R"({"slot": 2, "direction": 1})", "\"direction\" must be a string");
		// Control characters name no direction: "up" and a NUL is no "up" whatever cuts it short.
		const QString control = QStringLiteral("\"direction\" holds a control character: ");
		row("direction with a line of its own", "Move", R"({"slot": 2, "direction": "up\nforged"})",
		    control + QStringLiteral("\"up\\nforged\""));
		row("direction with a NUL", "Move", R"({"slot": 2, "direction": "up\u0000x"})",
		    control + QStringLiteral("\"up\\u0000x\""));
		row("pan speed as text", "Move", R"({"slot": 2, "direction": "up", "panSpeed": "5"})",
		    "\"panSpeed\" must be an integer");
		row("focus unknown", "Focus", R"({"slot": 2, "direction": "in"})",
		    "focus direction \"in\" is not one of");
		row("data not an object", "CallPreset", R"([2, 1])", "the request data must be a JSON object");
		row("unknown type", "Reboot", R"({"slot": 2})", "unknown request type");
		row("presets of slot 9", "GetPresets", R"({"slot": 9})", "slot 9 is not 1 to 8");
		row("presets of slot as text", "GetPresets", R"({"slot": "2"})", slotNotInteger);
	}
	void malformedRequestIsRefusedAndSendsNothing()
	{
		QFETCH(QString, type);
		QFETCH(QString, data);
		QFETCH(QString, error);

		const json answer = requests->handle(type.toStdString(), json::parse(data.toStdString()));
		QCOMPARE(answer.size(), size_t(2));
		QCOMPARE(answer.value("ok", true), false);
		const QString said = QString::fromStdString(answer.value("error", std::string()));
		QVERIFY2(said.startsWith(error), qPrintable(said));

		// Nothing reached the camera: a later good request is the first thing it receives after being
		// identified.
		QCOMPARE(requests->handle("Move", {{"slot", 2}, {"direction", "home"}}).dump(), R"({"ok":true})");
		QTRY_VERIFY_WITH_TIMEOUT(!commandsAfterIdentification(*camera).isEmpty(), 10000);
		QCOMPARE(commandsAfterIdentification(*camera), QStringList{QStringLiteral("81010604ff")});
	}

	void camerasAreListedBySlot()
	{
		json answer = requests->handle("GetCameras", json::object());
		QCOMPARE(answer.value("ok", false), true);
		QCOMPARE(answer["cameras"].size(), size_t(8));
		QCOMPARE(answer["cameras"][1].dump(), json({{"slot", 2},
							    {"name", "Pulpit"},
							    {"address", kCameraAddress},
							    {"model", ""},
							    {"connected", false},
							    {"live", false}})
							      .dump());
		QCOMPARE(answer["cameras"][2]["address"].get<std::string>(), std::string());
		// A hand edit may put anything into a stored text; an answer carries no control character, which a
		// host would cut it short at.
		SettingsFile::update([](QJsonObject &settings) {
			settings[QStringLiteral("Camera5IP")] = QStringLiteral("10.0.0.1\0\n");
			return true;
		});
		QCOMPARE(requests->handle("GetCameras", json::object())["cameras"][4]["address"].get<std::string>(),
			 std::string("10.0.0.1\uFFFD\uFFFD"));

		// Once a request identified it, the camera's model shows and it is connected.
		QCOMPARE(requests->handle("Zoom", {{"slot", 2}, {"direction", "stop"}}).value("ok", false), true);
		QTRY_VERIFY_WITH_TIMEOUT(
			requests->handle("GetCameras", json::object())["cameras"][1].value("connected", false), 10000);
		answer = requests->handle("GetCameras", json::object());
		QCOMPARE(answer["cameras"][1]["model"].get<std::string>(), std::string("NX-B93K"));
	}

	void whatACameraCannotTakeIsRefused()
	{
		QSignalSpy called(pool.get(), &CameraPool::presetCalled);
		const json preset{{"slot", 2}, {"preset", 4}};
		QCOMPARE(requests->handle("CallPreset", preset).value("ok", false), true);
		QTRY_VERIFY_WITH_TIMEOUT(pool->door(2)->isSettled(), 10000);

		// A camera known to be silent takes nothing, and nobody hears of a call that will not happen.
		camera->setSilent(true);
		QCOMPARE(requests->handle("Move", {{"slot", 2}, {"direction", "home"}}).value("ok", false), true);
		QTRY_VERIFY_WITH_TIMEOUT(!pool->worker(2)->isAnswering(), 10000);
		const json silent = requests->handle("CallPreset", preset);
		QCOMPARE(silent.value("error", std::string()),
			 std::string("the camera of slot 2 (127.0.0.170) is not answering"));
		QTRY_COMPARE(called.count(), 1);
		// Probed meanwhile, it is taken back when it answers.
		camera->setSilent(false);
		QTRY_VERIFY_WITH_TIMEOUT(pool->worker(2)->isAnswering(), 10000);

		// A camera whose queue is full refuses what comes next instead of dropping what waits.
		cleanup();
		QVERIFY(clearWhenQuiet(*camera));
		CameraWorker::Options slow;
		slow.commandPauseMs = 4000;
		slow.maxJobs = 2;
		pool = std::make_unique<CameraPool>(slow);
		requests = std::make_unique<CameraRequests>(pool.get());
		QSignalSpy calledSlow(pool.get(), &CameraPool::presetCalled);
		QCOMPARE(requests->handle("CallPreset", preset).value("ok", false), true);
		QTRY_VERIFY_WITH_TIMEOUT(commandPayloads(*camera).contains(QStringLiteral("8101043f0204ff")) &&
						 pool->worker(2)->pendingJobNames().isEmpty(),
					 20000);
		// The UI thread runs between the requests, as it does in OBS: what it took is no room at the camera.
		QList<bool> taken;
		for (int call = 0; call < 4; ++call) {
			taken << requests->handle("CallPreset", preset).value("ok", false);
			QCoreApplication::processEvents();
		}
		QCOMPARE(taken, QList<bool>({true, true, false, false}));
		QTRY_COMPARE(calledSlow.count(), 3);
	}

	void storedPresetKeepsAPictureOfItsSource_data()
	{
		QTest::addColumn<QString>("source");
		QTest::addColumn<SourceCapture::Picture>("shot");
		QTest::addColumn<bool>("folderBlocked");
		QTest::addColumn<QColor>("thumbnail"); // invalid: none
		QTest::addColumn<QString>("warning");

		const QColor rose(200, 40, 90);
		QTest::newRow("re-stored")
			<< "Cam 2" << SourceCapture::Picture{filled(rose), {}} << false << rose << "";
		QTest::newRow("black") << "Cam 2" << SourceCapture::Picture{filled(Qt::black), {}} << false << QColor()
				       << R"(preset 4 of camera 2 has no picture: the source "Cam 2" renders nothing)";
		QTest::newRow("gone") << "Cam 2" << SourceCapture::Picture{QImage(), QStringLiteral("is not there")}
				      << false << QColor() << R"(the source "Cam 2" is not there)";
		QTest::newRow("no size") << "Cam 2" << SourceCapture::Picture{} << false << QColor() << "has no size";
		QTest::newRow("hostile name") << "../\n\"x" << SourceCapture::Picture{filled(Qt::black), {}} << false
					      << QColor() << "the source \"../\\n\\\"x\" renders";
		QTest::newRow("not writable") << "Cam 2" << SourceCapture::Picture{filled(rose), {}} << true << QColor()
					      << "picture of preset 4 of camera 2 was not written";
		QTest::newRow("no source") << "" << SourceCapture::Picture{filled(rose), {}} << false << QColor() << "";
	}
	void storedPresetKeepsAPictureOfItsSource()
	{
		QFETCH(QString, source);
		QFETCH(SourceCapture::Picture, shot);
		QFETCH(bool, folderBlocked);
		QFETCH(QColor, thumbnail);
		QFETCH(QString, warning);
		SettingsFile::update([&](QJsonObject &settings) {
			settings[SettingsFile::sourceKey(2)] = source;
			settings[QStringLiteral("Camera2PresetNames")] = QJsonObject{{QStringLiteral("4"), "Pulpit"}};
			return true;
		});
		// The host renders the slots' sources ahead, as they change.
		QCOMPARE(capture.ready, source.isEmpty() ? QStringList() : QStringList{source});
		// The picture of an earlier store, or a file where the folder should be.
		const QString file = PresetPictures::path(2, 4, Utils::getAppDataPath());
		QDir().mkpath(QFileInfo(file).absolutePath());
		QVERIFY(filled(Qt::gray).save(file));
		if (folderBlocked) {
			QDir(QFileInfo(file).absolutePath()).removeRecursively();
			writeContent(QFileInfo(file).absolutePath(), "not a folder");
		}
		capture.asked.clear();
		capture.next = shot;
		if (!warning.isEmpty())
			QTest::ignoreMessage(QtWarningMsg,
					     QRegularExpression(QRegularExpression::escape(warning),
								QRegularExpression::CaseInsensitiveOption));
		QSignalSpy changed(pictures.get(), &PresetPictures::pictureChanged);

		QCOMPARE(requests->handle("StorePreset", {{"slot", 2}, {"preset", 4}}).dump(), R"({"ok":true})");
		// The preset is stored at the camera whatever becomes of its picture.
		QTRY_VERIFY_WITH_TIMEOUT(
			commandsAfterIdentification(*camera).contains(QStringLiteral("8101043f0104ff")), 10000);
		QCOMPARE(capture.asked, source.isEmpty() ? QStringList() : QStringList{source});
		if (!source.isEmpty())
			QTRY_COMPARE(changed.count(), 1);

		const json presets = requests->handle("GetPresets", {{"slot", 2}})["presets"];
		QCOMPARE(presets.size(), size_t(19));
		QCOMPARE(presets[3]["name"].get<std::string>(), std::string("Pulpit"));
		QCOMPARE(presets[3].contains("thumbnail"), thumbnail.isValid());
		if (thumbnail.isValid()) {
			const QImage png = QImage::fromData(
				QByteArray::fromBase64(QByteArray::fromStdString(presets[3]["thumbnail"])), "PNG");
			QCOMPARE(png.size(), QSize(PresetPictures::kWidth, PresetPictures::kHeight));
			QCOMPARE(png.pixelColor(80, 45), thumbnail);
		}
	}

	// What else is in the pictures' folder is neither handed out nor written through: a link to a picture
	// elsewhere, a file far larger than a picture, one that is no picture, a link in the folder's place. A store
	// puts a picture of its own in place of the file (never through a linked folder); the one elsewhere stays.
	void picturesStayInTheirFolder_data()
	{
		QTest::addColumn<QString>("kind");
		QTest::addColumn<QString>("warning");
		QTest::newRow("link") << "link" << "it is a symbolic link";
		QTest::newRow("256 MB") << "huge" << "holds 268435456 bytes";
		QTest::newRow("no picture") << "text" << "it is no PNG picture";
		QTest::newRow("linked folder") << "folder" << "PresetPictures is not used: it is a symbolic link";
	}
	void picturesStayInTheirFolder()
	{
		QFETCH(QString, kind);
		QFETCH(QString, warning);
		SettingsFile::update([](QJsonObject &settings) {
			settings[SettingsFile::sourceKey(2)] = QStringLiteral("Cam 2");
			return true;
		});
		const QString file = PresetPictures::path(2, 4, Utils::getAppDataPath());
		const QString folder = QFileInfo(file).absolutePath();
		const QString elsewhere = home.path() + QStringLiteral("/elsewhere");
		QVERIFY(QDir().mkpath(elsewhere) && QDir().mkpath(folder));
		QVERIFY(filled(Qt::gray).save(elsewhere + QStringLiteral("/Camera2-4.png")));
		const QByteArray kept = fileContent(elsewhere + QStringLiteral("/Camera2-4.png"));
		if (kind == QLatin1String("link"))
			QVERIFY(QFile::link(elsewhere + QStringLiteral("/Camera2-4.png"), file));
		if (kind == QLatin1String("huge")) {
			QFile huge(file);
			QVERIFY(huge.open(QIODevice::WriteOnly) && huge.write(kept) > 0 && huge.resize(256 << 20));
		}
		if (kind == QLatin1String("text"))
			writeContent(file, "no picture");
		if (kind == QLatin1String("folder"))
			QVERIFY(QDir(folder).removeRecursively() && QFile::link(elsewhere, folder));
		QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(warning)));
		QCOMPARE(requests->handle("GetPresets", {{"slot", 2}})["presets"][3].contains("thumbnail"), false);

		capture.next = SourceCapture::Picture{filled(Qt::red), {}};
		if (kind == QLatin1String("folder"))
			QTest::ignoreMessage(QtWarningMsg,
					     QRegularExpression(QStringLiteral("was not written.*symbolic")));
		QSignalSpy changed(pictures.get(), &PresetPictures::pictureChanged);
		QCOMPARE(requests->handle("StorePreset", {{"slot", 2}, {"preset", 4}}).dump(), R"({"ok":true})");
		QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, 10000);
		QCOMPARE(fileContent(elsewhere + QStringLiteral("/Camera2-4.png")), kept);
		const bool written = kind != QLatin1String("folder");
		QCOMPARE(QFileInfo(file).isSymLink() || QFileInfo(folder).isSymLink(), !written);
		QCOMPARE(requests->handle("GetPresets", {{"slot", 2}})["presets"][3].contains("thumbnail"), written);
		QFile::remove(folder);
	}

	// A program's requests run in parallel inside obs-websocket: a stop may come before its move, however late the
	// move comes. Zoom and focus taps, a move and its stop, then a stop that overtook its move: every lane at rest.
	void overtakingStopsNeverLeaveACameraMoving()
	{
		const std::pair<const char *, const char *> sequence[] = {
			{"Zoom", "in"},   {"Zoom", "stop"}, {"Focus", "far"}, {"Focus", "stop"},
			{"Move", "left"}, {"Move", "stop"}, {"Move", "stop"}, {"Move", "right"}};
		for (const auto &[type, direction] : sequence) {
			QCOMPARE(requests->handle(type, {{"slot", 2}, {"direction", direction}}).dump(),
				 R"({"ok":true})");
			// Later than any window a clock could give: the camera has done all it was told.
			QVERIFY(QTest::qWaitFor([this] { return pool->door(2)->isSettled(); }, 10000));
		}
		const QStringList panTilt = commandsAfterIdentification(*camera).filter(QStringLiteral("81010601"));
		QVERIFY2(!panTilt.isEmpty() && panTilt.last().endsWith(QStringLiteral("0303ff")),
			 qPrintable(panTilt.join(QLatin1Char(' '))));
		const SimCameraState state = camera->state();
		QVERIFY(state.motion == SimCameraState::Motion::Stop &&
			state.zoomDrive == SimCameraState::Drive::Stop &&
			state.focusDrive == SimCameraState::Drive::Stop);
	}

	void requestsAfterThePoolWentAreRefused()
	{
		pool.reset();
		QCOMPARE(requests->handle("CallPreset", {{"slot", 2}, {"preset", 1}}).dump(),
			 R"({"error":"the controller is not running","ok":false})");
	}

	void anotherThreadIsAnsweredWithoutTheUiThread()
	{
		// This thread handles no events until the caller returned: the answer must not wait for it.
		std::promise<json> answer;
		std::thread caller(
			[&] { answer.set_value(requests->handle("CallPreset", {{"slot", 2}, {"preset", 5}})); });
		std::future<json> answered = answer.get_future();
		QVERIFY(answered.wait_for(std::chrono::seconds(10)) == std::future_status::ready);
		caller.join();
		QCOMPARE(answered.get().dump(), R"({"ok":true})");
		QTRY_VERIFY_WITH_TIMEOUT(
			commandsAfterIdentification(*camera).contains(QStringLiteral("8101043f0205ff")), 10000);
	}
};

QTEST_GUILESS_MAIN(tst_CameraRequests)
#include "tst_CameraRequests.moc"
